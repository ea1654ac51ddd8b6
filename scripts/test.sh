#!/usr/bin/env bash
# Installs everything the tests need, builds Brimlet and runs every test:
# unit and widget tests offscreen and the end-to-end tests against the real
# binary on a fresh Xvfb per test; the Debian package, checked with
# dpkg-deb and lintian and run from a temporary root; the portable bundle,
# proven to run with the system's Qt hidden; then the whole suite again on
# a build with AddressSanitizer and UndefinedBehaviorSanitizer (in
# build-sanitize/).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
ctest --test-dir build --output-on-failure -j2

scripts/check-package.sh
scripts/bundle.sh
scripts/check-bundle.sh

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DBRIMLET_SANITIZE=ON -DBRIMLET_BENCH=OFF >/dev/null
cmake --build build-sanitize -j"$(nproc)"
# Qt and the libraries under it keep some allocations until exit: leaks are
# not checked, every other error ends the run. The test that runs Brimlet
# out of descriptors runs on the normal build only: the sanitizers' own
# checks need descriptors (UBSan probes memory through a pipe) and report
# errors that are not there in a process that has none left.
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j2 -E 'RunningOutOfDescriptors'
