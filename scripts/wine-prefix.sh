#!/usr/bin/env bash
# Makes a wine prefix where it is missing and trusts certificate authorities in it, in that
# prefix's own ROOT store (never in the machine's): TLS verification stays on and accepts the
# local services' certificates there only.
#
# Usage: scripts/wine-prefix.sh PREFIX TRUST_EXE [CA.pem ...]
#   TRUST_EXE  norvia_wine_trust.exe of the Windows build (it replaces an earlier CA of the
#              same name, so a prefix trusts the current test CA and no stale one)
set -euo pipefail

if [ $# -lt 2 ]; then
  echo "usage: $0 PREFIX TRUST_EXE [CA.pem ...]" >&2
  exit 2
fi
prefix="$1"
trust="$2"
shift 2
if ! command -v wine >/dev/null || ! command -v wineserver >/dev/null; then
  echo "wine-prefix.sh: wine is not installed; run scripts/install-deps.sh" >&2
  exit 127
fi
if [ ! -f "$trust" ]; then
  echo "wine-prefix.sh: no $trust (is the Windows build made?)" >&2
  exit 2
fi
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# The first boot of a prefix takes a while; a prefix whose boot did not finish is made anew.
ready="$prefix/.norvia-ready"
if [ ! -f "$ready" ]; then
  rm -rf "$prefix"
  mkdir -p "$prefix"
  wineboot --init >/dev/null 2>&1
  wineserver --wait
  touch "$ready"
fi

# The server keeps the registry (and so the trust) for its clients and writes it to the prefix's
# files when it ends. It and the service processes of wine are started without ties to the
# caller's output, which they would otherwise hold open for as long as they live.
if wineserver -p30 </dev/null >/dev/null 2>&1; then
  wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
fi
for ca in "$@"; do
  wine "$trust" <"$ca"
done
