#!/usr/bin/env bash
# The world of the Windows tests, made before they run (the CTest fixture Windows.Prefix): a
# fresh test PKI, the hosts file that maps the test host names to loopback, and the wine prefix
# that trusts the PKI's CA.
#
# Usage: prepare-wine.sh PREFIX TRUST_EXE MAKE_PKI PKI_FOLDER HOSTS_FILE
set -euo pipefail
prefix="$1" trust="$2" makePki="$3" pki="$4" hosts="$5"
root="$(cd "$(dirname "$0")/../.." && pwd)"

"$makePki" "$pki"
{
  cat /etc/hosts
  echo "127.0.0.1 localhost service.localhost storage.localhost content.localhost support.localhost"
  echo "127.0.0.1 product-download-storage-v2.localhost elsewhere.localhost"
} >"$hosts"
"$root/scripts/wine-prefix.sh" "$prefix" "$trust" "$pki/trusted/ca.pem"
