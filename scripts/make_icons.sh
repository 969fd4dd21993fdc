#!/usr/bin/env bash
# Redraws the installed icons (packaging/icons/hicolor/*/apps/lumarq.png) from the
# program's icon artwork, the same drawing as the windows' icon. Builds the
# generator into build/ (it is not part of the normal build) and runs it offscreen.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build >/dev/null
cmake --build build -j2 --target lumarq-make-icons
QT_QPA_PLATFORM=offscreen build/lumarq-make-icons "$PWD"
ls -l packaging/icons/hicolor/*/apps/
