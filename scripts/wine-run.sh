#!/usr/bin/env bash
# Runs a Windows program under wine in the prefix $WINEPREFIX (made by scripts/wine-prefix.sh),
# without wine's own diagnostics and without its prompts for Mono and Gecko.
#
# With --hosts FILE the program sees FILE as /etc/hosts: the launcher makes a private mount
# namespace (root, or a user allowed to unshare) and bind-mounts FILE over /etc/hosts in it, so
# that test host names such as service.localhost resolve without touching the machine's own file.
#
# With --file-size-limit KIB the program meets a full disk: its writes past KIB KiB of a file fail
# (EFBIG) as they would on a disk without room.
#
# Usage: WINEPREFIX=PREFIX scripts/wine-run.sh [--hosts FILE] [--file-size-limit KIB] PROGRAM.exe [ARGUMENTS...]
# Exits with the program's exit status.
set -euo pipefail

usage="usage: WINEPREFIX=PREFIX $0 [--hosts FILE] [--file-size-limit KIB] PROGRAM.exe [ARGUMENTS...]"
hosts=""
size_limit=""
while [ $# -gt 0 ]; do
  case "$1" in
    --hosts) hosts="${2:?$usage}"; shift 2 ;;
    --file-size-limit) size_limit="${2:?$usage}"; shift 2 ;;
    *) break ;;
  esac
done
if [ $# -lt 1 ] || [ -z "${WINEPREFIX:-}" ]; then
  echo "$usage" >&2
  exit 2
fi
if ! command -v wine >/dev/null; then
  echo "wine-run.sh: wine is not installed; run scripts/install-deps.sh" >&2
  exit 127
fi
# The caller's overrides come after the scripts' own (a test may tell wine to prefer DLLs found
# beside the program, as Windows does).
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
# The wine server and the service processes the first program starts (services.exe, explorer...)
# would keep the caller's output open for as long as they live. Started here, without ties to
# it, they serve the programs of the next half minute; running ones are kept.
if wineserver -p30 </dev/null >/dev/null 2>&1; then
  wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
fi
if [ -n "$size_limit" ]; then
  # Only after the wine server runs, so that its own files (the prefix's registry) are not
  # limited; the program writes its files itself. Ignored, the limit's signal becomes an error.
  trap '' XFSZ
  ulimit -f "$size_limit"
fi

if [ -z "$hosts" ]; then
  exec wine "$@"
fi
if [ ! -f "$hosts" ]; then
  echo "wine-run.sh: no hosts file at $hosts" >&2
  exit 2
fi
# unshare makes the new namespace's mounts private, so the bind mount is seen by nobody else and
# ends with the program.
exec unshare --mount sh -c 'mount --bind "$0" /etc/hosts && exec wine "$@"' "$hosts" "$@"
