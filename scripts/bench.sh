#!/usr/bin/env bash
# Builds Brimlet and measures it on fresh Xvfb servers: the in-process
# micro-benchmarks, then first paint, capture latency, rapid copies, idle CPU
# and memory in an empty folder, one of 10,000 captures and a full one,
# beside a C reference capture, a minimal Qt program and Debian's CopyQ.
# Writes docs/performance.md. Takes about four minutes; not part of the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
# The peer, and what the C helpers in bench/ need to build.
packages=(copyq python3 libxcb-xfixes0-dev libxcb-damage0-dev libpng-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
scripts/build.sh
python3 bench/compare.py build
