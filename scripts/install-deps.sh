#!/usr/bin/env bash
# Installs the Debian packages that Brimlet needs, when any is missing. Safe
# to run again: it does nothing when all are present.
#
#   scripts/install-deps.sh          to build and run Brimlet
#   scripts/install-deps.sh bundle   also to make the portable bundle
#   scripts/install-deps.sh test     also to run every test, make the
#                                    bundle and the Debian package, and
#                                    check them
set -euo pipefail

packages=(
  cmake g++ make ninja-build pkg-config
  qt6-base-dev qt6-image-formats-plugins qt6-wayland libxcb1-dev libxcb-xfixes0-dev libspng-dev
  libfontconfig-dev libwayland-dev libwayland-bin
)
if [ "${1:-}" = bundle ] || [ "${1:-}" = test ]; then
  packages+=(patchelf xz-utils)
fi
if [ "${1:-}" = test ]; then
  packages+=(
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xclip xdotool x11-utils openbox trayer syncthing curl
    file dpkg-dev lintian
    kwin-wayland sway xwayland wl-clipboard mousepad dbus-daemon
  )
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
