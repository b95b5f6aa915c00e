#!/usr/bin/env bash
# The installer package in the build's Wine prefix: install, start from the Start menu, uninstall,
# reinstall without the start at logon, the same version rebuilt, upgrade, no downgrade.
# Runs inside scripts/xvfb-session. Usage: installer_e2e.sh BUILD_DIR WORK_DIR
set -uo pipefail
BUILD=$1 WORK=$2
# shellcheck source=../e2e/session-lib.sh
source "$(dirname "$0")/../e2e/session-lib.sh"
export KELDA_DLL_OVERRIDES="winemenubuilder.exe=d" # no menu entry on this machine's own desktop
msiexec() { timeout 300 "$BUILD/wine-run" msiexec "$@" /qn </dev/null >>"$LOG" 2>&1; }
: >"$LOG"

# This build's package, the next version's, and this one built again (another product code).
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

# "CODE VERSION" of each kelda_tx installed: the user's list on Windows, the machine's (both views) on Wine.
products() {
  for key in HKCU:64 HKCU:32 HKLM:64 HKLM:32; do
    wine_run reg query "${key%:*}\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall" /s /reg:${key#*:}
  done | awk '/^HKEY_/ { key = $0; sub(/.*\\/, "", key) }
    $1 == "DisplayName" && $3 == "kelda_tx" { named[key] = 1 }
    $1 == "DisplayVersion" { version[key] = $3 }
    END { for (k in named) print k, version[k] }'
}
versions() { products | cut -d' ' -f2; }
run_value() { wine_run reg query "$RUN_KEY" /v kelda_tx | awk '$1 == "kelda_tx" { sub(/.*REG_SZ +/, ""); print }'; }
stored() { probe settings | sed 's/ password=[^ ]* autoConnect=[0-9]*//'; }
# Starts the program from the Start menu; probe $1 (window: shown, exists: in any state) the caption $2.
started_from_menu() { wine_run start "$START_MENU\\kelda_tx.lnk" >/dev/null && probe "$@" 30000; }
# What installing package $1 leaves: version $2 as program $3, its shortcut, Run value, one entry.
installed() {
  check "msiexec /i $(basename "$1") ends with 0" msiexec /i "$1"
  check "the program of $2 stands in %LOCALAPPDATA%\\kelda_tx" cmp -s "$APP/kelda_tx.exe" "$3"
  check "the Run value starts the installed program" equals "$(run_value)" "\"$(wine_run winepath -w "$APP/kelda_tx.exe")\""
  check "one entry in the installed programs, version $2" equals "$(versions)" "$2"
}
# A Run value left behind would start the program with every later Wine session.
remove_all() {
  probe close "$CAPTION" 5000; probe close "kelda_tx $NEW" 5000
  for code in $(products | cut -d' ' -f1); do msiexec /x "$code"; done
  wine_run reg delete "$RUN_KEY" /v kelda_tx /f; rm -rf "$APP"; forget_settings
}
trap 'remove_all >/dev/null; provider_stop' EXIT
remove_all >/dev/null

scenario "install $VERSION"
provider --version "$VERSION"
installed "$OLD_MSI" "$VERSION" "$BUILD/kelda_tx.exe"
check "the program starts from the shortcut" started_from_menu window "$CAPTION"
# Connecting stores the login (the dial itself fails: Wine has no RAS service), the option with it.
type_into login demo && click_role hideonstart && click_role button
check "it ends through the tray's exit" probe close "$CAPTION" 10000
check "and stored the login and the option" equals "$(stored)" "login=demo hideOnStart=1"

scenario "uninstall"
mkdir -p "$APP/sub" && echo new >"$APP/sub/x.dll" && echo old >"$APP/sub/_x.dll" && echo >"$APP/_kelda_tx.exe"
check "msiexec /x ends with 0 and leaves nothing: folder (with what updates add), shortcut, Run value, entry" \
  equals "$(msiexec /x "$OLD_MSI" || echo failed; ls -d "$APP" "$SHORTCUT" 2>/dev/null; run_value; products)" ""
check "the stored settings are kept" equals "$(stored)" "login=demo hideOnStart=1"

scenario "reinstall $VERSION with AUTOSTART=0, then the same version built again"
check "msiexec /i AUTOSTART=0 installs the program without the Run value" \
  equals "$(msiexec /i "$OLD_MSI" AUTOSTART=0 && cmp -s "$APP/kelda_tx.exe" "$BUILD/kelda_tx.exe" && echo ok; run_value)" ok
before=$(products)
check "the rebuilt package installs: one entry, version $VERSION, under its new product code" \
  equals "$(msiexec /i "$WORK/rebuilt.msi" && versions) $([ "$(products)" != "$before" ] && echo new)" "$VERSION new"

scenario "upgrade to $NEW"
provider --version "$NEW"
installed "$NEW_MSI" "$NEW" "$NEXT/kelda_tx.exe"
check "the stored settings are kept" equals "$(stored)" "login=demo hideOnStart=1"
check "version $NEW starts from the shortcut" started_from_menu exists "kelda_tx $NEW"
check "it ends through the tray's exit" probe close "kelda_tx $NEW" 10000

scenario "no downgrade"
check "msiexec /i of $VERSION fails and leaves $NEW" equals "$(msiexec /i "$OLD_MSI" || versions)" "$NEW"
summary
