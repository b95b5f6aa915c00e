# Shared by the *_bench.sh scripts that run the real program under Wine: the
# build's settings, a scratch folder holding a copy of kelda_tx.exe and the
# simulated RAS service (so no real RAS is touched), the local provider, and a
# clean-up that ends everything the benchmark started.
# Source it with BUILD (the build folder) and NAME (the benchmark's) set; it
# runs inside scripts/xvfb-session, as bench/run does.

SOURCE=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
RUN="$BUILD/wine-run"
TOOLS="$BUILD/bench"
WORK="$BUILD/bench/work/$NAME"
APP="$WORK/app"
PROBE="$BUILD/tests/probe.exe"
MINIMAL_CAPTION=minimal
export KELDA_DLL_OVERRIDES=rasapi32=n,b

die() { echo "$NAME: $*" >&2; exit 1; }
cache() { sed -n "s/^$1:[A-Z]*=//p" "$BUILD/CMakeCache.txt"; }

PORT=$(cache KELDA_SERVER_PORT)
VERSION=$(cache KELDA_VERSION)
CAPTION="kelda_tx $VERSION"
[ "$(cache KELDA_SERVER_ADDRESS)" = 127.0.0.1 ] || die "the build must talk to 127.0.0.1"
for f in "$BUILD/kelda_tx.exe" "$BUILD/tests/rasapi32.dll" "$PROBE" "$TOOLS/minimal_window.exe"; do
  [ -f "$f" ] || die "missing $f: build everything first"
done

# The path Wine's programs know a file by (drive Z: is the root).
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# A fresh copy of the program, nothing connected, no stored settings (so it
# neither dials at start nor starts hidden).
prepare_app() {
  rm -rf "$APP" && mkdir -p "$APP" || die "cannot make $APP"
  cp "$BUILD/kelda_tx.exe" "$BUILD/tests/rasapi32.dll" "$APP/"
  "$RUN" reg delete 'HKCU\Software\kelda\Quillon' /f </dev/null >/dev/null 2>&1 || true
}

# The local provider (nginx + php-fpm) serving the build's own version, so the
# start-up check goes on without an update.
start_provider() {
  bash "$SOURCE/scripts/provider" start "$WORK/provider" "$PORT" --version "$VERSION" >/dev/null ||
    die "the provider did not start on 127.0.0.1:$PORT (is the port taken?)"
}

# Runs one of the measuring tools of $TOOLS under Wine, bounded in time, with
# its output in Unix lines. Windows programs get no pipe of ours but the tool's own.
tool() {
  local bound=$1 name=$2
  shift 2
  (cd "$TOOLS" && set -o pipefail && timeout "$bound" "$RUN" "$name.exe" "$@" </dev/null | tr -d '\r')
}

# Everything this benchmark may have left running: the programs (asked to end
# through their windows first, then by process id: only processes whose command
# line names this benchmark's own files), the provider.
clean_up() {
  "$RUN" "$PROBE" close "$CAPTION" 5000 </dev/null >/dev/null 2>&1
  "$RUN" "$PROBE" close "$MINIMAL_CAPTION" 5000 </dev/null >/dev/null 2>&1
  local file line app tools
  app=$(windows_path "$APP") tools=$(windows_path "$TOOLS")
  for file in /proc/[0-9]*/cmdline; do
    line=$(tr '\0' ' ' 2>/dev/null <"$file") || continue
    case $line in
      *"$app"* | *"$APP/"* | *"$tools"*) kill "$(basename "$(dirname "$file")")" 2>/dev/null ;;
    esac
  done
  bash "$SOURCE/scripts/provider" stop "$WORK/provider" >/dev/null 2>&1
}

# "met" or "MISSED": is VALUE within the aim (VALUE <= LIMIT)? Ends the
# benchmark when VALUE is no number: its tool printed something unexpected.
verdict() {
  [[ $1 =~ ^-?[0-9]+(\.[0-9]+)?$ ]] || die "no figure to judge (got '$1')"
  awk -v v="$1" -v l="$2" 'BEGIN { print (v + 0 <= l + 0) ? "met" : "MISSED" }'
}
