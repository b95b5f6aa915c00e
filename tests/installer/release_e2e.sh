#!/usr/bin/env bash
# The next version released with scripts/publish-update, signed for updates and code-signed with a throwaway CA, and
# the local provider: the installer package installs, starts from the Start menu, uninstalls, reinstalls without the
# start at logon, upgrades while the program runs (it leaves, the line stays up, the new one starts) and refuses a
# downgrade; this version built with the key updates itself; a release without the program restarts it once.
# Runs inside scripts/xvfb-session. Usage: release_e2e.sh BUILD_DIR WORK_DIR
set -uo pipefail
BUILD=$1 WORK=$2
# shellcheck source=../e2e/session-lib.sh
source "$(dirname "$0")/../e2e/session-lib.sh"
export KELDA_DLL_OVERRIDES="winemenubuilder.exe=d" # no menu entry on this machine's own desktop
KEYS="$WORK/keys" KEYED="$WORK/keyed-build" SELF="$WORK/self-update" BAD=9.99 # a version nobody will build
CA="$WORK/code-signing" # a throwaway CA, its code-signing certificate and a server certificate

# A throwaway key pair kept with the build that trusts it (later runs rebuild nothing).
[ -f "$KEYS/update-key.pem" ] || { rm -rf "$KEYS" && bash "$REPO/scripts/make-update-key" "$KEYS" >/dev/null; } || die "no key pair"
make_certificates() { # for each usage: USAGE.key and USAGE-chain.pem (the certificate, then the CA's)
  rm -rf "$CA" && mkdir -p "$CA" && cd "$CA" && openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem \
    -days 3650 -subj "/CN=kelda throwaway CA" -addext basicConstraints=critical,CA:TRUE || return 1
  for usage in codeSigning serverAuth; do
    openssl req -newkey rsa:2048 -nodes -keyout $usage.key -out $usage.csr -subj "/CN=kelda $usage" &&
      openssl x509 -req -in $usage.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 3650 -out $usage.pem \
        -extfile <(echo "extendedKeyUsage=$usage") && cat $usage.pem ca.pem >$usage-chain.pem || return 1
  done
}
[ -f "$CA/codeSigning-chain.pem" ] || (make_certificates) >/dev/null 2>&1 || die "no throwaway CA"
# CERT KEY MESSAGE: publishing with this pair stops before the build, with the message, and publishes nothing.
refused() {
  rm -rf "$WORK/refused" && ! KELDA_CODESIGN_CERT="$CA/$1" KELDA_CODESIGN_KEY="$CA/$2" ARCH=$ARCH BUILD=$NEXT \
    KELDA_SERVER_PORT=$PORT bash "$REPO/scripts/publish-update" "$NEW" "$WORK/refused" >"$WORK/refused.log" 2>&1 &&
    tr -s ' \n' ' ' <"$WORK/refused.log" | grep -q "$3" && [ -z "$(ls -A "$WORK/refused")" ] # CMake wraps its messages
}
verified() { osslsigncode verify -CAfile "$CA/ca.pem" -in "$1" >/dev/null 2>&1; }
# The version resource as Explorer's Details tab reads it, one line.
version_resource() { "$ARCH-w64-mingw32-windres" -i "$1" -O rc | sed -n '/VERSIONINFO/,/^END/p' | grep -E 'VERSION |VALUE|BLOCK "[0-9]' | tr -s ' ' | tr -d '\n'; }

scenario "publishing $NEW, code-signed"
check "a key that is not the certificate's is refused" refused codeSigning-chain.pem serverAuth.key "is not the private key of the certificate"
check "a certificate without the code-signing usage is refused" refused serverAuth-chain.pem serverAuth.key "is no code-signing certificate"
rm -rf "$WORK/published" && KELDA_CODESIGN_CERT="$CA/codeSigning-chain.pem" KELDA_CODESIGN_KEY="$CA/codeSigning.key" \
  publish_next "$WORK/published" --sign "$KEYS/update-key.pem"
OLD_MSI="$BUILD/kelda_tx-$VERSION-$ARCH.msi" NEW_MSI="$WORK/published/kelda_tx-$NEW-$ARCH.msi"
check "the program's signature verifies against the CA" verified "$NEXT/kelda_tx.exe"
check "the package's too" verified "$NEW_MSI"
check "an unsigned build's does not" fails verified "$BUILD/kelda_tx.exe"
check "the update archive holds the signed program" cmp -s <(unzip -p "$WORK/published/kelda_tx_$NEW.zip" kelda_tx.exe) "$NEXT/kelda_tx.exe"
check "the program's version resource is $NEW's" equals "$(version_resource "$NEXT/kelda_tx.exe")" \
  " FILEVERSION ${NEW%%.*}, $((10#${NEW#*.})), 0, 0 PRODUCTVERSION ${NEW%%.*}, $((10#${NEW#*.})), 0, 0\
 BLOCK \"041904B0\" VALUE \"CompanyName\", \"kelda\" VALUE \"FileDescription\", \"kelda_tx\" VALUE \"FileVersion\", \"$NEW\"\
 VALUE \"InternalName\", \"kelda_tx.exe\" VALUE \"LegalCopyright\", \"(c) kelda, 2026\"\
 VALUE \"OriginalFilename\", \"kelda_tx.exe\" VALUE \"ProductName\", \"kelda_tx\" VALUE \"ProductVersion\", \"$NEW\"\
 VALUE \"Translation\", 0x419, 1200"
{ cmake --build "$BUILD" --target kelda_tx_msi -- --no-print-directory && timeout 600 make -C "$REPO" --no-print-directory \
  build ARCH="$ARCH" BUILD="$KEYED" KELDA_SERVER_ADDRESS=127.0.0.1 KELDA_SERVER_PORT="$PORT" KELDA_VERSION="$VERSION" \
  KELDA_UPDATE_KEY="$KEYS/update-key.pub.pem" TARGETS=kelda_tx JOBS=2; } >"$WORK/build.log" 2>&1 ||
  die "building the package or $VERSION with the key failed; see $WORK/build.log"
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
SYSTEM=$(wine_run winepath -u 'C:\windows\system32')
system_ras() { wine_run "$BUILD/tests/rasctl.exe" --dir 'C:\windows\system32' "$@"; }
restore_system_ras() { # Wine's own RAS back, for every later program of this prefix
  [ ! -f "$WORK/wine-rasapi32.dll" ] || mv -f "$WORK/wine-rasapi32.dll" "$SYSTEM/rasapi32.dll"
  KELDA_DLL_OVERRIDES="winemenubuilder.exe=d"
}
trap 'remove_all >/dev/null; restore_system_ras; provider_stop' EXIT
mkdir -p "$SHOTS"
restore_system_ras
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

scenario "reinstall $VERSION without the start at logon, then upgrade to $NEW while it runs in the tray, connected"
check "msiexec /i AUTOSTART=0 installs the program without the Run value" equals "$(msiexec /i "$OLD_MSI" AUTOSTART=0 || echo failed; run_value)" ""
# The simulated RAS service where both versions find it: an upgrade takes the program's folder whole.
cp "$SYSTEM/rasapi32.dll" "$WORK/wine-rasapi32.dll" && cp "$BUILD/tests/rasapi32.dll" "$SYSTEM/" || die "cannot place the simulated RAS service"
KELDA_DLL_OVERRIDES="$KELDA_DLL_OVERRIDES;rasapi32=n,b"
system_ras reset >/dev/null; line=$(system_ras connect Kelda) # a line dialled before, which the program adopts at its start
check "$VERSION starts from the shortcut, in the tray, and adopts the line" eval 'from_menu exists "$CAPTION" && shows state Соединено 10'
tray_click && click_role hideonstart && close_box # the option is saved when the program leaves
check "its frame is back in the tray" probe wait-hidden "$CAPTION" 3000
provider --version "$NEW"
installed "$NEW_MSI" "$NEW" "$NEXT/kelda_tx.exe"
check "$VERSION has left" fails probe exists "$CAPTION" 0
check "$NEW runs in its place, hidden in the tray as $VERSION was, and adopted the line" \
  eval 'probe exists "kelda_tx $NEW" 30000 && CAPTION="kelda_tx $NEW" shows state Соединено 10 && probe wait-hidden "kelda_tx $NEW" 0'
check "the settings $VERSION held are stored" equals "$(stored)" "login=demo hideOnStart=0"
check "the line stayed up: the same connection, dialled once" equals "$(system_ras list | cut -d' ' -f1-3)" "$line state=8192 error=0"
check "its tray exit ends $NEW and hangs up" eval 'probe close "kelda_tx $NEW" 10000 && [ -z "$(system_ras list)" ]'
check "version $NEW starts from the shortcut and ends through the tray's exit" from_menu close "kelda_tx $NEW"
restore_system_ras
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
