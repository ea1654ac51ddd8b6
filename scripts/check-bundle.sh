#!/usr/bin/env bash
# Proves that dist/brimlet/ runs on its own: every Qt library the program
# and its plugins load resolves inside the bundle, and the end-to-end
# capture tests pass against the bundle with the system's Qt libraries and
# plugins hidden (a private mount namespace with them covered). Checks too
# that every program and library in it is stripped, that the icons are
# there at every size, that the archive holds the bundle, and that the
# desktop entry starts the bundle's own launcher, which then captures into
# ~/Brimlet (made when missing).
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

for elf in "$dist/bin/brimlet" "$dist"/plugins/*/*.so "$dist"/lib/*.so*; do
  file -L "$elf" | grep -q ', stripped' || { echo "not stripped: $elf"; fail=1; }
done
for size in 16 32 48 128 256; do
  icon="$dist/share/icons/hicolor/${size}x${size}/apps/brimlet.png"
  file "$icon" | grep -q "PNG image data, $size x $size," || { echo "no ${size}px icon: $icon"; fail=1; }
done
version=$("$dist/brimlet" --version | cut -d' ' -f2)
archive=$(pwd)/dist/brimlet-$version-linux-x86_64.tar.xz
tar -tJf "$archive" | grep -cx 'brimlet/bin/brimlet' >/dev/null || { echo "the archive lacks the program"; fail=1; }
[ $fail -eq 0 ] || exit 1
echo "stripped; icons at 16 to 256 px; $(basename "$archive") holds the bundle"
echo "sizes: bundle $(du -sh "$dist" | cut -f1), archive $(du -h "$archive" | cut -f1), program $(du -h "$dist/bin/brimlet" | cut -f1)"

# The desktop entry runs the launcher by its full path; started so, from a
# folder that is not the user's choice, Brimlet captures into ~/Brimlet.
entry="$dist/share/applications/brimlet.desktop"
launcher=$(sed -n 's/^Exec="\(.*\)" --from-menu$/\1/p' "$entry")
[ "$launcher" = "$dist/brimlet" ] || { echo "the desktop entry does not run $dist/brimlet: $(grep ^Exec= "$entry")"; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
Xvfb -displayfd 3 -nolisten tcp 3>"$scratch/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.1; done
mkdir "$scratch/home" "$scratch/menu"
(cd "$scratch/menu" && HOME="$scratch/home" DISPLAY=":$(cat "$scratch/display")" \
  XDG_RUNTIME_DIR="$scratch" exec "$launcher" --from-menu 2>"$scratch/said") &
brimlet=$!
for _ in $(seq 300); do grep -q 'capturing into' "$scratch/said" && break; sleep 0.1; done
kill "$brimlet" 2>/dev/null || true
wait "$brimlet" 2>/dev/null || true
kill "$xvfb"
wait "$xvfb" 2>/dev/null || true
if ! grep -qx "brimlet: capturing into $scratch/home/Brimlet" "$scratch/said" || [ -n "$(ls -A "$scratch/menu")" ]; then
  echo "started from the menu, Brimlet did not capture into ~/Brimlet:"; cat "$scratch/said"; exit 1
fi
echo "the desktop entry starts the bundle, which captures into ~/Brimlet"

# In a mount namespace of its own, the system's Qt (libraries and plugins)
# is covered; the test programs take their Qt from the bundle too.
hide="$scratch/hide.sh"
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
