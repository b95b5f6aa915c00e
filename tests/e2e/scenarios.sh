#!/usr/bin/env bash
# Scenarios of the real kelda_tx.exe against the local provider and the simulated RAS service, driven with
# real key presses and clicks. Runs inside scripts/xvfb-session. Usage: scenarios.sh BUILD_DIR
set -uo pipefail
BUILD=$1 WORK="$1/tests/e2e-work"
# shellcheck source=session-lib.sh
source "$(dirname "$0")/session-lib.sh"
trap 'kill_program; provider_stop' EXIT
# The shell shows a balloon about 2 s after it is asked; "no balloon" waits longer.
balloon() { equals "$(probe balloon "$1")" "$(printf 'kelda_tx\n%s' "$2")"; }
leave() { check "the tray menu offers the exit" tray_exit; check "the program ends" wait_program_exit 15; }
start_shown() { start_program && check "the frame is shown" probe window "$CAPTION" 20000; }
prepare_program; forget_settings; provider --version "$VERSION"

scenario "1. first start without stored settings: credentials typed, options set, connect pressed"
start_program
check "the frame is shown in the bottom-right corner" grep -q 'rect=[0-9]*,[0-9]*,1024,768' <(probe window "$CAPTION" 20000)
type_into login demo && type_into password demo2026
for role in autoconnect hideonstart button; do click_role $role; done
check "the window hides once connected" probe wait-hidden "$CAPTION" 5000
check "RasDialW was given the typed login and password" grep -qF '"Kelda" user="demo" password="demo2026"' <(rasctl list)
check "the tray's tip shows the subscriber's balance" equals "$(tray_tip)" "Текущий баланс: 250.50"

scenario "2. exit through the tray menu"
leave
check "the program ends with code 1, the connection hung up" equals "$PROGRAM_CODE $(rasctl list)" "1 "
check "the credentials and both options are stored" equals "$(probe settings)" "login=demo password=demo2026 autoConnect=1 hideOnStart=1"

scenario "3. the dial at the next start is refused while the program sits in the tray"
rasctl scenario refused >/dev/null && start_program
check "a balloon tells why" balloon 28000 "Не удалось подключиться
The modem (or other connecting device) is already in use or is not configured properly."
check "the frame stays hidden" fails probe window "$CAPTION" 500
leave

scenario "4. provider down"
provider_stop
before=$(probe settings) BOX="Ошибка инициализации приложения"
start_program
check "the start-up error says so, in a box of its own" \
  equals "$(probe window "$BOX" 20000 >/dev/null && probe text "$BOX" message)" "Нет связи с сервером. Попробуйте запустить программу позже."
click_role ok "$BOX" && wait_program_exit 10
check "its button ends the program with code 0, the stored settings untouched" equals "$PROGRAM_CODE $(probe settings)" "0 $before"

scenario "5. a dial refused under the user's eyes, the next one, a hang-up, a line dropped"
provider --version "$VERSION"; forget_settings; rasctl scenario badauth >/dev/null
start_shown
type_into login demo && type_into password demo2026 && click_role button
check "the dial fails with the service's error for 691" shows progress '*Access was denied*' 10
check "no balloon for a dial that failed under the user's eyes" fails probe balloon 3500
rasctl scenario success >/dev/null && click_role button
check "the next try connects" shows state "Соединено" 10
tray_click && click_role button
check "the button hangs up" shows state "Не соединено" 2
check "no balloon for the user's own hang-up" fails probe balloon 3500
click_role button
check "it connects again" shows state "Соединено" 10
rasctl drop Kelda >/dev/null
check "a balloon tells the line dropped from outside" balloon 5000 "Соединение разорвано"
leave

scenario "6. a second start while the program runs in the tray"
start_shown
close_box
check "the close box hides the frame" probe wait-hidden "$CAPTION" 2000
check "the second copy ends with code 0" run_program "$RUN/kelda_tx.exe"
check "the running copy's frame is shown, in front" grep -q 'visible=1 iconic=0 foreground=1' <(probe window "$CAPTION" 2000)

scenario "7. with Автоподключение a dropped line comes back by itself"
click_role autoconnect && click_role button
check "it connects" shows state "Соединено" 10
rasctl drop Kelda >/dev/null
check "the wait counts down in the progress line" shows progress 'Повторное подключение через [1-5] с' 3
check "the line is up again within 20 s of the drop" shows state "Соединено" 18
# The balloon about the drop may still be up.
check "a balloon tells it came back" within 10 balloon 1000 "Соединение восстановлено"
leave

scenario "8. the statistics script never answers"
kill_program; forget_settings  # no credentials: the account with an empty login
printf '\t\tsilent\n' >"$WORK/silent-accounts.txt" && provider --version "$VERSION" --accounts "$WORK/silent-accounts.txt"
start_shown
click_role refresh
check "the frame answers meanwhile" shows state "Не соединено" 1
check "the tray's exit ends it within 3 s" probe close "$CAPTION" 3000
wait_program_exit 2; check "with code 1" equals "$PROGRAM_CODE" 1

scenario "9. an update whose archive trickles: its window, a second start, Отмена, the compatible version's frame"
UPDATE="Обновление kelda_tx"
head -c 300000 /dev/urandom >"$WORK/slow.bin" && before=$(ls "$RUN"; md5sum <"$RUN/kelda_tx.exe")
provider --version "$NEW" --compatible "$VERSION" --archive-from "$WORK/slow.bin" --archive-rate 4096
start_program
check "the update window appears" grep -q 'visible=1 iconic=0' <(probe window "$UPDATE" 5000)
check "it shows the archive coming" within 5 eval '[[ $(probe text "$UPDATE" message) == "Загрузка обновления: "[1-9]*" КБ из 29"?" КБ" ]]'
check "a second start ends with code 0" run_program "$RUN/kelda_tx.exe"
check "the update window is in front" grep -q 'visible=1 iconic=0 foreground=1' <(probe window "$UPDATE" 2000)
click_role cancel "$UPDATE"
check "Отмена: the compatible version's frame comes" probe window "$CAPTION" 20000
check "the update window is gone" fails probe exists "$UPDATE" 300
check "the program's folder as it was" equals "$(ls "$RUN"; md5sum <"$RUN/kelda_tx.exe")" "$before"
check "the tray's exit ends it" probe close "$CAPTION" 5000  # the shown frame covers the tray
provider --version "$VERSION"
summary
