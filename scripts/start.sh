#!/usr/bin/env bash
# Builds Brimlet and starts it in run/, the default working folder (ignored
# by git): the captures and pikcounter.txt are written there.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
mkdir -p run
cd run
exec ../build/brimlet "$@"
