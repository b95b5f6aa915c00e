#!/usr/bin/env bash
# The self-update from the local provider, with what scripts/publish-update made and signed: the
# build's program (no key) and the same version built with the key each update themselves; a later
# start removes the old copy; a release without the program restarts once.
# Runs inside scripts/xvfb-session. Usage: update_e2e.sh BUILD_DIR WORK_DIR
set -uo pipefail
BUILD=$1 WORK=$2
# shellcheck source=../e2e/session-lib.sh
source "$(dirname "$0")/../e2e/session-lib.sh"
APP="$WORK/app" KEYS="$WORK/keys" KEYED="$WORK/keyed-build" BAD=9.99 # a version nobody will build
: >"$LOG"

# A throwaway key pair kept with the build that trusts it (later runs rebuild nothing).
[ -f "$KEYS/update-key.pem" ] && [ -f "$KEYS/update-key.pub.pem" ] ||
  { rm -rf "$KEYS" && bash "$REPO/scripts/make-update-key" "$KEYS" >/dev/null; } || die "no key pair"
rm -rf "$WORK/published" && publish_next "$WORK/published" --sign "$KEYS/update-key.pem"
timeout 600 make -C "$REPO" --no-print-directory build ARCH="$ARCH" BUILD="$KEYED" KELDA_SERVER_ADDRESS=127.0.0.1 \
  KELDA_SERVER_PORT="$PORT" KELDA_VERSION="$VERSION" KELDA_UPDATE_KEY="$KEYS/update-key.pub.pem" TARGETS=kelda_tx \
  JOBS=2 >"$WORK/keyed-build.log" 2>&1 || die "building $VERSION with the key failed; see $WORK/keyed-build.log"

trap 'probe close "kelda_tx $NEW" 10000; probe close "$CAPTION" 10000; provider_stop' EXIT
provider --published "$WORK/published" || die "the provider did not start"
requests() { grep -c "GET /$1 " "$PROVIDER/logs/access.log"; }
fresh_app() { rm -rf "$APP" && mkdir -p "$APP" && cp "$1" "$APP/kelda_tx.exe"; }

# Version $VERSION as program $1 (that asks for $2 signatures) updates itself to $NEW.
for run in "$BUILD/kelda_tx.exe 0" "$KEYED/kelda_tx.exe 1"; do
  set -- $run
  scenario "$1"
  fresh_app "$1" && signatures=$(($(requests "kelda_tx_$NEW.zip.sig") + $2))
  check "version $VERSION ends with 0 after the update" run_program "$APP/kelda_tx.exe"
  check "the new program stands under the old name" cmp -s "$APP/kelda_tx.exe" "$NEXT/kelda_tx.exe"
  check "the new copy runs with the caption kelda_tx $NEW" probe exists "kelda_tx $NEW" 30000
  check "the new copy ends through the tray's exit" probe close "kelda_tx $NEW" 10000
  check "the signature was asked for $2 times" equals "$(requests "kelda_tx_$NEW.zip.sig")" "$signatures"
done

# A later start, the same version as the server's, carries on and removes "_kelda_*" beside it only.
cp "$1" "$APP/_kelda_tx.exe" && echo kept >"$APP/_readme.txt"
run_program "$APP/kelda_tx.exe" &
check "the next start shows kelda_tx $NEW" probe exists "kelda_tx $NEW" 30000
check "and removed _kelda_tx.exe, but kept _readme.txt" [ ! -e "$APP/_kelda_tx.exe" -a -e "$APP/_readme.txt" ]
check "the next start ends through the tray's exit" probe close "kelda_tx $NEW" 10000
wait

# $BAD's archive carries no kelda_tx.exe: $VERSION installs it and restarts once; the copy it
# starts does not install $BAD again and goes on, as the compatibility list allows.
scenario "a release without the program"
fresh_app "$BUILD/kelda_tx.exe" && echo "release notes" >"$WORK/notes.txt"
provider --version "$BAD" --compatible "$VERSION" --archive-from "$WORK/notes.txt" || die "the provider did not restart"
fetched=$(($(requests "kelda_tx_$BAD.zip") + 1))
check "version $VERSION ends with 0 after installing $BAD" run_program "$APP/kelda_tx.exe"
check "the copy it started goes on as $CAPTION" probe exists "$CAPTION" 30000
check "the archive of $BAD was fetched once" equals "$(requests "kelda_tx_$BAD.zip")" "$fetched"
check "the copy ends through the tray's exit" probe close "$CAPTION" 10000
summary
