#!/usr/bin/env bash
# Builds Brimlet and makes dist/brimlet/, a folder that runs without
# installing anything: the program, the Qt libraries and plugins it loads
# and the libraries under them (found through a relative run path), all
# stripped, a launcher, the desktop entry and the icons; and the same
# folder as dist/brimlet-VERSION-linux-x86_64.tar.xz. Copy the folder
# anywhere (a memory stick) and start dist/brimlet/brimlet in the folder
# that should hold the captures; dist/brimlet/add-to-menu puts it in the
# desktop's menu, from where it captures into ~/Brimlet.
#
# Left out, as every Linux desktop has them: the C and C++ runtimes, the
# X11 client libraries, OpenGL, fontconfig/freetype, glib, D-Bus, zlib.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh bundle
# A first configure leaves the tests and benchmarks out, so their packages
# are not needed; a build folder that has them keeps them.
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRIMLET_TESTS=OFF -DBRIMLET_BENCH=OFF >/dev/null
fi
cmake --build build --target brimlet icons -j"$(nproc)"

dist=dist/brimlet
rm -rf "$dist"
mkdir -p "$dist/bin" "$dist/lib" "$dist/plugins" "$dist/share/applications"

cp build/brimlet "$dist/bin/brimlet"
cp LICENSE "$dist/LICENSE"
printf '[Paths]\nPrefix = ..\nPlugins = plugins\n' > "$dist/bin/qt.conf"

qt_plugins=$(qtpaths6 --query QT_INSTALL_PLUGINS 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/qt6/plugins)
# Qt's Wayland platform and its plugins serve a desktop without Xwayland.
for group in platforms imageformats iconengines xcbglintegrations wayland-shell-integration \
             wayland-decoration-client wayland-graphics-integration-client; do
  [ -d "$qt_plugins/$group" ] || continue
  mkdir -p "$dist/plugins/$group"
  case $group in
    platforms)
      cp "$qt_plugins/$group/libqxcb.so" "$dist/plugins/$group/"
      for plugin in "$qt_plugins/$group/"libqwayland-*.so; do
        if [ -e "$plugin" ]; then cp "$plugin" "$dist/plugins/$group/"; fi
      done ;;
    *) cp "$qt_plugins/$group/"*.so "$dist/plugins/$group/" ;;
  esac
done

# Every library the program and the plugins need, but for the system's own.
system_libs='^(ld-linux|libc|libm|libdl|libpthread|librt|libresolv|libstdc\+\+|libgcc_s|libGL|libEGL|libGLX|libGLdispatch|libOpenGL|libdrm|libgbm|libX11|libXau|libXdmcp|libxcb\.so|libfontconfig|libfreetype|libexpat|libpng16|libbrotli|libbz2|libz\.so|libglib-2|libgthread|libgobject|libpcre2-8|libdbus-1|libsystemd|liblzma|libzstd|liblz4|libcap|libgcrypt|libgpg-error|libffi|libmount|libblkid|libselinux|libuuid)'
copy_deps() {
  ldd "$1" | awk '/=> \// { print $3 }' | while read -r lib; do
    name=$(basename "$lib")
    echo "$name" | grep -Eq "$system_libs" && continue
    [ -e "$dist/lib/$name" ] && continue
    cp -L "$lib" "$dist/lib/$name"
    copy_deps "$dist/lib/$name"
  done
}
copy_deps "$dist/bin/brimlet"
for plugin in "$dist"/plugins/*/*.so; do copy_deps "$plugin"; done

# Stripped first (the program carries its debugging information until
# here), then relative run paths: the program and the plugins find the
# bundled libraries, and the libraries find each other.
strip --strip-unneeded "$dist/bin/brimlet" "$dist"/plugins/*/*.so "$dist"/lib/*.so*
patchelf --set-rpath '$ORIGIN/../lib' "$dist/bin/brimlet"
for plugin in "$dist"/plugins/*/*.so; do patchelf --set-rpath '$ORIGIN/../../lib' "$plugin"; done
for lib in "$dist"/lib/*.so*; do patchelf --set-rpath '$ORIGIN' "$lib"; done

cat > "$dist/brimlet" <<'LAUNCHER'
#!/bin/sh
# Starts Brimlet from this folder. It keeps its captures in the folder it is
# started from; with --from-menu (the desktop menu's entry) in ~/Brimlet.
here=$(dirname "$(readlink -f "$0")")
exec "$here/bin/brimlet" "$@"
LAUNCHER
chmod +x "$dist/brimlet"

for size in 16 32 48 128 256; do
  mkdir -p "$dist/share/icons/hicolor/${size}x${size}/apps"
  cp "build/icons/brimlet-$size.png" "$dist/share/icons/hicolor/${size}x${size}/apps/brimlet.png"
done

# The desktop entry runs this folder's launcher by its full path. Written
# here for where the bundle is made; add-to-menu writes it again for where
# the bundle is when it runs.
cat > "$dist/add-to-menu" <<'ADD'
#!/bin/sh
# Puts Brimlet in the desktop's menu: writes the desktop entry (running this
# folder's launcher by its full path; started from the menu, Brimlet
# captures into ~/Brimlet) and the icons under ~/.local/share. Run it again
# after moving this folder. With a folder given, writes the entry there and
# nothing else.
set -eu
here=$(dirname "$(readlink -f "$0")")
data=${XDG_DATA_HOME:-$HOME/.local/share}
entries=${1:-$data/applications}
# Desktop entries quote an argument in double quotes; inside them ", `, $
# and \ are escaped with a backslash, which the file's own escaping doubles.
launcher=$(printf '%s' "$here/brimlet" |
  sed -e 's/\\/\\\\\\\\/g' -e 's/["`$]/\\\\&/g' -e 's/%/%%/g')
mkdir -p "$entries"
while IFS= read -r line; do
  case $line in
    Exec=*) printf 'Exec="%s" --from-menu\n' "$launcher" ;;
    *) printf '%s\n' "$line" ;;
  esac
done < "$here/share/brimlet.desktop.in" > "$entries/brimlet.desktop"
[ $# -gt 0 ] && exit 0
for icon in "$here"/share/icons/hicolor/*/apps/brimlet.png; do
  size=$(basename "$(dirname "$(dirname "$icon")")")
  mkdir -p "$data/icons/hicolor/$size/apps"
  cp "$icon" "$data/icons/hicolor/$size/apps/brimlet.png"
done
echo "Brimlet is in the menu: $entries/brimlet.desktop"
ADD
chmod +x "$dist/add-to-menu"
cp resources/brimlet.desktop "$dist/share/brimlet.desktop.in"
"$dist/add-to-menu" "$dist/share/applications"

version=$(build/brimlet --version | cut -d' ' -f2)
archive=dist/brimlet-$version-linux-x86_64.tar.xz
rm -f dist/brimlet-*-linux-x86_64.tar.xz
tar -C dist -cf - brimlet | xz -9 -T0 > "$archive"
echo "$dist: $(du -sh "$dist" | cut -f1), $(ls "$dist/lib" | wc -l) libraries; $archive: $(du -h "$archive" | cut -f1)"
