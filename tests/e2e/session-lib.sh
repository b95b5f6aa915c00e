# What the end-to-end scripts and the demo share: the checks, Wine, the provider, the real program
# driven with xdotool, probe.exe's view of its windows. Set BUILD and WORK (a scratch folder) first;
# run inside scripts/xvfb-session.
BUILD=$(cd "$BUILD" && pwd)
mkdir -p "$WORK" && WORK=$(cd "$WORK" && pwd)
REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
RUN="$WORK/program" SHOTS="$WORK/screenshots" PROVIDER="$WORK/provider" LOG="$WORK/wine.log"
cache() { sed -n "s/^$1:[A-Z]*=//p" "$BUILD/CMakeCache.txt"; }
PORT=$(cache KELDA_SERVER_PORT) VERSION=$(cache KELDA_VERSION) ARCH=$(cache CMAKE_TOOLCHAIN_FILE)
ARCH=${ARCH##*/mingw-} ARCH=${ARCH%.cmake} CAPTION="kelda_tx $VERSION"
NEW=1.08 NEXT="$BUILD/next-version" # the next version, for the update and the upgrade
[ "$VERSION" != "$NEW" ] || NEW=1.09
PROGRAM_PID="" PROGRAM_CODE="" passed=0 failed=0 current=""
export KELDA_DLL_OVERRIDES="rasapi32=n,b"

say() { printf '%s\n' "$*"; }
die() { say "$(basename "$0"): $*" >&2; exit 1; }
[ "$(cache KELDA_SERVER_ADDRESS)" = 127.0.0.1 ] || die "the build must talk to 127.0.0.1"
scenario() { current=$1; say "-- $1"; }
# check "what" command...: a failed case is named, and a script's on_failure (if any) tells more.
check() {
  "${@:2}" >/dev/null && passed=$((passed + 1)) && return
  failed=$((failed + 1)) && say "FAILED [$current]: $1"
  ! declare -F on_failure >/dev/null || on_failure "$1"
  return 1
}
equals() { [ "$1" = "$2" ] || { say "   got '$1', expected '$2'" >&2; return 1; }; }
fails() { ! "$@"; }
summary() { say "$passed passed, $failed failed"; [ "$failed" -eq 0 ]; }

# Wine's programs get no pipe of ours but for their output: one a program starts would keep it open.
wine_run() { "$BUILD/wine-run" "$@" </dev/null 2>>"$LOG" | tr -d '\r'; }
run_program() { timeout 60 "$BUILD/wine-run" "$@" </dev/null >>"$LOG" 2>&1; }
probe() { wine_run "$BUILD/tests/probe.exe" "$@"; }
rasctl() { (cd "$RUN" && wine_run rasctl.exe "$@"); }
forget_settings() { wine_run reg delete 'HKCU\Software\kelda' /f >/dev/null; }
provider() { bash "$REPO/scripts/provider" start "$PROVIDER" "$PORT" "$@" >/dev/null; }
provider_stop() { bash "$REPO/scripts/provider" stop "$PROVIDER" >/dev/null 2>&1 || true; }

# The next version released (more arguments go to publish-update) into next-version/, for both updates.
publish_next() {
  ARCH=$ARCH BUILD=$NEXT KELDA_SERVER_ADDRESS=127.0.0.1 KELDA_SERVER_PORT=$PORT JOBS=2 \
    timeout 600 bash "$REPO/scripts/publish-update" "$NEW" "$@" >"$WORK/publish.log" 2>&1 ||
    die "publishing version $NEW failed; see $WORK/publish.log"
}

# A fresh copy of the program beside the simulated RAS service, and its start in the background.
prepare_program() {
  rm -rf "$RUN" "$SHOTS" && mkdir -p "$RUN" "$SHOTS"
  cp "$BUILD/kelda_tx.exe" "$BUILD/tests/rasapi32.dll" "$BUILD/tests/rasctl.exe" "$RUN/" && rasctl reset >/dev/null
}
start_program() {
  kill_program
  (cd "$RUN" && exec "$BUILD/wine-run" kelda_tx.exe) </dev/null >>"$LOG" 2>&1 &
  PROGRAM_PID=$! PROGRAM_CODE=""
}
# Runs the command again until it holds, for at most $1 seconds.
within() { local end=$((SECONDS + $1)); until "${@:2}"; do [ "$SECONDS" -lt "$end" ] && sleep 0.2 || return 1; done; }
# Waits for the program to end (at most $1 seconds); its exit code lands in PROGRAM_CODE.
wait_program_exit() { within "$1" fails kill -0 "$PROGRAM_PID" 2>/dev/null && { wait "$PROGRAM_PID"; PROGRAM_CODE=$? PROGRAM_PID=""; }; }
# Ends a program a scenario left running: the tray's exit first, then the hard way.
kill_program() {
  [ -z "$PROGRAM_PID" ] || probe close "$CAPTION" 5000 >/dev/null || { kill -9 "$PROGRAM_PID" && wait "$PROGRAM_PID"; } 2>/dev/null
  PROGRAM_PID=""
}
# Waits (at most $3 seconds) until the control of role $1 shows a text the pattern $2 matches.
shows() { within "$3" shows_now "$1" "$2" || { say "   $1 shows: $(probe text "$CAPTION" "$1")" >&2; return 1; }; }
shows_now() { [[ $(probe text "$CAPTION" "$1") == $2 ]]; }

shot() { import -window root "$SHOTS/$1.png" 2>/dev/null || true; }
# Clicks at "X Y" ($1) with a mouse button ($2, the left one unless given).
click_at() { [ -n "$1" ] && xdotool mousemove $1 click "${2:-1}"; }
click_role() { click_at "$(probe centre "$CAPTION" "$1")" && sleep 0.2; }
type_into() { click_role "$1" && xdotool type --delay 40 "$2" && sleep 0.2; }
tray_click() { click_at "$(probe tray-icon)" && xdotool mousemove 400 300; }
# The tray menu's last item ("Выход"); the pointer leaves the icon before its tip can cover the item.
tray_exit() { click_at "$(probe tray-icon)" 3 && xdotool mousemove $(probe menu 3000) sleep 0.3 click 1; }
close_box() { xdotool key alt+F4 && sleep 0.2; } # the close box's key
# Points at the tray icon until its tip shows; prints the tip.
tray_tip() { xdotool mousemove $(probe tray-icon) sleep 0.1 mousemove_relative 3 0 && probe tooltip 5000; xdotool mousemove 400 300; }
