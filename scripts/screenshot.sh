#!/usr/bin/env bash
# Takes docs/screenshot.png: the main window under Xvfb and openbox, after
# capturing a text and a picture, with the text entry selected.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
for p in openbox imagemagick; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || {
    sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq openbox imagemagick
    break
  }
done
work=$(mktemp -d)
runtime=$(mktemp -d); chmod 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime DBUS_SESSION_BUS_ADDRESS=disabled:
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
exec 3< <(exec Xvfb -displayfd 1 -screen 0 700x460x24 -nolisten tcp -noreset 2>/dev/null)
xvfb=$!
read -r display <&3
export DISPLAY=:$display
openbox >/dev/null 2>&1 &
openbox=$!
sleep 0.5
(cd "$work" && exec "$OLDPWD/build/brimlet") &
brimlet=$!
sleep 1.5
printf 'Brimlet keeps every copy.\nThis text was copied a moment ago.' | xclip -selection clipboard -i
sleep 1
build/brimlet_icons "$work" && xclip -selection clipboard -t image/png -i "$work/brimlet-48.png"
sleep 1
window=$(xdotool search --onlyvisible --name '^Brimlet$' | head -1)
xdotool windowmove "$window" 80 40
sleep 0.5
import -window root -crop 560x400+70+20 docs/screenshot.png
kill "$brimlet" "$openbox" "$xvfb" 2>/dev/null || true
rm -rf "$work" "$runtime"
echo "docs/screenshot.png"
