# What the end-to-end scripts and the demo share: the checks, Wine, the provider, the real program driven with
# xdotool, probe.exe's view of its windows. Set BUILD and WORK (a scratch folder) first; run in scripts/xvfb-session.
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
check() { # check WHAT COMMAND...: a failed case is named, and the screen kept
  "${@:2}" >/dev/null && passed=$((passed + 1)) && return
  failed=$((failed + 1)) && say "FAILED [$current]: $1"
  shot "failed-$(echo "$current-$1" | tr -c 'A-Za-z0-9' '_')"
  return 1
}
equals() { [ "$1" = "$2" ] || { say "   got '$1', expected '$2'" >&2; return 1; }; }
fails() { ! "$@"; }
summary() { say "$passed passed, $failed failed"; [ "$failed" -eq 0 ]; }

# Wine's programs get no pipe of ours but for their output: one a program starts would keep it open.
wine_run() { "$BUILD/wine-run" "$@" </dev/null 2>>"$LOG" | tr -d '\r'; }
run_program() { timeout 60 "$BUILD/wine-run" "$@" </dev/null >>"$LOG" 2>&1; }
probe() { wine_run "$BUILD/tests/e2e/probe.exe" "$@"; }
rasctl() { (cd "$RUN" && wine_run rasctl.exe "$@"); }
forget_settings() { wine_run reg delete 'HKCU\Software\kelda' /f >/dev/null; }
provider() { bash "$REPO/scripts/provider" start "$PROVIDER" "$PORT" "$@" >/dev/null; }
provider_stop() { bash "$REPO/scripts/provider" stop "$PROVIDER" >/dev/null 2>&1 || true; }
publish_next() { # the next version released into next-version/; more arguments go to publish-update
  ARCH=$ARCH BUILD=$NEXT KELDA_SERVER_ADDRESS=127.0.0.1 KELDA_SERVER_PORT=$PORT JOBS=2 \
    timeout 600 bash "$REPO/scripts/publish-update" "$NEW" "$@" >"$WORK/publish.log" 2>&1 ||
    die "publishing version $NEW failed; see $WORK/publish.log"
}

prepare_program() { # a fresh copy of the program beside the simulated RAS service
  rm -rf "$RUN" "$SHOTS" && mkdir -p "$RUN" "$SHOTS"
  cp "$BUILD/kelda_tx.exe" "$BUILD/tests/rasapi32.dll" "$BUILD/tests/rasctl.exe" "$RUN/" && rasctl reset >/dev/null
}
start_program() {
  kill_program
  (cd "$RUN" && exec "$BUILD/wine-run" kelda_tx.exe) </dev/null >>"$LOG" 2>&1 &
  PROGRAM_PID=$! PROGRAM_CODE=""
}
# within SECONDS COMMAND...: until it holds. wait_program_exit SECONDS: the code goes to PROGRAM_CODE.
within() { local end=$((SECONDS + $1)); until "${@:2}"; do [ "$SECONDS" -lt "$end" ] && sleep 0.2 || return 1; done; }
wait_program_exit() { within "$1" fails kill -0 "$PROGRAM_PID" 2>/dev/null && { wait "$PROGRAM_PID"; PROGRAM_CODE=$? PROGRAM_PID=""; }; }
kill_program() { # the tray's exit, else the hard way
  [ -z "$PROGRAM_PID" ] || probe close "$CAPTION" 5000 >/dev/null || { kill -9 "$PROGRAM_PID" && wait "$PROGRAM_PID"; } 2>/dev/null
  PROGRAM_PID=""
}
# shows ROLE PATTERN SECONDS: until the control shows a text the pattern matches.
shows() { within "$3" shows_now "$1" "$2" || { say "   $1 shows: $(probe text "$CAPTION" "$1")" >&2; return 1; }; }
shows_now() { [[ $(probe text "$CAPTION" "$1") == $2 ]]; }

shot() { import -window root "$SHOTS/$1.png" 2>/dev/null || true; }
click_at() { [ -n "$1" ] && xdotool mousemove $1 click "${2:-1}"; } # "X Y", the mouse button (left unless given)
click_role() { click_at "$(probe centre "${2:-$CAPTION}" "$1")" && sleep 0.2; } # ROLE [CAPTION]
type_into() { click_role "$1" && xdotool type --delay 40 "$2" && sleep 0.2; }
tray_click() { click_at "$(probe tray-icon)" && xdotool mousemove 400 300; }
# The tray menu's last item ("Выход"); the pointer leaves the icon before its tip can cover the item.
tray_exit() { click_at "$(probe tray-icon)" 3 && xdotool mousemove $(probe menu 3000) sleep 0.3 click 1; }
close_box() { xdotool key alt+F4 && sleep 0.2; } # the close box's key
tray_tip() { xdotool mousemove $(probe tray-icon) sleep 0.1 mousemove_relative 3 0 && probe tooltip 5000; xdotool mousemove 400 300; }
