#!/usr/bin/env bash
# Builds Brimlet and measures it on fresh Xvfb servers: the in-process
# micro-benchmarks, then first paint, capture latency, rapid copies, idle CPU
# and memory in an empty folder, one of 10,000 captures and a full one,
# beside a C reference capture, a minimal Qt program and Debian's CopyQ.
# Keeps the figures in docs/performance.json (Google Benchmark's own report in
# docs/performance-micro.json) and makes docs/performance.md from them and
# bench/targets.json; `python3 bench/report.py > docs/performance.md` remakes
# the report without measuring. Takes about four minutes; not part of the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
# The peer, what the C helpers in bench/ need to build, and Google
# Benchmark's compare tool (with the SciPy it needs, for Debian's python3).
packages=(copyq python3 libxcb-xfixes0-dev libxcb-damage0-dev libpng-dev
          libbenchmark-tools python3-scipy)
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
# The last record of the micro-benchmarks, to set the new one against.
previous=$(mktemp --suffix=.json)
trap 'rm -f "$previous"' EXIT
cp docs/performance-micro.json "$previous" 2>/dev/null || true
python3 bench/measure.py build docs/performance.json
# Capture on a Wayland desktop (sway): data-control beside the X11 path.
if command -v sway >/dev/null; then
  python3 bench/wayland.py build docs/performance-wayland.json || echo "(no Wayland figures)"
fi
python3 bench/report.py docs/performance.json bench/targets.json > docs/performance.md
cat docs/performance.md
# Only a record Google Benchmark wrote itself carries the CPU times its
# compare tool needs (the first, transcribed one does not).
if grep -q '"cpu_time"' "$previous"; then
  echo "Micro-benchmarks against the last record (Google Benchmark's compare.py):"
  /usr/bin/python3 /usr/share/benchmark/compare.py benchmarks "$previous" docs/performance-micro.json \
    || echo "(Google Benchmark's compare.py failed; the new record is kept)"
fi
