# Shared by the scenario tests and the demo: drives the real kelda_tx.exe like
# a person (xdotool key presses and clicks on the session's display) and asks
# probe.exe what its windows show. Source it after setting:
#   BUILD   the build folder (wine-run, kelda_tx.exe, tests/probe.exe, tests/rasapi32.dll)
#   WORK    a scratch folder for this session (program copy, provider, screenshots)
# Needs DISPLAY and KELDA_WINEPREFIX (scripts/xvfb-session sets both).

BUILD=$(cd "$BUILD" && pwd)
mkdir -p "$WORK"
WORK=$(cd "$WORK" && pwd)
RUN="$WORK/program"
SHOTS="$WORK/screenshots"
PROVIDER="$WORK/provider"
PORT=$(sed -n 's/^KELDA_SERVER_PORT:STRING=//p' "$BUILD/CMakeCache.txt")
VERSION=$(sed -n 's/^KELDA_VERSION:STRING=//p' "$BUILD/CMakeCache.txt")
CAPTION="kelda_tx $VERSION"
PROGRAM_PID=""
PROGRAM_CODE=""
export KELDA_DLL_OVERRIDES="rasapi32=n,b"
REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

say() { printf '%s\n' "$*"; }

wine_run() { "$BUILD/wine-run" "$@"; }
probe() { (cd "$BUILD/tests" && wine_run probe.exe "$@"); }
rasctl() { (cd "$RUN" && wine_run rasctl.exe "$@"); }

# A fresh copy of the program beside the simulated RAS service.
prepare_program() {
  rm -rf "$RUN" "$SHOTS"
  mkdir -p "$RUN" "$SHOTS"
  cp "$BUILD/kelda_tx.exe" "$BUILD/tests/rasapi32.dll" "$BUILD/tests/rasctl.exe" "$RUN/"
  rasctl reset >/dev/null
}

forget_settings() { wine_run reg delete 'HKCU\Software\kelda' /f >/dev/null 2>&1 || true; }

provider_start() { bash "$REPO/scripts/provider" start "$PROVIDER" "$PORT" --version "$VERSION" >/dev/null; }
provider_stop() { bash "$REPO/scripts/provider" stop "$PROVIDER" >/dev/null 2>&1 || true; }

# Starts the program; one that is still running from before is ended first.
# Its output goes to a log: a Wine process it starts must not hold the caller's pipe.
start_program() {
  kill_program
  PROGRAM_CODE=""
  (cd "$RUN" && exec "$BUILD/wine-run" kelda_tx.exe) </dev/null >>"$WORK/program.log" 2>&1 &
  PROGRAM_PID=$!
}

# Starts one more copy of the program while one runs and waits for it to end
# (at most $1 seconds); prints its exit code (124: it did not end).
start_another_copy() {
  (cd "$RUN" && timeout "$1" "$BUILD/wine-run" kelda_tx.exe) </dev/null >>"$WORK/program.log" 2>&1
  echo $?
}

# Waits for the program to end (at most $1 seconds); its exit code lands in PROGRAM_CODE.
wait_program_exit() {
  local limit=$1 waited=0
  while kill -0 "$PROGRAM_PID" 2>/dev/null && [ "$waited" -lt $((limit * 10)) ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  if kill -0 "$PROGRAM_PID" 2>/dev/null; then
    PROGRAM_CODE="still running"
    return 1
  fi
  wait "$PROGRAM_PID"
  PROGRAM_CODE=$?
  PROGRAM_PID=""
  return 0
}

# Ends a program a scenario left running (a failed scenario): the tray's exit
# first, then the hard way.
kill_program() {
  [ -n "$PROGRAM_PID" ] || return 0
  probe close "$CAPTION" 5000 >/dev/null 2>&1 || true
  if ! wait_program_exit 5; then
    kill -9 "$PROGRAM_PID" 2>/dev/null
    wait "$PROGRAM_PID" 2>/dev/null
  fi
  PROGRAM_PID=""
}

shot() { import -window root "$SHOTS/$1.png" 2>/dev/null || true; }

click_role() {
  local point
  point=$(probe centre "$CAPTION" "$1") || return 1
  # shellcheck disable=SC2086
  xdotool mousemove $point click 1
  sleep 0.2
}

type_into() {
  click_role "$1" || return 1
  xdotool type --delay 40 "$2"
  sleep 0.2
}

# Right-click on the program's tray icon and click the menu's last item ("Выход").
# The pointer leaves the icon at once, before the icon's tip can cover the item.
tray_exit() {
  local icon menu
  icon=$(probe tray-icons | head -n 1)
  [ -n "$icon" ] || return 1
  # shellcheck disable=SC2086
  set -- $icon
  xdotool mousemove $(( ($1 + $3) / 2 )) $(( ($2 + $4) / 2 )) click 3
  menu=$(probe menu 3000) || return 1
  # shellcheck disable=SC2086
  set -- $menu
  xdotool mousemove $(( ($1 + $3) / 2 )) $(( $4 - 10 ))
  sleep 0.3
  shot tray-menu
  xdotool click 1
}

# Points at the tray icon until its tip shows; prints the tip.
tray_tip() {
  local icon
  icon=$(probe tray-icons | head -n 1)
  [ -n "$icon" ] || return 1
  # shellcheck disable=SC2086
  set -- $icon
  xdotool mousemove $(( ($1 + $3) / 2 - 3 )) $(( ($2 + $4) / 2 ))
  sleep 0.1
  xdotool mousemove $(( ($1 + $3) / 2 )) $(( ($2 + $4) / 2 ))
  probe tooltip 5000
  xdotool mousemove 400 300
}

tray_click() {
  local icon
  icon=$(probe tray-icons | head -n 1)
  [ -n "$icon" ] || return 1
  # shellcheck disable=SC2086
  set -- $icon
  xdotool mousemove $(( ($1 + $3) / 2 )) $(( ($2 + $4) / 2 )) click 1
  xdotool mousemove 400 300
}

# The RAS service holds a connected connection of the program's entry.
service_connected() { rasctl list | grep -q "8192.*Kelda"; }

# RasDialW was given this login ($1) and password ($2) for the program's entry.
dialled_with() { rasctl list | grep -qF "\"Kelda\" user=\"$1\" password=\"$2\""; }
