#!/usr/bin/env bash
# make run: the window on the sample photos when there is a display; without one, the
# headless demo with vantifex-cli.
set -euo pipefail
build=${1:-build}
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    photo=$(ls samples/*.jpg 2>/dev/null | head -n 1 || true)
    echo "Starting vantifex on ${photo:-samples/}"
    exec "$build/app/vantifex" "${photo:-samples}"
fi
echo "No display (DISPLAY and WAYLAND_DISPLAY are not set): the vantifex window needs one."
echo "Running the headless demo with vantifex-cli instead;"
echo "scripts/screenshot.sh OUT.png samples/landscape.jpg shows the window under Xvfb."
echo
exec scripts/run-demo.sh "$build"
