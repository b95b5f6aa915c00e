#!/usr/bin/env bash
# release.zip (update_probe.txt and sub/x.dll, stored) signed by throwaway keys, provider/ and other/, each beside
# its signature; outside.zip has "..\x" between the two entries. Usage: make-signed-releases.sh DIR
set -euo pipefail
make_key="$(cd "$(dirname "$0")/../.." && pwd)/scripts/make-update-key"
rm -rf -- "$1" && mkdir -p -- "$1/stage/sub" && cd "$1"
printf 'signed contents' >stage/update_probe.txt && printf x >stage/sub/x.dll && printf evil >'stage/..\x'
(cd stage && zip -q -0 -X -D ../release.zip update_probe.txt sub/x.dll && zip -q -X -D ../outside.zip update_probe.txt '..\x' sub/x.dll)
for key in provider other; do
  bash "$make_key" $key >/dev/null && openssl dgst -sha256 -sign $key/update-key.pem -out release.zip.$key.sig release.zip
done
