#!/usr/bin/env bash
# Scenario tests of the real kelda_tx.exe: Wine on the session's Xvfb, the local
# provider on 127.0.0.1 and the simulated RAS service, driven like a person
# with real key presses and clicks. Run by ctest inside scripts/xvfb-session.
# Usage: scenarios.sh BUILD_DIR
set -uo pipefail
BUILD=$1
WORK="$BUILD/tests/e2e-work"
# shellcheck source=session-lib.sh
source "$(dirname "$0")/session-lib.sh"

passed=0
failed=0
current=""
scenario() { current=$1; say "-- $current"; }
check() {  # check "what" command...
  local what=$1
  shift
  if "$@" >/dev/null; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    say "FAILED [$current]: $what"
    say "   the service: $(rasctl scenario 2>&1 | tr -d '\r'); $(rasctl list 2>&1 | tr -d '\r' | tr '\n' ';')"
    shot "failed-$(echo "$current-$what" | tr -c 'A-Za-z0-9' '_')"
  fi
}
field() { grep "^$1=" <<<"$2" | cut -d= -f2-; }
equals() { [ "$1" = "$2" ] || { say "   got '$1', expected '$2'" >&2; return 1; }; }
# Runs a check in a shell of its own with the session's helpers.
in_session() { bash -c "$(declare -f probe rasctl wine_run service_connected); BUILD='$BUILD' RUN='$RUN'; $1"; }
cleanup() {
  kill_program
  provider_stop
}
trap cleanup EXIT

prepare_program
forget_settings
provider_start

scenario "1. first start without stored settings"
start_program
check "the frame is shown" probe window "$CAPTION" 20000
frame=$(probe window "$CAPTION" 1000)
check "the frame stands in the bottom-right corner" equals "$(sed -n 's/.*rect=[0-9]*,[0-9]*,\([0-9]*,[0-9]*\).*/\1/p' <<<"$frame")" "1024,768"
check "the state line reads not connected" probe wait-text "$CAPTION" state disconnected 2000
check "the button offers to connect" probe wait-text "$CAPTION" button connect 2000
check "an unknown subscriber's balance was asked for" grep -q 'GET /kelda_tools_info.php?a=.* 403' "$PROVIDER/logs/access.log"
shot 1-first-start
click_role closebox  # the frame covers the tray icon until it is hidden
check "the close box hides the frame" probe wait-hidden "$CAPTION" 2000
check "the tip shows the balance of nobody" equals "$(tray_tip)" "Текущий баланс: 0.00"
tray_click
check "a left click on the tray icon shows the frame again" probe window "$CAPTION" 2000

scenario "2. credentials typed, options set, connect pressed"
type_into login demo
type_into password demo2026
click_role autoconnect
click_role hideonstart
shot 2-typed
click_role button
check "the dial reports its states" probe wait-text "$CAPTION" progress 8192 10000
check "the window hides once connected" probe wait-hidden "$CAPTION" 5000
check "the button offers to disconnect" probe wait-text "$CAPTION" button disconnect 2000
check "the state line reads connected" probe wait-text "$CAPTION" state connected 2000
check "the service holds the connection" service_connected
check "RasDialW was given the typed login and password" dialled_with demo demo2026
check "the subscriber's balance was fetched" grep -q 'GET /kelda_tools_info.php?a=.* 200' "$PROVIDER/logs/access.log"
check "the tip shows the subscriber's balance" equals "$(tray_tip)" "Текущий баланс: 250.50"
shot 2-connected

scenario "3. exit through the tray menu"
check "the tray menu offers the exit" tray_exit
wait_program_exit 15
check "the program ends with code 1" equals "$PROGRAM_CODE" 1
check "the connection is hung up" in_session "! service_connected"
settings=$(probe settings)
check "the login is stored" equals "$(field login "$settings")" demo
check "the password is stored" equals "$(field password "$settings")" demo2026
check "auto-connect is stored" equals "$(field autoConnect "$settings")" 1
check "hide-on-start is stored" equals "$(field hideOnStart "$settings")" 1

scenario "4. next start with both options set"
start_program
check "the frame is created" probe exists "$CAPTION" 20000
check "it dials at once" in_session "for i in \$(seq 50); do service_connected && exit 0; sleep 0.2; done; exit 1"
check "the state line reads connected" probe wait-text "$CAPTION" state connected 3000
check "the frame stays hidden" in_session "! probe window '$CAPTION' 1500"
shot 4-started-in-tray
check "the tray menu offers the exit" tray_exit
wait_program_exit 15
check "the program ends with code 1" equals "$PROGRAM_CODE" 1

# The shell shows a balloon about 2 s after it is asked; "no balloon" waits longer.
scenario "5. the dial at start fails while the program sits in the tray"
for failure in "refused:The modem (or other connecting device) is already in use or is not configured properly." \
  "badauth:Access was denied because the username and/or password was invalid on the domain."; do
  rasctl scenario "${failure%%:*}" >/dev/null
  start_program
  check "${failure%%:*}: the frame is created" probe exists "$CAPTION" 20000
  check "${failure%%:*}: a balloon tells why" equals "$(probe balloon 8000)" \
    "$(printf 'kelda_tx\nНе удалось подключиться\n%s' "${failure#*:}")"
  shot "5-${failure%%:*}"
  check "${failure%%:*}: the frame stays hidden" in_session "! probe window '$CAPTION' 500"
  check "the tray menu offers the exit" tray_exit
  wait_program_exit 15
done
rasctl scenario success >/dev/null

scenario "6. provider down"
provider_stop
before=$(probe settings)
start_program
error=$(probe startup-error 20000)
check "the start-up error is shown" equals "$(head -n 1 <<<"$error")" "Нет связи с сервером. Попробуйте запустить программу позже."
check "no frame is created" in_session "! probe exists '$CAPTION' 500"
shot 6-provider-down
# shellcheck disable=SC2046
xdotool mousemove $(sed -n 's/^ok //p' <<<"$error") click 1
wait_program_exit 10
check "the program ends with code 0" equals "$PROGRAM_CODE" 0
check "the stored settings are untouched" equals "$(probe settings)" "$before"

scenario "7. a refused login, the right password, a hang-up"
provider_start
forget_settings
rasctl scenario badauth >/dev/null
start_program
check "the frame is shown" probe window "$CAPTION" 20000
type_into login demo
type_into password wrong1
click_role button
check "the dial fails with the service's error for 691" in_session "for i in \$(seq 50); do probe text '$CAPTION' progress | grep -q 'Access was denied' && exit 0; sleep 0.2; done; exit 1"
shot 7-refused
check "the state line still reads not connected" probe wait-text "$CAPTION" state disconnected 1000
check "no balloon for a dial that failed under the user's eyes" in_session "! probe balloon 3500"
rasctl scenario success >/dev/null
click_role password
xdotool key --delay 30 BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace
xdotool type --delay 40 demo2026
click_role button
check "the second try connects" probe wait-text "$CAPTION" state connected 10000
tray_click
click_role button
check "the button hangs up" probe wait-text "$CAPTION" state disconnected 2000
check "no balloon for the user's own hang-up" in_session "! probe balloon 3500"
click_role button
check "it connects again" probe wait-text "$CAPTION" state connected 10000

scenario "8. the line dropped from outside"
rasctl drop Kelda >/dev/null
check "the state line returns to not connected" probe wait-text "$CAPTION" state disconnected 1000
check "the button offers to connect again" probe wait-text "$CAPTION" button connect 1000
check "a balloon tells the line dropped" equals "$(probe balloon 5000)" "$(printf 'kelda_tx\nСоединение разорвано')"
shot 8-dropped
check "the tray menu offers the exit" tray_exit
wait_program_exit 15
check "the program ends with code 1" equals "$PROGRAM_CODE" 1

scenario "9. exit during a dial, while the service is slow to release"
rasctl scenario slow >/dev/null
rasctl hangupdelay 1500 >/dev/null
start_program
check "the frame is shown" probe window "$CAPTION" 20000
click_role button
check "the dial is under way" probe wait-text "$CAPTION" progress 0 5000
click_role closebox  # the frame covers the tray icon
check "the tray menu offers the exit" tray_exit
wait_program_exit 15
check "the program ends with code 1" equals "$PROGRAM_CODE" 1
check "nothing is left in the service, not even a port being closed" equals "$(rasctl list)" ""
rasctl hangupdelay 200 >/dev/null
rasctl scenario success >/dev/null

scenario "10. a second start while the program runs in the tray"
start_program
check "the frame is shown" probe window "$CAPTION" 20000
click_role closebox
check "the close box hides the frame" probe wait-hidden "$CAPTION" 2000
check "the second copy ends with code 0" equals "$(start_another_copy 40)" 0
frame=$(probe window "$CAPTION" 2000)
check "the running copy's frame is shown, in front" grep -q 'visible=1 iconic=0 foreground=1' <<<"$frame"
check "the running copy goes on" kill -0 "$PROGRAM_PID"
shot 10-second-start
click_role closebox
check "the tray menu offers the exit" tray_exit
wait_program_exit 15
check "the program ends with code 1" equals "$PROGRAM_CODE" 1

say "scenario screenshots: $SHOTS"
say "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
