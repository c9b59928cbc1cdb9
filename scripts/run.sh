#!/usr/bin/env bash
# Sets up, builds and starts the editor. It builds in build-run/, a folder of
# its own, so that a hand build in build/ keeps its own options.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build-run -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMMEDIT_TESTS=OFF -DMMEDIT_BENCH=OFF >/dev/null
cmake --build build-run -j"$(nproc)"
exec build-run/bin/mmedit "$@"
