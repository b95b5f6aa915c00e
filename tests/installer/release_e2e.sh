#!/usr/bin/env bash
# The next version released with scripts/publish-update, signed, and the local provider: the installer package
# installs, starts from the Start menu, uninstalls, reinstalls without the start at logon, upgrades and refuses a
# downgrade; this version built with the key updates itself; a release without the program restarts it once.
# Runs inside scripts/xvfb-session. Usage: release_e2e.sh BUILD_DIR WORK_DIR
set -uo pipefail
BUILD=$1 WORK=$2
# shellcheck source=../e2e/session-lib.sh
source "$(dirname "$0")/../e2e/session-lib.sh"
export KELDA_DLL_OVERRIDES="winemenubuilder.exe=d" # no menu entry on this machine's own desktop
KEYS="$WORK/keys" KEYED="$WORK/keyed-build" SELF="$WORK/self-update" BAD=9.99 # a version nobody will build

# A throwaway key pair kept with the build that trusts it (later runs rebuild nothing).
[ -f "$KEYS/update-key.pem" ] || { rm -rf "$KEYS" && bash "$REPO/scripts/make-update-key" "$KEYS" >/dev/null; } || die "no key pair"
rm -rf "$WORK/published" && publish_next "$WORK/published" --sign "$KEYS/update-key.pem"
{ cmake --build "$BUILD" --target kelda_tx_msi -- --no-print-directory && timeout 600 make -C "$REPO" --no-print-directory \
  build ARCH="$ARCH" BUILD="$KEYED" KELDA_SERVER_ADDRESS=127.0.0.1 KELDA_SERVER_PORT="$PORT" KELDA_VERSION="$VERSION" \
  KELDA_UPDATE_KEY="$KEYS/update-key.pub.pem" TARGETS=kelda_tx JOBS=2; } >"$WORK/build.log" 2>&1 ||
  die "building the package or $VERSION with the key failed; see $WORK/build.log"
OLD_MSI="$BUILD/kelda_tx-$VERSION-$ARCH.msi" NEW_MSI="$WORK/published/kelda_tx-$NEW-$ARCH.msi"
APP=$(wine_run winepath -u "$(wine_run cmd /c echo %LOCALAPPDATA%)\\kelda_tx")
START_MENU="$(wine_run cmd /c echo %APPDATA%)\\Microsoft\\Windows\\Start Menu\\Programs"
RUN_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'

msiexec() { timeout 300 "$BUILD/wine-run" msiexec "$@" /qn </dev/null >>"$LOG" 2>&1; }
# "CODE VERSION" of each kelda_tx installed: the user's list on Windows, the machine's (both views) on Wine.
products() {
  for key in HKCU:64 HKCU:32 HKLM:64 HKLM:32; do
    wine_run reg query "${key%:*}\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall" /s /reg:${key#*:}
  done | awk '/^HKEY_/ { key = $0; sub(/.*\\/, "", key) }
    $1 == "DisplayName" && $3 == "kelda_tx" { named[key] = 1 }
    $1 == "DisplayVersion" { version[key] = $3 }
    END { for (k in named) print k, version[k] }'
}
run_value() { wine_run reg query "$RUN_KEY" /v kelda_tx | awk '$1 == "kelda_tx" { sub(/.*REG_SZ +/, ""); print }'; }
stored() { probe settings | sed 's/ password=[^ ]* autoConnect=[0-9]*//'; }
from_menu() { wine_run start "$START_MENU\\kelda_tx.lnk" >/dev/null && probe "$@" 30000; } # probe COMMAND CAPTION
# What installing package $1 leaves: version $2 as program $3, its Run value, one entry.
installed() {
  check "msiexec /i $(basename "$1") ends with 0" msiexec /i "$1"
  check "the program of $2 stands in %LOCALAPPDATA%\\kelda_tx" cmp -s "$APP/kelda_tx.exe" "$3"
  check "the Run value starts the installed program" equals "$(run_value)" "\"$(wine_run winepath -w "$APP/kelda_tx.exe")\""
  check "one entry in the installed programs, version $2" equals "$(products | cut -d' ' -f2)" "$2"
}
# A Run value left behind would start the program with every later Wine session.
remove_all() {
  probe close "$CAPTION" 3000; probe close "kelda_tx $NEW" 3000
  for code in $(products | cut -d' ' -f1); do msiexec /x "$code"; done
  wine_run reg delete "$RUN_KEY" /v kelda_tx /f; rm -rf "$APP"; forget_settings
}
requests() { grep -c "GET /$1 " "$PROVIDER/logs/access.log"; }
trap 'remove_all >/dev/null; provider_stop' EXIT
remove_all >/dev/null

scenario "install $VERSION"
provider --version "$VERSION"
installed "$OLD_MSI" "$VERSION" "$BUILD/kelda_tx.exe"
check "the program starts from the shortcut" from_menu window "$CAPTION"
# Connecting stores the login (the dial itself fails: Wine has no RAS service), the option with it.
type_into login demo && click_role hideonstart && click_role button
check "it ends through the tray's exit and stored the login and the option" \
  equals "$(probe close "$CAPTION" 10000 && stored)" "login=demo hideOnStart=1"

scenario "uninstall"
mkdir -p "$APP/sub" && echo new >"$APP/sub/x.dll" && echo old >"$APP/sub/_x.dll" && echo >"$APP/_kelda_tx.exe"
check "msiexec /x ends with 0 and leaves nothing: folder (with what updates add), shortcut, Run value, entry" \
  equals "$(msiexec /x "$OLD_MSI" || echo failed; ls -d "$APP" "$(wine_run winepath -u "$START_MENU")/kelda_tx.lnk" 2>/dev/null; run_value; products)" ""
check "the stored settings are kept" equals "$(stored)" "login=demo hideOnStart=1"

scenario "reinstall $VERSION without the start at logon, then upgrade to $NEW"
check "msiexec /i AUTOSTART=0 installs the program without the Run value" equals "$(msiexec /i "$OLD_MSI" AUTOSTART=0 || echo failed; run_value)" ""
provider --version "$NEW"
installed "$NEW_MSI" "$NEW" "$NEXT/kelda_tx.exe"
check "the stored settings are kept" equals "$(stored)" "login=demo hideOnStart=1"
check "version $NEW starts from the shortcut and ends through the tray's exit" from_menu close "kelda_tx $NEW"
check "msiexec /i of $VERSION fails and leaves $NEW" equals "$(msiexec /i "$OLD_MSI" || products | cut -d' ' -f2)" "$NEW"

scenario "version $VERSION, built with the key, updates itself to $NEW"
provider --published "$WORK/published" && : >"$PROVIDER/logs/access.log" || die "the provider did not start"
rm -rf "$SELF" && mkdir -p "$SELF" && cp "$KEYED/kelda_tx.exe" "$SELF/" && echo kept >"$SELF/_readme.txt"
check "version $VERSION ends with 0 after the update" run_program "$SELF/kelda_tx.exe"
check "the new program stands under the old name" cmp -s "$SELF/kelda_tx.exe" "$NEXT/kelda_tx.exe"
check "the archive's signature was asked for" equals "$(requests "kelda_tx_$NEW.zip.sig")" 1
check "the new copy runs as kelda_tx $NEW" probe exists "kelda_tx $NEW" 30000
check "and removed the old one (_kelda_tx.exe), but kept _readme.txt" [ ! -e "$SELF/_kelda_tx.exe" -a -e "$SELF/_readme.txt" ]
check "it ends through the tray's exit" probe close "kelda_tx $NEW" 10000

# $VERSION installs it and restarts; the copy it starts does not install it again, and goes on as compatible.
scenario "a release without the program"
cp "$BUILD/kelda_tx.exe" "$SELF/" && echo "release notes" >"$WORK/notes.txt"
provider --version "$BAD" --compatible "$VERSION" --archive-from "$WORK/notes.txt" || die "the provider did not restart"
check "version $VERSION ends with 0 after installing $BAD" run_program "$SELF/kelda_tx.exe"
check "the copy it started goes on as $CAPTION and ends through the tray's exit" probe close "$CAPTION" 30000
check "the archive of $BAD was fetched once" equals "$(requests "kelda_tx_$BAD.zip")" 1
summary
