#!/usr/bin/env bash
# The package installer against hostile packages: a table of contents naming
# 4 million members, a payload and scripts that unpack to gigabytes of
# zeros, a Payload member the outer archive deflates; and the driver package
# for reference. Each runs under a root of its own; this prints the
# installer's exit status, time, peak memory and last line. Needs root (the
# package installer does). Prints figures; asserts nothing.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$here/build}
[ "$(id -u)" -eq 0 ] || { echo "bench/hostile-packages.sh: run as root (the package installer needs it)" >&2; exit 1; }
bash "$here/scripts/setup.sh"
cmake -S "$here" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target installer tavoren-hostile-package tavoren_driver_package >/dev/null

maker=$build/tests/substitutes/package-installer/tavoren-hostile-package
work=$(mktemp -d -t tvh-XXXXXX)
trap 'rm -rf "$work"' EXIT

"$maker" members 4000000 "$work/members.pkg"
"$maker" payload $((20 << 30)) "$work/payload.pkg"
"$maker" scripts $((4 << 30)) "$work/scripts.pkg"
"$maker" member $((4 << 30)) "$work/member.pkg"
cp "$build/medium/OSX/Corvane Tavoren Driver.pkg" "$work/driver.pkg"

printf '%-44s %9s %4s %7s %9s  %s\n' package "size KiB" exit ms "peak KiB" "last line"
for kind in driver members payload scripts member; do
  case $kind in
    driver) what="the driver package";;
    members) what="table of contents naming 4000000 members";;
    payload) what="payload of 20 GiB of zeros";;
    scripts) what="scripts of 4 GiB of zeros";;
    member) what="Payload member deflated from 4 GiB of zeros";;
  esac
  root=$work/root-$kind
  mkdir -p "$root"
  status=0
  start=$(date +%s%N)
  TAVOREN_ROOT=$root /usr/bin/time -f '%M' -o "$work/peak" \
    "$build/bin/installer" -pkg "$work/$kind.pkg" -target / -verboseR > "$work/out" 2>&1 || status=$?
  ms=$((($(date +%s%N) - start) / 1000000))
  printf '%-44s %9s %4s %7s %9s  %s\n' "$what" $(($(stat -c %s "$work/$kind.pkg") / 1024)) "$status" "$ms" \
    "$(tail -1 "$work/peak")" "$(grep -v '^installer:%' "$work/out" | tail -1)"
done
