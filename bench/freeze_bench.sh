#!/usr/bin/env bash
# The worst freeze of the window when the statistics server accepts and never
# answers: kelda_tx.exe starts against bench/stalling_provider.py (the manifest
# served normally, the first statistics query answered), then the provider is
# switched to stall statistics queries, and "Обновить статистику" is pressed
# PRESSES times; freeze_time measures how long the frame does not answer after
# each press. Aim: bounded as the network code chose, connect and receive
# time-outs of 10 s each (network/NetworkTimeouts.h): at most about 20 s.
# Usage: freeze_bench.sh BUILD_DIR [PRESSES, default 3]
set -uo pipefail
BUILD=$(cd "$1" && pwd)
PRESSES=${2:-3}
NAME=freeze
source "$(dirname "$0")/real_program.sh"

LOG="$WORK/stalling_provider.log"
FLAG="$WORK/stall"
LIFETIME=$((PRESSES * 25 + 120))   # the server ends by itself after this, in any case
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
# It switches the provider to stalling once the frame is shown, so the first
# statistics query, made while the frame is created, is answered.
tool "$LIFETIME" freeze_time "$CAPTION" "$PRESSES" "$(windows_path "$FLAG")" | tee "$out"
[ "${PIPESTATUS[0]}" -eq 0 ] || die "the measurement failed"

answered=$(grep -c '^/kelda_tools_info.php answered' "$LOG")
[ "$answered" -eq 1 ] || die "expected the start-up statistics query answered, the provider answered $answered"
stalled=$(grep -c '^/kelda_tools_info.php stalled' "$LOG")
[ "$stalled" -eq "$PRESSES" ] || die "expected $PRESSES stalled statistics queries, the provider saw $stalled"
echo "  the provider accepted and left unanswered each of the $stalled statistics queries"
worst=$(sed -n 's/^worst freeze .*: \([0-9.]*\) s$/\1/p' "$out")
judged=$(verdict "$worst" 20) || exit 1
echo "  aim: bounded by the connect and receive time-outs, at most about 20 s: $judged"
