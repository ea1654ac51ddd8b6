#!/usr/bin/env bash
# Fuzzes the counter-file reader and the line reader with libFuzzer (clang,
# with AddressSanitizer and UndefinedBehaviorSanitizer) for SECONDS each
# (default 120). Needs Debian's clang and libclang-rt-14-dev.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-120}
for p in clang libclang-rt-14-dev qt6-base-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || {
    sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq clang libclang-rt-14-dev
    break
  }
done
out=build-fuzz
mkdir -p "$out"
flags="-std=c++17 -O1 -g -fPIC -fsanitize=fuzzer,address,undefined -Isrc $(pkg-config --cflags Qt6Core Qt6Gui)"
libs="$(pkg-config --libs Qt6Core)"
clang++ $flags tests/fuzz/CounterFileFuzz.cpp src/capture/CaptureStore.cpp src/host/RuntimeError.cpp \
  src/host/AtomicFile.cpp src/host/Files.cpp src/host/Picture.cpp $libs $(pkg-config --libs Qt6Gui) \
  -o "$out/counter_file_fuzz"
clang++ $flags tests/fuzz/LineReaderFuzz.cpp src/history/LineReader.cpp $libs -o "$out/line_reader_fuzz"
for target in counter_file_fuzz line_reader_fuzz; do
  mkdir -p "$out/corpus-$target"
  echo "== $target, ${seconds} s"
  "$out/$target" -max_total_time="$seconds" -timeout=5 -max_len=4096 -print_final_stats=1 \
    "$out/corpus-$target" 2>&1 | grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ +DONE|==.*ERROR)" || true
done
