#!/usr/bin/env bash
# Sets up, checks the formatting, builds with warnings as errors and with
# AddressSanitizer (leak detection included) and UndefinedBehaviorSanitizer,
# and runs the whole test suite under ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/setup.sh

# A formatting fault fails the run too, but only at the end, so that one run
# also reports on the build and the tests.
format_status=0
scripts/check-format.sh || format_status=$?

# Set before building as well: gtest_discover_tests runs each test program
# once at build time to list its tests.
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
# tests/lsan.supp lists what Qt and the system libraries under it keep for the
# whole life of the process; everything else still counts as a leak.
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

dir=${MMEDIT_TEST_BUILD:-build-test}
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DMMEDIT_WERROR=ON -DMMEDIT_SANITIZE=ON \
      -DMMEDIT_TESTS=ON -DMMEDIT_BENCH=ON >/dev/null
cmake --build "$dir" -j"$(nproc)"

test_status=0
(cd "$dir" && ctest --output-on-failure -j"$(nproc)") || test_status=$?

if [ "$format_status" -ne 0 ]; then
  echo "scripts/check-format.sh failed: some files are not formatted (see above)." >&2
  exit 1
fi
exit "$test_status"
