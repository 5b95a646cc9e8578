#!/usr/bin/env bash
# The seeded chaos soak beyond the seeds the suite runs: the engine as the program runs it, with
# half of all storage connections harmed by the test proxy (tests/support/ChaosProxy). Prints each
# seed's end and, last, every failing seed; the log of a failing seed stays in build/soak/.
#
# Usage: scripts/soak.sh N            N more seeds (a fresh range each time)
#        scripts/soak.sh --seed S     replays seed S
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${NORVIA_BUILD_DIR:-$root/build}"

if [ "${1:-}" = "--seed" ] && [ -n "${2:-}" ]; then
  seeds=("$2")
elif [[ "${1:-}" =~ ^[0-9]+$ ]]; then
  first=$(( $(date +%s) % 1000000 * 100 + 100 ))
  seeds=($(seq "$first" $(( first + $1 - 1 ))))
else
  echo "usage: $0 N | $0 --seed S" >&2
  exit 2
fi

if [ ! -d "$build" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target norvia_reliability_tests >/dev/null
mkdir -p "$build/soak"

failed=()
for seed in "${seeds[@]}"; do
  log="$build/soak/seed-$seed.log"
  start=$(date +%s)
  if NORVIA_SOAK_SEEDS="$seed" "$build/tests/norvia_reliability_tests" \
      --gtest_filter='Seeds/ChaosSoak.*' >"$log" 2>&1; then
    echo "seed $seed: verified, setup started ($(( $(date +%s) - start )) s)"
    rm -f "$log"
  else
    echo "seed $seed: FAILED ($(( $(date +%s) - start )) s), log: $log"
    failed+=("$seed")
  fi
done

echo "soak: $(( ${#seeds[@]} - ${#failed[@]} )) passed, ${#failed[@]} failed"
if [ "${#failed[@]}" -gt 0 ]; then
  echo "failing seeds: ${failed[*]} (replay one with: $0 --seed S)"
  exit 1
fi
