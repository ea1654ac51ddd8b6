#!/usr/bin/env bash
# Builds Brimlet and runs every test: unit and widget tests offscreen, the
# end-to-end tests against the real binary on a fresh Xvfb per test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
ctest --test-dir build --output-on-failure -j2
