#!/usr/bin/env bash
# Draws the pictures of the user guide into docs/images/ with the program's
# own windows (no display needed).
#
#   docs/make-screenshots.sh [BUILD_FOLDER]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j "$(nproc)" --target kovar3-screenshot
QT_QPA_PLATFORM=offscreen "$build/docs/screenshot/kovar3-screenshot" docs/images
