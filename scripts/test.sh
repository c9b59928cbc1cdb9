#!/usr/bin/env bash
# Sets up, builds with warnings as errors and with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs the whole test suite under ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
dir=${MMEDIT_TEST_BUILD:-build-test}
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DMMEDIT_WERROR=ON -DMMEDIT_SANITIZE=ON \
      -DMMEDIT_TESTS=ON -DMMEDIT_BENCH=ON >/dev/null
cmake --build "$dir" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd "$dir" && ctest --output-on-failure -j"$(nproc)"
