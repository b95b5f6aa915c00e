#!/usr/bin/env bash
# Start to frame shown: the real kelda_tx.exe, with the local provider up and
# serving the build's own version (so every start fetches the manifest, goes on,
# and its balance display queries the statistics script once before the frame
# shows), next to bench/MinimalWindow.cpp, a program that only shows a plain
# 330 x 255 window. Both under Wine in the same session and prefix, started
# from one Windows process that polls every 2 ms for the shown window,
# alternating; the medians of RUNS starts each. Aim: within 1.3 times.
# Usage: startup_bench.sh BUILD_DIR [RUNS, default 11]
set -uo pipefail
BUILD=$(cd "$1" && pwd)
RUNS=${2:-11}
NAME=startup
source "$(dirname "$0")/real_program.sh"
trap clean_up EXIT

prepare_app
start_provider
log="$WORK/provider/logs/access.log"
before=$(wc -l <"$log")
out=$(tool 600 startup_time "$RUNS" "$(windows_path "$APP/kelda_tx.exe")" "$CAPTION" \
  "$(windows_path "$TOOLS/minimal_window.exe")" "$MINIMAL_CAPTION") || { echo "$out"; die "the measurement failed"; }
echo "$out"

# Every counted start did the network work a real start does (one uncounted warm-up start too).
starts=$((RUNS + 1))
manifests=$(tail -n +$((before + 1)) "$log" | grep -c '"GET /keldatx.txt ')
queries=$(tail -n +$((before + 1)) "$log" | grep -c '"GET /kelda_tools_info.php?a=')
[ "$manifests" -eq "$starts" ] && [ "$queries" -eq "$starts" ] ||
  die "expected $starts manifest and statistics requests, the provider saw $manifests and $queries"
echo "  each of the $starts starts fetched /keldatx.txt and queried /kelda_tools_info.php from the provider"
ratio=$(sed -n 's/^ *ratio \([0-9][0-9.]*\)$/\1/p' <<<"$out")
judged=$(verdict "$ratio" 1.3) || exit 1
echo "  aim: within 1.3 times the minimal window program (medians): $judged"
