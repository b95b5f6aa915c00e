#!/usr/bin/env bash
# Scenarios of the real kelda_tx.exe against the local provider and the simulated RAS service,
# driven with real key presses and clicks. Runs inside scripts/xvfb-session. Usage: scenarios.sh BUILD_DIR
set -uo pipefail
BUILD=$1 WORK="$1/tests/e2e-work"
# shellcheck source=session-lib.sh
source "$(dirname "$0")/session-lib.sh"
on_failure() {
  say "   the service: $(rasctl scenario 2>&1); $(rasctl list 2>&1 | tr '\n' ';')"
  shot "failed-$(echo "$current-$1" | tr -c 'A-Za-z0-9' '_')"
}
trap 'kill_program; provider_stop' EXIT
# The shell shows a balloon about 2 s after it is asked; "no balloon" waits longer.
balloon() { equals "$(probe balloon "$1")" "$(printf 'kelda_tx\n%s' "$2")"; }
leave() { check "the tray menu offers the exit" tray_exit; check "the program ends" wait_program_exit 15; }
start_shown() { start_program && check "the frame is shown" probe window "$CAPTION" 20000; }

prepare_program; forget_settings; provider --version "$VERSION"

scenario "1. first start without stored settings"
start_program
check "the frame is shown in the bottom-right corner" grep -q 'rect=[0-9]*,[0-9]*,1024,768' <(probe window "$CAPTION" 20000)
close_box # the frame covers the tray icon until it is hidden
check "the close box hides the frame" probe wait-hidden "$CAPTION" 2000
tray_click
check "a left click on the tray icon shows the frame again" probe window "$CAPTION" 2000

scenario "2. credentials typed, options set, connect pressed"
type_into login demo && type_into password demo2026
for role in autoconnect hideonstart button; do click_role $role; done
check "the window hides once connected" probe wait-hidden "$CAPTION" 5000
check "RasDialW was given the typed login and password" grep -qF '"Kelda" user="demo" password="demo2026"' <(rasctl list)
check "the tip shows the subscriber's balance" equals "$(tray_tip)" "Текущий баланс: 250.50"

scenario "3. exit through the tray menu"
leave
check "the program ends with code 1" equals "$PROGRAM_CODE" 1
check "the connection is hung up" equals "$(rasctl list)" ""
check "the credentials and both options are stored" equals "$(probe settings)" "login=demo password=demo2026 autoConnect=1 hideOnStart=1"

scenario "4. next start with both options set"
start_program
check "it dials at once" shows state "Соединено" 20
leave

scenario "5. the dial at start fails while the program sits in the tray"
for failure in "refused:The modem (or other connecting device) is already in use or is not configured properly." \
  "badauth:Access was denied because the username and/or password was invalid on the domain."; do
  rasctl scenario "${failure%%:*}" >/dev/null && start_program
  check "${failure%%:*}: a balloon tells why" balloon 28000 "$(printf 'Не удалось подключиться\n%s' "${failure#*:}")"
  check "${failure%%:*}: the frame stays hidden" fails probe window "$CAPTION" 500
  leave
done

scenario "6. provider down"
provider_stop
before=$(probe settings)
start_program
check "the start-up error is shown, and no frame" equals "$(probe startup-error "$CAPTION" 20000)" \
  "Нет связи с сервером. Попробуйте запустить программу позже."
wait_program_exit 10
check "the program ends with code 0, the stored settings untouched" equals "$PROGRAM_CODE $(probe settings)" "0 $before"

scenario "7. a refused login, the right password, a hang-up"
provider --version "$VERSION"; forget_settings; rasctl scenario badauth >/dev/null
start_shown
type_into login demo && type_into password wrong1 && click_role button
check "the dial fails with the service's error for 691" shows progress '*Access was denied*' 10
check "no balloon for a dial that failed under the user's eyes" fails probe balloon 3500
rasctl scenario success >/dev/null && click_role password && xdotool key End shift+Home type --delay 40 demo2026
click_role button
check "the second try connects" shows state "Соединено" 10
tray_click && click_role button
check "the button hangs up" shows state "Не соединено" 2
check "no balloon for the user's own hang-up" fails probe balloon 3500
click_role button
check "it connects again" shows state "Соединено" 10

scenario "8. the line dropped from outside"
rasctl drop Kelda >/dev/null
check "a balloon tells the line dropped" balloon 5000 "Соединение разорвано"
leave

scenario "9. exit during a dial, while the service is slow to release"
rasctl scenario slow >/dev/null && rasctl hangupdelay 1500 >/dev/null
start_shown && click_role button
check "the dial is under way" shows progress "Код состояния: 0*" 5
close_box # the frame covers the tray icon
leave
check "nothing is left in the service, not even a port being closed" equals "$(rasctl list)" ""
rasctl hangupdelay 200 >/dev/null && rasctl scenario success >/dev/null

scenario "10. a second start while the program runs in the tray"
start_shown
close_box
check "the close box hides the frame" probe wait-hidden "$CAPTION" 2000
check "the second copy ends with code 0" run_program "$RUN/kelda_tx.exe"
check "the running copy's frame is shown, in front" grep -q 'visible=1 iconic=0 foreground=1' <(probe window "$CAPTION" 2000)
summary
