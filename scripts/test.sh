#!/usr/bin/env bash
# Installs what is missing, builds everything into build/ and runs every test through CTest.
#
# The plain run also cross-builds the Windows engine into build/windows and runs its tests
# (CTest names "Windows.") under wine. With --sanitize it runs the sanitizer builds instead (CI
# runs it after the plain suite); they leave the Windows build out, since the sanitizers do not
# apply to it:
#   build-asan/  everything with AddressSanitizer and UndefinedBehaviorSanitizer, whole suite
#   build-tsan/  the Core, Platform, DownloadSystem and Reliability (fault matrix) suites with
#                ThreadSanitizer
# Any sanitizer report fails the run. Suppressions for third-party libraries live in
# scripts/sanitizers/.
#
# Usage: scripts/test.sh [--sanitize] [ctest arguments...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

sanitize=0
if [ "${1:-}" = "--sanitize" ]; then
  sanitize=1
  shift
fi

scripts/install-deps.sh
jobs="$(nproc)"

if [ "$sanitize" -eq 0 ]; then
  build="${NORVIA_BUILD_DIR:-$root/build}"
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j"$jobs"
  cd "$build"
  ctest --output-on-failure -j"$jobs" "$@"
  exit 0
fi

supp="$root/scripts/sanitizers"
glTeardown="^UiRendererTest\\."
elapsed() { echo "$(( $(date +%s) - $1 )) s"; }

# [SECTION] AddressSanitizer and UndefinedBehaviorSanitizer over the whole suite
start=$(date +%s)
asan="$root/build-asan"
cmake -S "$root" -B "$asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNORVIA_SANITIZE=address,undefined \
  -DNORVIA_BUILD_WINDOWS=OFF >/dev/null
cmake --build "$asan" -j"$jobs"
echo "ASan+UBSan build: $(elapsed "$start")"
start=$(date +%s)
failed=0
(
  cd "$asan"
  # The programs the tests start (the download manager, the demo services) inherit these.
  export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=0:strict_init_order=1"
  export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$supp/ubsan.supp"
  # The renderer tests tear down GL contexts, whose software driver is unloaded before the leak
  # check: its left-overs then have no stack to match a suppression against. They run with every
  # check but the leak check.
  status=0
  ctest --output-on-failure -j"$jobs" -E "$glTeardown" "$@" || status=$?
  ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0" ctest --output-on-failure -j"$jobs" -R "$glTeardown" "$@" || status=$?
  exit "$status"
) || failed=1
echo "ASan+UBSan tests: $(elapsed "$start")"

# [SECTION] ThreadSanitizer over the engine, the transfer workers, what they stand on, and the
# fault matrix that drives them
start=$(date +%s)
tsan="$root/build-tsan"
suites=(norvia_core_tests norvia_platform_tests norvia_downloadsystem_tests norvia_reliability_tests)
cmake -S "$root" -B "$tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNORVIA_SANITIZE=thread -DNORVIA_BUILD_WINDOWS=OFF \
  >/dev/null
cmake --build "$tsan" -j"$jobs" --target "${suites[@]}"
echo "TSan build: $(elapsed "$start")"
start=$(date +%s)
# The byte-buffer tests ask for impossible sizes on purpose and expect a null answer.
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:allocator_may_return_null=1:suppressions=$supp/tsan.supp"
# Kernels with many bits of mmap randomness break ThreadSanitizer's memory layout; a process
# without address randomisation always fits.
norandom=()
if setarch "$(uname -m)" -R true 2>/dev/null; then
  norandom=(setarch "$(uname -m)" -R)
fi
for suite in "${suites[@]}"; do
  echo "== $suite (ThreadSanitizer)"
  (cd "$tsan/tests" && "${norandom[@]}" "./$suite" --gtest_brief=1) || failed=1
done
echo "TSan tests: $(elapsed "$start")"
exit "$failed"
