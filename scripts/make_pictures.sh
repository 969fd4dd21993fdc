#!/usr/bin/env bash
# Regenerates the About and Help windows' pictures in resources/pictures/ from
# the real control panel and the bundled sample image. Builds the generator into
# build/ (it is not part of the normal build) and runs it offscreen.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build >/dev/null
cmake --build build -j2 --target lumarq-make-pictures
QT_QPA_PLATFORM=offscreen build/lumarq-make-pictures "$PWD"
ls -l resources/pictures/
