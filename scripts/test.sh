#!/usr/bin/env bash
# The whole test suite: set-up, a warnings-as-errors build, every test.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$here/build}
bash "$here/scripts/build.sh" -DTAVOREN_WERROR=ON "$@"
ctest --test-dir "$build" --output-on-failure -j2
