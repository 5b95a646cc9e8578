#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer, the
# libraries instrumented too) into build-fuzz/ and runs each for a given time or number of runs.
# The committed seeds in fuzz/corpus/<target> are read, never written; what a run learns goes to
# build-fuzz/corpus/<target>, and a finding is written to build-fuzz/findings/<target>/.
#
# Usage: scripts/fuzz.sh [-t seconds | -r runs] [-j jobs] [target...]
#   -t seconds  time per target (default 60)
#   -r runs     executions per target instead of a time
#   -j jobs     targets run at once (default 1)
# Prints one line per target: name, executions, seconds, result.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

seconds=60
runs=""
jobs=1
while getopts "t:r:j:" option; do
  case "$option" in
    t) seconds="$OPTARG" ;;
    r) runs="$OPTARG" ;;
    j) jobs="$OPTARG" ;;
    *) echo "usage: $0 [-t seconds | -r runs] [-j jobs] [target...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))

command -v clang++ >/dev/null || { echo "clang++ is missing; scripts/install-deps.sh installs it" >&2; exit 1; }

build="${NORVIA_FUZZ_BUILD_DIR:-$root/build-fuzz}"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DNORVIA_BUILD_FUZZ=ON -DNORVIA_BUILD_TESTS=OFF \
  -DNORVIA_SANITIZE="fuzzer-no-link,address,undefined" >/dev/null

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in fuzz/fuzz_*.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" >/dev/null

run_one() {
  local target="$1"
  local work="$build/corpus/$target" findings="$build/findings/$target" log="$build/logs/$target.log"
  mkdir -p "$work" "$findings" "$(dirname "$log")"
  local limit=(-max_total_time="$seconds")
  [ -n "$runs" ] && limit=(-runs="$runs")
  local start end status=0
  start=$(date +%s)
  "$build/fuzz/$target" "${limit[@]}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$work" "fuzz/corpus/$target" >"$log" 2>&1 || status=$?
  end=$(date +%s)
  local executions
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  local result="ok"
  [ "$status" -ne 0 ] && result="FINDING (see $log and $findings)"
  printf '%-24s %12s executions %6s s  %s\n' "$target" "${executions:-?}" "$((end - start))" "$result"
  return "$status"
}

failed=0
running=0
for target in "${targets[@]}"; do
  run_one "$target" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
done
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
exit "$failed"
