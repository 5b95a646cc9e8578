#!/usr/bin/env bash
# Signs a Windows program with osslsigncode: an Authenticode signature with SHA-256 digests and,
# when a time-stamping authority's URL is given, its RFC 3161 time-stamp, which keeps the
# signature valid after the certificate expires. scripts/release.sh calls it for the artefact.
#
# Usage: scripts/sign-windows.sh PROGRAM.exe CERT KEY [--timestamp URL]
#   CERT  the code-signing certificate, PEM, followed by any intermediate certificates
#   KEY   its private key, PEM (unencrypted, or set NORVIA_SIGNING_PASSWORD_FILE to a file with
#         the passphrase)
set -euo pipefail

usage="usage: $0 PROGRAM.exe CERT KEY [--timestamp URL]"
[ $# -eq 3 ] || [ $# -eq 5 ] || { echo "$usage" >&2; exit 2; }
program="$1" cert="$2" key="$3" timestamp=()
if [ $# -eq 5 ]; then
  [ "$4" = "--timestamp" ] || { echo "$usage" >&2; exit 2; }
  timestamp=(-ts "$5")
fi
for file in "$program" "$cert" "$key"; do
  [ -f "$file" ] || { echo "sign-windows.sh: $file not found" >&2; exit 2; }
done
command -v osslsigncode >/dev/null || {
  echo "sign-windows.sh: osslsigncode is missing; run scripts/install-deps.sh" >&2
  exit 1
}
password=()
[ -z "${NORVIA_SIGNING_PASSWORD_FILE:-}" ] || password=(-readpass "$NORVIA_SIGNING_PASSWORD_FILE")

# osslsigncode writes a new file; the program is replaced only by a complete signed copy.
signed="$program.signing"
trap 'rm -f "$signed"' EXIT
osslsigncode sign -certs "$cert" -key "$key" "${password[@]}" -h sha256 \
  -n "Norvia Download Manager" "${timestamp[@]}" -in "$program" -out "$signed" >/dev/null
chmod --reference="$program" "$signed"
mv -f "$signed" "$program"
