#!/usr/bin/env bash
# Proves that dist/brimlet/ runs on its own: every Qt library the program
# and its plugins load resolves inside the bundle, and the end-to-end
# capture tests pass against the bundle with the system's Qt libraries and
# plugins hidden (a private mount namespace with them covered).
set -euo pipefail
cd "$(dirname "$0")/.."
dist=$(pwd)/dist/brimlet
[ -x "$dist/brimlet" ] || { echo "no bundle: run scripts/bundle.sh" >&2; exit 1; }

fail=0
for elf in "$dist/bin/brimlet" "$dist"/plugins/*/*.so; do
  if ldd "$elf" | grep -q "not found"; then echo "unresolved in $elf:"; ldd "$elf" | grep "not found"; fail=1; fi
  outside=$(ldd "$elf" | awk '/libQt6/ { print $3 }' | xargs -r realpath | grep -v "^$dist/lib/" || true)
  if [ -n "$outside" ]; then echo "Qt from outside the bundle in $elf: $outside"; fail=1; fi
done
[ $fail -eq 0 ] || exit 1
echo "ldd: every Qt library resolves inside the bundle"

# In a mount namespace of its own, the system's Qt (libraries and plugins)
# is covered; the test programs take their Qt from the bundle too.
hide=$(mktemp)
trap 'rm -f "$hide"' EXIT
cat > "$hide" <<INNER
set -e
qtlibdir=/usr/lib/x86_64-linux-gnu
mount -t tmpfs tmpfs "\$qtlibdir/qt6"
for lib in "\$qtlibdir"/libQt6*.so*; do [ -L "\$lib" ] || mount --bind /dev/null "\$lib"; done
# The system's build of the program can no longer load its Qt.
if env -u LD_LIBRARY_PATH ldd "$(pwd)/build/brimlet" 2>&1 | grep -q 'libQt6.*file too short'; then
  echo "system Qt hidden"
else
  echo "system Qt still visible" >&2; exit 1
fi
export LD_LIBRARY_PATH="$dist/lib"
export BRIMLET_BINARY="$dist/brimlet"
export QT_PLUGIN_PATH="$dist/plugins"
"$(pwd)/build/tests/brimlet_e2e" --gtest_filter='CaptureE2E.*:CommandLineE2E.*'
INNER
if [ "$(id -u)" -eq 0 ]; then
  unshare --mount --propagation private bash "$hide"
else
  unshare --map-root-user --mount --propagation private bash "$hide"
fi
