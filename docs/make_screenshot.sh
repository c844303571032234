#!/usr/bin/env bash
# Makes docs/screenshot.png: the simulator on a private Xvfb, with a painted
# wall, density sources and a stir, photographed after a few seconds; and
# the program's icons (docs/make_icons.py), the wall and the plume below it
# cut from that picture.
# Needs a built tree (./run.sh or ./test.sh) and ImageMagick's import and
# convert.
set -euo pipefail
cd "$(dirname "$0")/.."
for tool in import convert; do
  command -v "$tool" >/dev/null || { echo "needs ImageMagick (apt-get install imagemagick)" >&2; exit 1; }
done
[ -x build/viewer/fluids ] || { echo "build first: ./run.sh or ./test.sh" >&2; exit 1; }

exec 3< <(Xvfb -displayfd 1 -screen 0 800x600x24 -nolisten tcp 2>/dev/null)
read -r -u 3 number
export DISPLAY=:$number
xvfb_pid=$(pgrep -n -f "Xvfb -displayfd 1")
trap 'kill "$fluids_pid" "$xvfb_pid" 2>/dev/null || true' EXIT

build/viewer/fluids > /dev/null &
fluids_pid=$!
window=$(xdotool search --sync --onlyvisible --name '^Compute Stable Fluids$' | head -1)
xdotool windowmove --sync "$window" 0 0
xdotool windowfocus --sync "$window"

# A wall of obstacles across the middle (painting mode on, a drag, off).
xdotool key B mousemove --window "$window" 180 300 mousedown 1
for x in $(seq 184 4 340); do xdotool mousemove --window "$window" "$x" 300; done
xdotool mouseup 1 key B
# Sources below the wall, fed while the fluid is stirred upwards around it.
for k in $(seq 1 12); do
  xdotool mousemove --window "$window" 256 420 click 3 mousemove --window "$window" 200 440 click 3
  xdotool mousemove --window "$window" 330 470 mousedown 1 mousemove --window "$window" 330 400 \
    mouseup 1
done
import -window "$window" docs/screenshot.png
echo "wrote docs/screenshot.png"
python3 docs/make_icons.py
