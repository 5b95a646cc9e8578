#!/usr/bin/env bash
# Makes what users receive: the Windows program, optimised and without debug information, with its
# icon, manifest and version information, as dist/NorviaDownloadManager.exe, and its checksum in
# sha256sum's format as dist/NorviaDownloadManager.exe.sha256. Signed when a certificate is given
# (scripts/sign-windows.sh), otherwise left unsigned, and the script says so.
#
# The program comes from the Windows cross build that the tests use (build/windows, configured by
# the Linux build); its link step also writes the stripped copy this script ships, so a release
# costs no second build.
#
# Usage: scripts/release.sh [--sign CERT KEY [--timestamp URL]]
#   --sign CERT KEY    sign with this code-signing certificate (PEM) and its private key (PEM)
#   --timestamp URL    add an RFC 3161 time-stamp from this time-stamping authority
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

cert="" key="" timestamp=""
while [ $# -gt 0 ]; do
  case "$1" in
    --sign) cert="${2:?--sign needs CERT and KEY}"; key="${3:?--sign needs CERT and KEY}"; shift 2 ;;
    --timestamp) timestamp="${2:?--timestamp needs a URL}"; shift ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) echo "release.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done
if [ -n "$timestamp" ] && [ -z "$cert" ]; then
  echo "release.sh: --timestamp needs --sign" >&2
  exit 2
fi

scripts/install-deps.sh
build="${NORVIA_BUILD_DIR:-$root/build}"
jobs="$(nproc)"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$jobs" --target norvia_windows-configure
cmake --build "$build/windows" -j"$jobs" --target NorviaDownloadManager

dist="$root/dist"
artefact="$dist/NorviaDownloadManager.exe"
mkdir -p "$dist"
rm -f "$artefact" "$artefact.sha256"
cp "$build/windows/release/NorviaDownloadManager.exe" "$artefact"
if [ -n "$cert" ]; then
  scripts/sign-windows.sh "$artefact" "$cert" "$key" ${timestamp:+--timestamp "$timestamp"}
  echo "Signed with $cert${timestamp:+, time-stamped by $timestamp}."
else
  echo "UNSIGNED: no certificate given (--sign CERT KEY); Windows will warn users who start it."
fi

limit=$((3 * 1024 * 1024))
size="$(stat -c %s "$artefact")"
if [ "$size" -gt "$limit" ]; then
  echo "release.sh: $artefact is $size bytes, more than 3 MiB" >&2
  exit 1
fi
(cd "$dist" && sha256sum NorviaDownloadManager.exe >NorviaDownloadManager.exe.sha256)
echo "Wrote $artefact ($size bytes) and its .sha256"
