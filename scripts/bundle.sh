#!/usr/bin/env bash
# Builds Brimlet and makes dist/brimlet/, a folder that runs without
# installing anything: the program, the Qt libraries and plugins it loads
# and the libraries under them (found through a relative run path), and a
# launcher. Copy the folder anywhere (a memory stick) and start
# dist/brimlet/brimlet in the folder that should hold the captures.
#
# Left out, as every Linux desktop has them: the C and C++ runtimes, the
# X11 client libraries, OpenGL, fontconfig/freetype, glib, D-Bus, zlib.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
dpkg-query -W -f='${Status}' patchelf 2>/dev/null | grep -q "install ok installed" || {
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq patchelf
}

dist=dist/brimlet
rm -rf "$dist"
mkdir -p "$dist/bin" "$dist/lib" "$dist/plugins" "$dist/share/applications"

cp build/brimlet "$dist/bin/brimlet"
printf '[Paths]\nPrefix = ..\nPlugins = plugins\n' > "$dist/bin/qt.conf"

qt_plugins=$(qtpaths6 --query QT_INSTALL_PLUGINS 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/qt6/plugins)
for group in platforms imageformats iconengines xcbglintegrations; do
  [ -d "$qt_plugins/$group" ] || continue
  mkdir -p "$dist/plugins/$group"
  case $group in
    platforms) cp "$qt_plugins/$group/libqxcb.so" "$dist/plugins/$group/" ;;
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

# Relative run paths: the program and the plugins find the bundled
# libraries, and the libraries find each other.
patchelf --set-rpath '$ORIGIN/../lib' "$dist/bin/brimlet"
for plugin in "$dist"/plugins/*/*.so; do patchelf --set-rpath '$ORIGIN/../../lib' "$plugin"; done
for lib in "$dist"/lib/*.so*; do patchelf --set-rpath '$ORIGIN' "$lib"; done

cat > "$dist/brimlet" <<'LAUNCHER'
#!/bin/sh
# Starts Brimlet from this folder; it keeps its captures in the folder it is
# started from.
here=$(dirname "$(readlink -f "$0")")
exec "$here/bin/brimlet" "$@"
LAUNCHER
chmod +x "$dist/brimlet"

for size in 32 48; do
  mkdir -p "$dist/share/icons/hicolor/${size}x${size}/apps"
  cp "build/icons/brimlet-$size.png" "$dist/share/icons/hicolor/${size}x${size}/apps/brimlet.png"
done
cp resources/brimlet.desktop "$dist/share/applications/brimlet.desktop"
echo "$dist: $(du -sh "$dist" | cut -f1), $(ls "$dist/lib" | wc -l) libraries"
