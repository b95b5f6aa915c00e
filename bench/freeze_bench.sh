#!/usr/bin/env bash
# The worst freeze of the window when the statistics server holds the query:
# kelda_tx.exe starts against bench/stalling_provider.py (the manifest served
# normally, the first statistics query answered), then the provider is switched
# to hold statistics queries (in turn: silence, a header trickling in one byte a
# second, a body trickling in one byte a second), and "Обновить статистику" is
# pressed PRESSES times; freeze_time measures how long the frame does not
# answer after each press. Aim: no longer than the network code's bound on a
# whole statistics exchange, 20 s (network/DownloadLimits.h), whatever the server does.
# Usage: freeze_bench.sh BUILD_DIR [PRESSES, default 3]
set -uo pipefail
BUILD=$(cd "$1" && pwd)
PRESSES=${2:-3}
NAME=freeze
source "$(dirname "$0")/real_program.sh"

LOG="$WORK/stalling_provider.log"
FLAG="$WORK/stall"
LIFETIME=$((PRESSES * 30 + 120))   # the server ends by itself after this, in any case
server=
stop_all() {
  clean_up
  [ -z "$server" ] || kill "$server" 2>/dev/null
}
trap stop_all EXIT

prepare_app
rm -f "$LOG" "$FLAG"
python3 "$SOURCE/bench/stalling_provider.py" "$PORT" "$VERSION" "$FLAG" "$LOG" "$LIFETIME" </dev/null &
server=$!
for _ in $(seq 1 50); do
  (exec 3<>"/dev/tcp/127.0.0.1/$PORT") 2>/dev/null && break
  kill -0 "$server" 2>/dev/null || die "the stalling provider did not start on 127.0.0.1:$PORT (is the port taken?)"
  sleep 0.1
done
(exec 3<>"/dev/tcp/127.0.0.1/$PORT") 2>/dev/null || die "the stalling provider does not answer on 127.0.0.1:$PORT"

timeout "$LIFETIME" "$RUN" "$APP/kelda_tx.exe" </dev/null >/dev/null 2>&1 &
out="$WORK/freeze_time.out"
# It switches the provider to holding once the frame is shown, so the first
# statistics query, made while the frame is created, is answered.
tool "$LIFETIME" freeze_time "$CAPTION" "$PRESSES" "$(windows_path "$FLAG")" | tee "$out"
[ "${PIPESTATUS[0]}" -eq 0 ] || die "the measurement failed"

answered=$(grep -c '^/kelda_tools_info.php answered' "$LOG")
[ "$answered" -eq 1 ] || die "expected the start-up statistics query answered, the provider answered $answered"
held=$(grep -c '^/kelda_tools_info.php \(silent\|trickled\)' "$LOG")
[ "$held" -eq "$PRESSES" ] || die "expected $PRESSES held statistics queries, the provider saw $held"
holds=$(sed -n 's#^/kelda_tools_info.php \(silent\|trickled .*\)$#\1#p' "$LOG" | paste -sd, - | sed 's/,/, /g')
echo "  the provider held each of the $held statistics queries: $holds"
worst=$(sed -n 's/^worst freeze .*: \([0-9.]*\) s$/\1/p' "$out")
judged=$(verdict "$worst" 20.5) || exit 1
echo "  aim: no longer than the bound on a whole statistics exchange, 20 s: $judged"
