#!/usr/bin/env bash
# Configures and builds everything into build/: the program (build/brimlet),
# its icons, the tests and the benchmarks.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRIMLET_TESTS=ON -DBRIMLET_BENCH=ON >/dev/null
cmake --build build -j"$(nproc)"
