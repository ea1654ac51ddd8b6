#!/usr/bin/env bash
# Makes the Debian package from build/ (CPack) and checks it: its fields and
# files (dpkg-deb), Debian's policy (lintian, where installed: errors and
# warnings fail), and that the program unpacked from it into a temporary
# root runs.
set -euo pipefail
cd "$(dirname "$0")/.."
rm -rf build/package
(cd build && cpack -G DEB >/dev/null)
deb=$(ls build/package/brimlet_*_amd64.deb)
echo "package: $deb ($(du -h "$deb" | cut -f1))"

fail=0
info=$(dpkg-deb --field "$deb" Package Version Depends Section)
echo "$info"
for want in 'Package: brimlet' 'Depends: .*libqt6widgets6' 'Depends: .*libqt6gui6' 'Depends: .*qt6-qpa-plugins'; do
  echo "$info" | grep -q "^$want" || { echo "missing from the control fields: $want"; fail=1; }
done
contents=$(dpkg-deb --contents "$deb" | awk '{ print $6 }')
for want in ./usr/bin/brimlet ./usr/share/applications/brimlet.desktop \
    ./usr/share/man/man1/brimlet.1.gz ./usr/share/doc/brimlet/copyright \
    ./usr/share/icons/hicolor/{16x16,32x32,48x48,128x128,256x256}/apps/brimlet.png; do
  echo "$contents" | grep -qx "$want" || { echo "missing from the package: $want"; fail=1; }
done
[ $fail -eq 0 ] || exit 1

if command -v lintian >/dev/null; then
  root_ok=(); [ "$(id -u)" -eq 0 ] && root_ok=(--allow-root)
  lintian "${root_ok[@]}" --fail-on error,warning "$deb"
  echo "lintian: no errors, no warnings"
else
  echo "lintian is not installed: policy not checked"
fi

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
said=$("$root/usr/bin/brimlet" --version)
[ "$said" = "Brimlet $(build/brimlet --version | cut -d' ' -f2)" ] || { echo "unpacked, it says: $said"; exit 1; }
grep -qx 'Exec=brimlet --from-menu' "$root/usr/share/applications/brimlet.desktop"
echo "unpacked into $root, usr/bin/brimlet --version says: $said"
