#!/usr/bin/env bash
# Builds Brimlet and runs the micro-benchmarks of the capture path. The
# scratch files go to the system's temporary folder ($TMPDIR).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
exec build/bench/brimlet_bench "$@"
