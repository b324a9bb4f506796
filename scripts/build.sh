#!/usr/bin/env bash
# Installs what the build needs, configures and builds into build/ (or $BUILD_DIR).
# Extra arguments go to the CMake configure step.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$here/build}
bash "$here/scripts/setup.sh"
cmake -S "$here" -B "$build" -G Ninja "$@" >/dev/null
cmake --build "$build"
