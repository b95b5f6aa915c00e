#!/usr/bin/env bash
# The self-update end to end, with the real program under Wine and the local
# provider (nginx on 127.0.0.1) serving what scripts/publish-update made, signed:
# the build's own kelda_tx.exe (no key: it asks for no signature) and the same
# version built with the signing key's public half each find a newer version in
# the manifest, install the served archive over themselves, start the new copy
# and end; a later start removes the old copy that was moved aside; a release
# without the program restarts once.
# Runs inside scripts/xvfb-session (a display, the build's Wine prefix).
# Usage: update_e2e.sh BUILD_DIR WORK_DIR
set -uo pipefail
SOURCE=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "$1" && pwd)
mkdir -p "$2" && WORK=$(cd "$2" && pwd)
RUN="$BUILD/wine-run"
PROBE="$BUILD/tests/probe.exe"
MARKER=_kelda_updated.txt   # the note an update leaves for the copy it starts
APP="$WORK/app"
LOG="$WORK/wine.log"
passed=0 failed=0

cache() { sed -n "s/^$1:[A-Z]*=//p" "$BUILD/CMakeCache.txt"; }
check() { # name, then a command that succeeds when the case holds
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $name" >&2; return 1; fi
}
probe() { "$RUN" "$PROBE" "$@" </dev/null 2>>"$LOG"; }
# Windows programs get no pipe of ours: a copy started by the update outlives
# the command that started it and would keep a reader of that pipe waiting.
# A program stuck (in a message box, say) is ended after a minute.
program() { timeout 60 "$RUN" "$@" </dev/null >>"$LOG" 2>&1; }
# The update check's temporary files ("kel" + a number + ".tmp") in the prefix.
downloads() { find "${WINEPREFIX:-$BUILD/wineprefix}/drive_c/users" -iname 'kel*.tmp*' 2>/dev/null | sort; }

PORT=$(cache KELDA_SERVER_PORT)
OLD=$(cache KELDA_VERSION)
NEW=1.08
[ "$OLD" != "$NEW" ] || NEW=1.09
BAD=9.99
[ "$OLD" != "$BAD" ] || BAD=9.98
[ "$(cache KELDA_SERVER_ADDRESS)" = 127.0.0.1 ] || { echo "update_e2e: the build must talk to 127.0.0.1" >&2; exit 1; }
[ -f "$BUILD/kelda_tx.exe" ] && [ -f "$PROBE" ] || { echo "update_e2e: build $BUILD first" >&2; exit 1; }

# A throwaway signing key pair, kept with the build that trusts it.
KEYS="$WORK/keys"
if [ ! -f "$KEYS/update-key.pem" ] || [ ! -f "$KEYS/update-key.pub.pem" ]; then
  rm -rf "$KEYS" && bash "$SOURCE/scripts/make-update-key" "$KEYS" >/dev/null ||
    { echo "update_e2e: no key pair" >&2; exit 1; }
fi

# The next version, published and signed by the provider's own release command
# from this source, for this build's architecture and server, into a build
# folder shared with installer_e2e (only the program and its package are built;
# without a key of its own, as installer_e2e builds it); and this version with
# the key, into a folder of its own. Later runs rebuild nothing.
TOOLCHAIN=$(cache CMAKE_TOOLCHAIN_FILE)
ARCH=${TOOLCHAIN##*/mingw-}
ARCH=${ARCH%.cmake}
NEXT="$BUILD/next-version"
KEYED="$WORK/keyed-build"
PUBLISHED="$WORK/published"
[ -f "$SOURCE/cmake/mingw-$ARCH.cmake" ] || { echo "update_e2e: no architecture in $TOOLCHAIN" >&2; exit 1; }
rm -rf "$PUBLISHED"
ARCH=$ARCH BUILD=$NEXT KELDA_SERVER_ADDRESS=127.0.0.1 KELDA_SERVER_PORT=$PORT JOBS=2 \
  timeout 600 bash "$SOURCE/scripts/publish-update" "$NEW" "$PUBLISHED" --sign "$KEYS/update-key.pem" \
  >"$WORK/publish.log" 2>&1 || { echo "update_e2e: publishing version $NEW failed; see $WORK/publish.log" >&2; exit 1; }
timeout 600 make -C "$SOURCE" --no-print-directory build ARCH="$ARCH" BUILD="$KEYED" KELDA_SERVER_ADDRESS=127.0.0.1 \
  KELDA_SERVER_PORT="$PORT" KELDA_VERSION="$OLD" KELDA_UPDATE_KEY="$KEYS/update-key.pub.pem" TARGETS=kelda_tx JOBS=2 \
  >"$WORK/keyed-build.log" 2>&1 || { echo "update_e2e: building $OLD with the key failed; see $WORK/keyed-build.log" >&2; exit 1; }

stop_all() {
  probe close "kelda_tx $NEW" 10000 >/dev/null
  probe close "kelda_tx $OLD" 10000 >/dev/null
  bash "$SOURCE/scripts/provider" stop "$WORK/provider" >/dev/null 2>&1
}
trap stop_all EXIT

: >"$LOG"
bash "$SOURCE/scripts/provider" start "$WORK/provider" "$PORT" --published "$PUBLISHED" ||
  { echo "update_e2e: the provider did not start" >&2; exit 1; }
signature_requests() { grep -c "GET /kelda_tx_$NEW.zip.sig " "$WORK/provider/logs/access.log"; }

# The new copy's own start already removes "_kelda_*" once the old process has
# ended, so the moved-aside file is caught the moment it appears: a hard link
# keeps its contents whatever happens to the name afterwards.
watch_aside() {
  local i
  for ((i = 0; i < 3000; i++)); do
    ln "$APP/_kelda_tx.exe" "$WORK/aside" 2>/dev/null && return 0
    sleep 0.02
  done
  return 1
}

# Version $OLD as OLD_PROGRAM (that asks for SIGNATURES signatures) updates itself to $NEW.
update_to_new() {
  local old_program=$1 signatures=$2 code
  echo "-- $old_program"
  rm -rf "$APP" && mkdir -p "$APP"
  cp "$old_program" "$APP/kelda_tx.exe"
  rm -f "$WORK/aside"
  local downloads_before signatures_before
  downloads_before=$(downloads)
  signatures_before=$(signature_requests)
  watch_aside &
  local watcher=$!
  program "$APP/kelda_tx.exe"
  code=$?
  wait "$watcher"
  check "version $OLD ends with 0 after the update" [ "$code" -eq 0 ] ||
    { echo "exit code $code; windows:" >&2; probe list >&2; }
  check "the new program stands under the old name" cmp -s "$APP/kelda_tx.exe" "$NEXT/kelda_tx.exe"
  check "the old program was moved aside to _kelda_tx.exe" cmp -s "$WORK/aside" "$old_program"
  check "the new copy runs with the caption kelda_tx $NEW" probe exists "kelda_tx $NEW" 30000
  check "and took the update's note" [ ! -e "$APP/$MARKER" ]
  check "the new copy ends through the tray's exit" probe close "kelda_tx $NEW" 10000
  check "no download is left in the temporary folder" [ "$(downloads)" = "$downloads_before" ]
  check "the signature was asked for $signatures times" [ "$(signature_requests)" -eq $((signatures_before + signatures)) ]

  # A later start with the leftovers of an update in place: the same version as the
  # server's, so it carries on, and removes "_kelda_*" but no other "_" file.
  cp "$old_program" "$APP/_kelda_tx.exe"
  echo kept >"$APP/_readme.txt"
  program "$APP/kelda_tx.exe" &
  local next_start=$!
  check "the next start shows kelda_tx $NEW" probe exists "kelda_tx $NEW" 30000
  check "the next start removed _kelda_tx.exe" [ ! -e "$APP/_kelda_tx.exe" ]
  check "and kept _readme.txt" [ -e "$APP/_readme.txt" ]
  check "the next start ends through the tray's exit" probe close "kelda_tx $NEW" 10000
  wait "$next_start"
  check "with code 1" [ $? -eq 1 ]
}
update_to_new "$BUILD/kelda_tx.exe" 0
update_to_new "$KEYED/kelda_tx.exe" 1

# A bad release: the manifest offers $BAD, but its archive carries no kelda_tx.exe.
# Version $OLD installs it and restarts once; the copy it starts is still $OLD,
# does not install $BAD again and goes on, as the compatibility list allows.
archive_requests() { grep -c "GET /kelda_tx_$BAD.zip " "$WORK/provider/logs/access.log"; }
rm -rf "$APP" && mkdir -p "$APP"
cp "$BUILD/kelda_tx.exe" "$APP/kelda_tx.exe"
echo "release notes" >"$WORK/notes.txt"
bash "$SOURCE/scripts/provider" start "$WORK/provider" "$PORT" --version "$BAD" --compatible "$OLD" \
  --archive-from "$WORK/notes.txt" || { echo "update_e2e: the provider did not restart" >&2; exit 1; }
requests_before=$(archive_requests)
program "$APP/kelda_tx.exe"
check "version $OLD ends with 0 after installing $BAD" [ $? -eq 0 ]
check "the copy it started goes on as kelda_tx $OLD" probe exists "kelda_tx $OLD" 30000
check "the archive of $BAD was fetched once" [ "$(archive_requests)" -eq $((requests_before + 1)) ]
check "the release's file was installed" cmp -s "$APP/notes.txt" "$WORK/notes.txt"
check "the note is gone" [ ! -e "$APP/$MARKER" ]
check "the copy ends through the tray's exit" probe close "kelda_tx $OLD" 10000

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
