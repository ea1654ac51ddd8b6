#!/usr/bin/env bash
# Builds Brimlet and measures it: the micro-benchmarks of the capture path,
# then Brimlet beside Debian's CopyQ under Xvfb (installed when missing).
# Writes the comparison to docs/performance.md. Takes about three minutes.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
missing=()
for p in copyq python3; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
QT_QPA_PLATFORM=offscreen build/bench/brimlet_bench
python3 bench/compare.py build/brimlet build/bench/brimlet_bench
