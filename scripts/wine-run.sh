#!/usr/bin/env bash
# Runs a Windows program under wine in the prefix $WINEPREFIX (made by scripts/wine-prefix.sh),
# without wine's own diagnostics and without its prompts for Mono and Gecko.
#
# With --hosts FILE the program sees FILE as /etc/hosts: the launcher makes a private mount
# namespace (root, or a user allowed to unshare) and bind-mounts FILE over /etc/hosts in it, so
# that test host names such as service.localhost resolve without touching the machine's own file.
#
# Usage: WINEPREFIX=PREFIX scripts/wine-run.sh [--hosts FILE] PROGRAM.exe [ARGUMENTS...]
# Exits with the program's exit status.
set -euo pipefail

hosts=""
if [ "${1:-}" = "--hosts" ]; then
  hosts="$2"
  shift 2
fi
if [ $# -lt 1 ] || [ -z "${WINEPREFIX:-}" ]; then
  echo "usage: WINEPREFIX=PREFIX $0 [--hosts FILE] PROGRAM.exe [ARGUMENTS...]" >&2
  exit 2
fi
if ! command -v wine >/dev/null; then
  echo "wine-run.sh: wine is not installed; run scripts/install-deps.sh" >&2
  exit 127
fi
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# The wine server and the service processes the first program starts (services.exe, explorer...)
# would keep the caller's output open for as long as they live. Started here, without ties to
# it, they serve the programs of the next half minute; running ones are kept.
if wineserver -p30 </dev/null >/dev/null 2>&1; then
  wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
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
