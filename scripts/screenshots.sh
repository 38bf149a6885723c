#!/usr/bin/env bash
# Renders every panel of the owner's window to PNG under an X server of its
# own (Xvfb), into docs/screenshots (or the folder given), as the README
# shows them: in the default colours, in a dark colour scheme (*-dark.png)
# and at 1.5 times the scale (*-scaled.png).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
out=${1:-docs/screenshots}
build=${POCKETLANE_SCREENSHOT_BUILD_DIR:-build-screenshots}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPOCKETLANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target desktop_screenshots
shoot() {
  # Without a session bus the window keeps to plain X11.
  env -u DBUS_SESSION_BUS_ADDRESS QT_QPA_PLATFORM=xcb "$@" \
      xvfb-run -a -s "-screen 0 1920x1440x24 -nolisten tcp" \
      "$build/tests/desktop_screenshots" "$out" "${variant:-}"
}
variant= shoot
variant=dark shoot
variant=scaled shoot QT_SCALE_FACTOR=1.5
