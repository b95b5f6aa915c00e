#!/usr/bin/env bash
# The local provider as the dialer meets it: real nginx and php-fpm on 127.0.0.1,
# requests with the dialer's exact bytes, tokens built apart from the server's code.
# Usage: test_provider.sh [WORK_DIR]
set -uo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
PROVIDER="$HERE/../../scripts/provider"
PYTHON=$(command -v /usr/bin/python3 python3 | head -n1)
CLIENT=("$PYTHON" -B "$HERE/dialer_client.py")
WORK=${1:-$(mktemp -d)}
mkdir -p "$WORK" && WORK=$(cd "$WORK" && pwd)
DIR="$WORK/provider"
passed=0 failed=0

check() { # name, then a command that succeeds when the case holds
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $name" >&2; fi
}
fetch() { "${CLIENT[@]}" get "$PORT" "$1" "$WORK/body"; }
body_is() { [ "$(fetch "$1")" = 200 ] && cmp -s "$WORK/body" <(printf "$2"); }
status_of() { rm -f "$WORK/body"; fetch "$1"; }
token() { "${CLIENT[@]}" token "$1" "$2"; }
stats_path() { echo "/kelda_tools_info.php?a=$(token "$1" "$2")"; }
server_pids() {
  local f p
  for f in "$DIR/run/nginx.pid" "$DIR/run/php-fpm.pid"; do
    p=$(cat "$f" 2>/dev/null) || continue
    echo "$p"; pgrep -P "$p"
  done
}
none_alive() { # ended and not yet reaped counts as gone
  local p; for p in "$@"; do ps -o stat= -p "$p" 2>/dev/null | grep -qv Z && return 1; done; return 0
}
trap 'bash "$PROVIDER" stop "$DIR" >/dev/null 2>&1' EXIT

PORT=$("$PYTHON" -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
head -c 300000 /dev/urandom >"$WORK/kelda_tx.exe"

check "start" bash "$PROVIDER" start "$DIR" "$PORT" --version 1.08 --archive-from "$WORK/kelda_tx.exe" --compatible 1.06,1.07
check "manifest bytes" body_is /keldatx.txt 'version=1.08\r\nfile=/kelda_tx_1.08.zip\r\ncompabilitywith=1.06,1.07\r\n'
check "archive holds the file" bash -c '[ "$("$@")" = 200 ] && unzip -p "'"$WORK/body"'" kelda_tx.exe | cmp -s - "'"$WORK/kelda_tx.exe"'"' \
  _ "${CLIENT[@]}" get "$PORT" /kelda_tx_1.08.zip "$WORK/body"
check "demo subscriber" body_is "$(stats_path demo demo2026)" 'balance=250.50\r\n'
check "subscriber with a credit" body_is "$(stats_path debtor pass1234)" 'balance=-12.30\r\ncredit=100\r\n'

# A second start keeps the running servers and serves the new files.
long_login=subscriber.with.a.rather.long.login.name   # with ":" and the password: 52 characters, cut to 49
printf '%s\n' demo$'\t'demo2026$'\t'250.50 short$'\t'ab1$'\t'7.25$'\t'0 nopass$'\t'$'\t'1.00 \
  "$long_login"$'\t'secret12345$'\t'42.00 søren$'\t'pw10ÿû$'\t'3.14$'\t'-5 >"$WORK/accounts.txt"
pids_before=$(server_pids)
check "second start" bash "$PROVIDER" start "$DIR" "$PORT" --version 1.09 --accounts "$WORK/accounts.txt"
check "same servers" [ "$(server_pids)" = "$pids_before" ]
check "new manifest" body_is /keldatx.txt 'version=1.09\r\nfile=/kelda_tx_1.09.zip\r\n'
check "old archive gone" [ "$(status_of /kelda_tx_1.08.zip)" = 404 ]

# A folder as scripts/publish-update leaves it, served as it stands.
mkdir -p "$WORK/published"
printf 'version=2.00\r\nfile=/kelda_tx_2.00.zip\r\n' >"$WORK/published/keldatx.txt"
cp "$WORK/kelda_tx.exe" "$WORK/published/kelda_tx_2.00.zip"
check "published start" bash "$PROVIDER" start "$DIR" "$PORT" --published "$WORK/published" --accounts "$WORK/accounts.txt"
check "published manifest" body_is /keldatx.txt 'version=2.00\r\nfile=/kelda_tx_2.00.zip\r\n'
check "published archive" bash -c '[ "$("$@")" = 200 ] && cmp -s "'"$WORK/body"'" "'"$WORK/kelda_tx.exe"'"' \
  _ "${CLIENT[@]}" get "$PORT" /kelda_tx_2.00.zip "$WORK/body"

check "password under 9 characters" body_is "$(stats_path short ab1)" 'balance=7.25\r\n'
check "empty password" body_is "$(stats_path nopass '')" 'balance=1.00\r\n'
check "cut login:password" body_is "$(stats_path "$long_login" secret12345)" 'balance=42.00\r\n'
check "cut, wrong password" [ "$(status_of "$(stats_path "$long_login" Xecret12345)")" = 403 ]
check "token with + and /" bash -c '[[ $1 == *+* && $1 == */* ]]' _ "$(token søren pw10ÿû)"
check "+ and / arrive unchanged" body_is "$(stats_path søren pw10ÿû)" 'balance=3.14\r\ncredit=-5\r\n'
check "wrong password" [ "$(status_of "$(stats_path demo demo2027)")" = 403 ]
check "unknown subscriber" [ "$(status_of "$(stats_path nobody demo2026)")" = 403 ]
check "not Base64" [ "$(status_of '/kelda_tools_info.php?a=!!!!')" = 400 ]
no_colon=$("$PYTHON" -B -c 'import base64, sys; sys.path.insert(0, sys.argv[1]); import dialer_client as c
print(c.swapped(base64.b64encode(b"demo.demo2026").decode(), c.TOKEN_SWAPS))' "$HERE")
check "no colon" [ "$(status_of "/kelda_tools_info.php?a=$no_colon")" = 400 ]
check "no token" [ "$(status_of /kelda_tools_info.php)" = 400 ]
check "accounts not served" [ "$(status_of /accounts.txt)" = 404 ]

pids=$(server_pids)
check "stop" bash "$PROVIDER" stop "$DIR"
check "no process left" none_alive $pids
check "port closed" bash -c "! exec 3<>/dev/tcp/127.0.0.1/$PORT" 2>/dev/null
check "second stop" bash "$PROVIDER" stop "$DIR"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
