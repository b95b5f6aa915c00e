#!/usr/bin/env bash
# The installer package end to end in the build's Wine prefix: silent install, start from the
# Start menu, uninstall keeping only the settings (and nothing updates added), reinstall without the
# start at logon, the same version rebuilt, the upgrade keeping the settings, no downgrade.
# Runs inside scripts/xvfb-session. Usage: installer_e2e.sh BUILD_DIR WORK_DIR
set -uo pipefail
BUILD=$1 WORK=$2
# shellcheck source=../e2e/session-lib.sh
source "$(dirname "$0")/../e2e/session-lib.sh"
# The shortcut stays in the prefix: no menu entry or icon on this machine's own desktop.
export KELDA_DLL_OVERRIDES="winemenubuilder.exe=d"
msiexec() { timeout 300 "$BUILD/wine-run" msiexec "$@" /qn </dev/null >>"$LOG" 2>&1; }
: >"$LOG"

# This build's package, the next version's as the provider's release command
# makes it, and this version's built again: another product code, as the other
# architecture's package has, so it must take the installed one's place.
cmake --build "$BUILD" --target kelda_tx_msi -- --no-print-directory >"$WORK/build.log" 2>&1 &&
  bash "$REPO/installer/build-msi" "$WORK/rebuilt.msi" "$VERSION" "$ARCH" "$BUILD/kelda_tx.exe" \
    "$BUILD/installer/installer_actions.dll" "$REPO/res/disconnected.ico" >>"$WORK/build.log" 2>&1 ||
  die "building the packages failed; see $WORK/build.log"
publish_next "$WORK/published"
OLD_MSI="$BUILD/kelda_tx-$VERSION-$ARCH.msi" NEW_MSI="$WORK/published/kelda_tx-$NEW-$ARCH.msi"

APP=$(wine_run winepath -u "$(wine_run cmd /c echo %LOCALAPPDATA%)\\kelda_tx")
START_MENU="$(wine_run cmd /c echo %APPDATA%)\\Microsoft\\Windows\\Start Menu\\Programs"
SHORTCUT="$(wine_run winepath -u "$START_MENU")/kelda_tx.lnk"
RUN_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'

# "CODE VERSION" of each kelda_tx in the installed programs: the user's list on
# Windows, the machine's where Wine keeps it, and there an x86 package's in the 32-bit view.
products() {
  local key
  for key in HKCU:64 HKCU:32 HKLM:64 HKLM:32; do
    wine_run reg query "${key%:*}\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall" /s /reg:${key#*:}
  done | awk '/^HKEY_/ { key = $0; sub(/.*\\/, "", key) }
    $1 == "DisplayName" && $3 == "kelda_tx" { named[key] = 1 }
    $1 == "DisplayVersion" { version[key] = $3 }
    END { for (k in named) print k, version[k] }'
}
run_value() { wine_run reg query "$RUN_KEY" /v kelda_tx | awk '$1 == "kelda_tx" { sub(/.*REG_SZ +/, ""); print }'; }
stored() { probe settings | sed 's/ password=[^ ]* autoConnect=[0-9]*//'; }
start_from_menu() { wine_run start "$START_MENU\\kelda_tx.lnk" >/dev/null; }
nothing_left() { [ ! -e "$APP" ] && [ ! -e "$SHORTCUT" ] && [ -z "$(run_value)" ] && [ -z "$(products)" ]; }
# What an install of version $1 from program $2 leaves: the program, its shortcut, its
# Run value and one entry in the installed programs.
installed() {
  check "the program of $1 stands in %LOCALAPPDATA%\\kelda_tx" cmp -s "$APP/kelda_tx.exe" "$2"
  check "the Start-menu shortcut kelda_tx" [ -f "$SHORTCUT" ]
  check "the Run value starts the installed program" equals "$(run_value)" "\"$(wine_run winepath -w "$APP/kelda_tx.exe")\""
  check "one entry in the installed programs, version $1" equals "$(products | cut -d' ' -f2)" "$1"
}

# A Run value left behind would start the program with every later Wine session.
remove_all() {
  probe close "$CAPTION" 5000
  probe close "kelda_tx $NEW" 5000
  local code
  for code in $(products | cut -d' ' -f1); do msiexec /x "$code"; done
  wine_run reg delete "$RUN_KEY" /v kelda_tx /f
  rm -rf "$APP"
  forget_settings
}
trap 'remove_all >/dev/null; provider_stop' EXIT
remove_all >/dev/null

scenario "install $VERSION"
provider --version "$VERSION"
check "msiexec /i ends with 0" msiexec /i "$OLD_MSI"
installed "$VERSION" "$BUILD/kelda_tx.exe"
start_from_menu
check "the program started from the shortcut shows its frame" probe window "$CAPTION" 30000
# A login is stored when the user connects (the dial itself fails: Wine has no
# RAS service), the tray option with it.
type_into login demo && click_role hideonstart && click_role button
check "it ends through the tray's exit" probe close "$CAPTION" 10000
check "and stored the login and the option" equals "$(stored)" "login=demo hideOnStart=1"

scenario "uninstall"
# What self-updates add: a new entry, a subfolder, an old copy moved aside.
mkdir -p "$APP/sub" && echo new >"$APP/sub/x.dll" && echo old >"$APP/sub/_x.dll" && echo >"$APP/_kelda_tx.exe"
check "msiexec /x ends with 0" msiexec /x "$OLD_MSI"
check "nothing is left: folder, shortcut, Run value, entry" nothing_left
check "the stored settings are kept" equals "$(stored)" "login=demo hideOnStart=1"

scenario "reinstall $VERSION with AUTOSTART=0, then the same version built again"
check "msiexec /i AUTOSTART=0 ends with 0" msiexec /i "$OLD_MSI" AUTOSTART=0
check "the program is installed without the Run value" \
  equals "$(cmp -s "$APP/kelda_tx.exe" "$BUILD/kelda_tx.exe" && echo installed; run_value)" installed
before=$(products)
check "msiexec /i ends with 0" msiexec /i "$WORK/rebuilt.msi"
check "one entry in the installed programs, version $VERSION" equals "$(products | cut -d' ' -f2)" "$VERSION"
check "under the new package's product code" [ "$(products)" != "$before" ]

scenario "upgrade to $NEW"
provider --version "$NEW"
check "msiexec /i ends with 0" msiexec /i "$NEW_MSI"
installed "$NEW" "$NEXT/kelda_tx.exe"
check "the stored settings are kept" equals "$(stored)" "login=demo hideOnStart=1"
start_from_menu
check "version $NEW starts from the shortcut" probe exists "kelda_tx $NEW" 30000
sleep 1 # past the moment a frame is shown
check "in the tray, as the kept option says" grep -q "visible=0" <(probe exists "kelda_tx $NEW" 0)
check "it ends through the tray's exit" probe close "kelda_tx $NEW" 10000

scenario "no downgrade"
check "msiexec /i of $VERSION fails" fails msiexec /i "$OLD_MSI"
installed "$NEW" "$NEXT/kelda_tx.exe"
summary
