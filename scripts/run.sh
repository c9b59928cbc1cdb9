#!/usr/bin/env bash
# Sets up, builds and starts the editor.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMMEDIT_TESTS=OFF -DMMEDIT_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)"
exec build/bin/mmedit "$@"
