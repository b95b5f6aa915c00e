#!/usr/bin/env bash
# The installer package end to end, in the build's Wine prefix: a silent per-user
# install of this build's package, the program started from its Start-menu
# shortcut, a self-update inside the installed folder and a silent uninstall that
# leaves nothing of the program but its stored settings; a reinstall without the
# start at logon, the same version built again taking its place, the upgrade to
# the next version (keeping the settings) and no downgrade.
# Runs inside scripts/xvfb-session (a display, the build's Wine prefix).
# Usage: installer_e2e.sh BUILD_DIR WORK_DIR
set -uo pipefail
SOURCE=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "$1" && pwd)
mkdir -p "$2" && WORK=$(cd "$2" && pwd)
RUN="$BUILD/wine-run"
PROBE="$BUILD/tests/probe.exe"
LOG="$WORK/wine.log"
passed=0 failed=0
# The shortcut stays in the prefix: no menu entry or icon on this machine's own desktop.
export KELDA_DLL_OVERRIDES="winemenubuilder.exe=d"

cache() { sed -n "s/^$1:[A-Z]*=//p" "$BUILD/CMakeCache.txt"; }
check() { # name, then a command that succeeds when the case holds
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $name" >&2; return 1; fi
}
equals() { [ "$1" = "$2" ] || { echo "  got '$1', expected '$2'" >&2; return 1; }; }
fails() { ! "$@"; }
# Wine's programs get no pipe of ours: one the program starts would keep it open.
windows() { "$RUN" "$@" </dev/null 2>>"$LOG" | tr -d '\r'; }
probe() { windows "$PROBE" "$@"; }
msiexec() { timeout 300 "$RUN" msiexec "$@" /qn </dev/null >>"$LOG" 2>&1; }
provider() { bash "$SOURCE/scripts/provider" start "$WORK/provider" "$PORT" "$@" >/dev/null; }

PORT=$(cache KELDA_SERVER_PORT)
OLD=$(cache KELDA_VERSION)
ARCH=$(cache CMAKE_TOOLCHAIN_FILE)
ARCH=${ARCH##*/mingw-}
ARCH=${ARCH%.cmake}
NEW=1.08
[ "$OLD" != "$NEW" ] || NEW=1.09
[ "$(cache KELDA_SERVER_ADDRESS)" = 127.0.0.1 ] || { echo "installer_e2e: the build must talk to 127.0.0.1" >&2; exit 1; }
[ -f "$PROBE" ] || { echo "installer_e2e: build $BUILD first" >&2; exit 1; }
: >"$LOG"

# This build's package, and the next version's as the provider's release command
# makes it (its build folder is update_e2e's too, so one of them builds it).
cmake --build "$BUILD" --target kelda_tx_msi -- --no-print-directory >"$WORK/build.log" 2>&1 || { echo "installer_e2e: building the package failed; see $WORK/build.log" >&2; exit 1; }
OLD_MSI="$BUILD/kelda_tx-$OLD-$ARCH.msi"
NEXT="$BUILD/next-version"
ARCH=$ARCH BUILD=$NEXT KELDA_SERVER_ADDRESS=127.0.0.1 KELDA_SERVER_PORT=$PORT JOBS=2 \
  timeout 600 bash "$SOURCE/scripts/publish-update" "$NEW" "$WORK/published" >"$WORK/publish.log" 2>&1 ||
  { echo "installer_e2e: publishing version $NEW failed; see $WORK/publish.log" >&2; exit 1; }
NEW_MSI="$WORK/published/kelda_tx-$NEW-$ARCH.msi"
# The same version built again has another product code, as the other
# architecture's package has: it must take the installed one's place.
REBUILT_MSI="$WORK/kelda_tx-$OLD-$ARCH-rebuilt.msi"
bash "$SOURCE/installer/build-msi" "$REBUILT_MSI" "$OLD" "$ARCH" "$BUILD/kelda_tx.exe" \
  "$BUILD/installer/installer_actions.dll" "$SOURCE/res/disconnected.ico" >>"$WORK/build.log" 2>&1 ||
  { echo "installer_e2e: building the package again failed; see $WORK/build.log" >&2; exit 1; }

APP=$(windows winepath -u "$(windows cmd /c echo %LOCALAPPDATA%)\\kelda_tx")
START_MENU_WIN="$(windows cmd /c echo %APPDATA%)\\Microsoft\\Windows\\Start Menu\\Programs"
SHORTCUT="$(windows winepath -u "$START_MENU_WIN")/kelda_tx.lnk"
RUN_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'

# "CODE VERSION" of each kelda_tx in the installed programs: the user's list on
# Windows, the machine's where Wine keeps it, and there an x86 package's in the
# 32-bit view.
products() {
  local root view
  for root in HKCU HKLM; do
    for view in 64 32; do windows reg query "$root\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall" /s /reg:$view; done
  done |
    awk '/^HKEY_/ { key = $0; sub(/.*\\/, "", key) }
         $1 == "DisplayName" && $3 == "kelda_tx" { named[key] = 1 }
         $1 == "DisplayVersion" { version[key] = $3 }
         END { for (k in named) print k, version[k] }'
}
installed_versions() { products | cut -d' ' -f2 | sort | tr '\n' ' ' | sed 's/ $//'; }
run_value() { windows reg query "$RUN_KEY" /v kelda_tx | awk '$1 == "kelda_tx" { sub(/.*REG_SZ +/, ""); print }'; }
stored() { probe settings | grep -E '^(login|hideOnStart)=' | tr '\n' ' ' | sed 's/ $//'; }
click() { local point; point=$(probe centre "$1" "$2") && xdotool mousemove $point click 1 && sleep 0.2; }
nothing_left() { [ ! -e "$APP" ] && [ ! -e "$SHORTCUT" ] && [ -z "$(run_value)" ] && [ -z "$(products)" ]; }

# A Run value left behind would start the program with every later Wine session.
remove_all() {
  probe close "kelda_tx $OLD" 5000 >/dev/null
  probe close "kelda_tx $NEW" 5000 >/dev/null
  local code
  for code in $(products | cut -d' ' -f1); do msiexec /x "$code"; done
  windows reg delete "$RUN_KEY" /v kelda_tx /f >/dev/null
  rm -rf "$APP"
}
finish() {
  remove_all
  windows reg delete 'HKCU\Software\kelda' /f >/dev/null
  bash "$SOURCE/scripts/provider" stop "$WORK/provider" >/dev/null 2>&1
}
trap finish EXIT
remove_all
windows reg delete 'HKCU\Software\kelda' /f >/dev/null

# Starts the installed program as the Start menu does, through its shortcut.
start_from_menu() { windows start "$START_MENU_WIN\\kelda_tx.lnk" >/dev/null; }

echo "-- install $OLD"
provider --version "$OLD"
check "msiexec /i ends with 0" msiexec /i "$OLD_MSI"
check "the program stands in %LOCALAPPDATA%\\kelda_tx" cmp -s "$APP/kelda_tx.exe" "$BUILD/kelda_tx.exe"
check "the Start-menu shortcut kelda_tx" [ -f "$SHORTCUT" ]
check "the Run value starts the installed program" \
  equals "$(run_value)" "\"$(windows winepath -w "$APP/kelda_tx.exe")\""
check "one entry in the installed programs, version $OLD" equals "$(installed_versions)" "$OLD"
start_from_menu
check "the program started from the shortcut shows its frame" probe window "kelda_tx $OLD" 30000 >/dev/null
# A login is stored when the user connects (the dial itself fails: Wine has no
# RAS service), the tray option with it.
click "kelda_tx $OLD" login && xdotool type --delay 40 demo
click "kelda_tx $OLD" hideonstart && click "kelda_tx $OLD" button
check "it ends through the tray's exit" probe close "kelda_tx $OLD" 10000
check "and stored the login and the option" equals "$(stored)" "login=demo hideOnStart=1"

echo "-- a self-update inside the installed folder, then uninstall"
echo "release notes" >"$WORK/notes.txt"
provider --version "$NEW" --archive-from "$NEXT/kelda_tx.exe" --archive-from "$WORK/notes.txt"
timeout 60 "$RUN" "$APP/kelda_tx.exe" </dev/null >>"$LOG" 2>&1
check "the installed program updates itself to $NEW" probe exists "kelda_tx $NEW" 30000 >/dev/null
check "which ends through the tray's exit" probe close "kelda_tx $NEW" 10000
check "the update's new entry stands in the installed folder" [ -f "$APP/notes.txt" ]
# An earlier update's entry in a subfolder, beside its old copy.
mkdir -p "$APP/sub" && echo new >"$APP/sub/x.dll" && echo old >"$APP/sub/_x.dll"
check "msiexec /x ends with 0" msiexec /x "$OLD_MSI"
check "nothing is left: folder, shortcut, Run value, entry" nothing_left
check "the stored settings are kept" equals "$(stored)" "login=demo hideOnStart=1"

echo "-- reinstall $OLD with AUTOSTART=0"
check "msiexec /i AUTOSTART=0 ends with 0" msiexec /i "$OLD_MSI" AUTOSTART=0
check "the program is installed" [ -f "$APP/kelda_tx.exe" ]
check "without the Run value" equals "$(run_value)" ""

echo "-- the same version built again in its place"
before=$(products)
check "msiexec /i ends with 0" msiexec /i "$REBUILT_MSI"
check "one entry in the installed programs, version $OLD" equals "$(installed_versions)" "$OLD"
check "under the new package's product code" [ "$(products)" != "$before" ]

echo "-- upgrade to $NEW"
provider --version "$NEW"
check "msiexec /i ends with 0" msiexec /i "$NEW_MSI"
check "the program is version $NEW's" cmp -s "$APP/kelda_tx.exe" "$NEXT/kelda_tx.exe"
check "one entry in the installed programs, version $NEW" equals "$(installed_versions)" "$NEW"
check "the shortcut and the Run value are there" [ -f "$SHORTCUT" -a -n "$(run_value)" ]
check "the stored settings are kept" equals "$(stored)" "login=demo hideOnStart=1"
start_from_menu
check "version $NEW starts from the shortcut" probe exists "kelda_tx $NEW" 30000 >/dev/null
sleep 1  # past the moment a frame is shown
check "in the tray, as the kept option says" grep -q "visible=0" <(probe exists "kelda_tx $NEW" 0)
check "it ends through the tray's exit" probe close "kelda_tx $NEW" 10000

echo "-- no downgrade"
check "msiexec /i of $OLD fails" fails msiexec /i "$OLD_MSI"
check "$NEW stays" equals "$(installed_versions)" "$NEW"
check "its program too" cmp -s "$APP/kelda_tx.exe" "$NEXT/kelda_tx.exe"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
