#!/usr/bin/env bash
# Throwaway key pairs (provider/, other/), a 2048-bit public key (weak.pub.pem), and release.zip
# (update_probe.txt and nowhere/x.txt, a folder the program's lacks) signed by each key, plus the
# provider's signature of another file. Usage: make-signed-releases.sh DIR
set -euo pipefail
SOURCE=$(cd "$(dirname "$0")/../.." && pwd)
dir=$1
rm -rf -- "$dir" && mkdir -p -- "$dir/stage/nowhere"
for key in provider other; do bash "$SOURCE/scripts/make-update-key" "$dir/$key" >/dev/null; done
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 2>/dev/null | openssl pkey -pubout -out "$dir/weak.pub.pem"
printf 'signed contents' >"$dir/stage/update_probe.txt"
printf 'x' >"$dir/stage/nowhere/x.txt"
(cd "$dir/stage" && zip -q -X -D ../release.zip update_probe.txt nowhere/x.txt)
printf 'another archive' >"$dir/another.zip"
sign() { openssl dgst -sha256 -sign "$dir/$1/update-key.pem" -out "$dir/$3" "$dir/$2"; }
sign provider release.zip release.zip.sig
sign other release.zip release.zip.other-key.sig
sign provider another.zip another.zip.sig
