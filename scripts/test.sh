#!/usr/bin/env bash
# The whole test suite: set-up, a warnings-as-errors build with every test,
# then the same tests on an address and undefined-behaviour sanitizer build.
# TAVOREN_SKIP_SANITIZER=1 leaves out the second pass.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$here/build}
BUILD_DIR=$build bash "$here/scripts/build.sh" -DTAVOREN_WERROR=ON "$@"
ctest --test-dir "$build" --output-on-failure -j2

if [ "${TAVOREN_SKIP_SANITIZER:-0}" != 1 ]; then
  BUILD_DIR=$build-sanitize bash "$here/scripts/build.sh" -DTAVOREN_WERROR=ON -DTAVOREN_SANITIZE=ON \
    -DCMAKE_BUILD_TYPE=Debug "$@"
  ctest --test-dir "$build-sanitize" --output-on-failure -j2
fi
