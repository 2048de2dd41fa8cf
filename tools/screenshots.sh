#!/usr/bin/env bash
# Renders velmora.exe on the simulated camera in a headless X server, drives
# it with real mouse and keyboard input, and saves screenshots of its main
# states under docs/screenshots/. Needs the Windows build
# (cmake --preset windows && cmake --build --preset windows --target velmora_app).
set -euo pipefail
cd "$(dirname "$0")/.."
exe=build/windows/velmora.exe
out=docs/screenshots
[ -f "$exe" ] || { echo "build the Windows application first ($exe)" >&2; exit 1; }
mkdir -p "$out"

display=${VELMORA_SCREENSHOT_DISPLAY:-:$((70 + RANDOM % 9))}
export DISPLAY=$display WINEDEBUG=-all VELMORA_SIM_CLOCK=virtual
export WINEPREFIX=${VELMORA_SCREENSHOT_PREFIX:-$HOME/.wine-velmora-screenshots}
Xvfb "$display" -screen 0 1600x1200x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb_pid" >/dev/null 2>&1 || true
}
trap cleanup EXIT
sleep 1

# A prefix of its own: Wine draws the window frames itself (there is no window
# manager) with its Marlett glyphs, and Segoe UI and Tahoma, which it lacks,
# are stood in for by a face of similar width that has the arrows and triangles.
if [ ! -d "$WINEPREFIX" ]; then wine wineboot -i >/dev/null 2>&1 || true; fi
cp -f /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
for face in 'Segoe UI' Tahoma; do
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d 'DejaVu Sans Condensed' /f >/dev/null 2>&1
done
wineserver -w

# Wine's frame around the client area of the main window.
frame_x=4
frame_y=23
origin_x=0
origin_y=0

start_app() {
  wine "$exe" "$@" >/dev/null 2>&1 &
  local window
  window=$(xdotool search --sync --name '^Velmora 0\.7\.4$' | head -1)
  eval "$(xdotool getwindowgeometry --shell "$window")"
  origin_x=$X
  origin_y=$Y
  sleep 2
}

# Client coordinates of the main window.
click() {
  xdotool mousemove $((origin_x + frame_x + $1)) $((origin_y + frame_y + $2)) click 1
  sleep "${3:-1}"
}

# Mouse wheel over a point of the client area: button 4 up, 5 down.
wheel() {
  xdotool mousemove $((origin_x + frame_x + $1)) $((origin_y + frame_y + $2))
  for _ in $(seq "$4"); do xdotool click "$3"; done
  sleep 1
}

# The main window and any dialog over it: the black screen around them is trimmed.
shot() {
  import -window root -crop "1400x1000+$origin_x+$origin_y" +repage -trim +repage "$out/$1.png"
  echo "saved $out/$1.png"
}

close_app() {
  xdotool mousemove $((origin_x + 1165)) $((origin_y + 12)) click 1
  wineserver -w
}

# The design positions of the default 1180 x 775 window (client 1164 wide).
start_app --simulated-camera
shot 01-start
click 790 78 4                         # Refresh Photo List
for row in 0 1 5; do click 39 $((205 + 27 * row)); done
shot 02-photo-list
click 100 232 4                        # photo 2's number: preview
shot 03-preview
click 227 731                          # Advanced / Debug / Compatibility
wheel 560 740 5 3
shot 04-advanced
wheel 560 400 4 4
click 951 78 2                         # Device Details
shot 05-device-details
xdotool key Return
sleep 1
click 139 434 6                        # Download Selected (3)
shot 07-download-report
xdotool key Return
sleep 1
close_app

start_app --simulated-camera=no-winusb
click 870 114 2                        # Show WinUSB setup / repair steps
shot 06-setup-steps
xdotool key Return
sleep 1
close_app
