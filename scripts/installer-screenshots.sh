#!/usr/bin/env bash
# A picture of every screen and sheet of the installer window in English and
# French, made from the real window, installer core and helper tool on a
# virtual display, with a stand-in package installer. Run as root (the
# helper tool is blessed).
# Usage: scripts/installer-screenshots.sh [OUTPUT-FOLDER]   (default: build/installer-screenshots)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$here/build}
out=${1:-$build/installer-screenshots}
[ "$(id -u)" -eq 0 ] || { echo "installer-screenshots.sh: run as root (the helper tool is blessed)" >&2; exit 1; }
source "$here/scripts/lib/demo-env.sh"
bash "$here/scripts/build.sh" >/dev/null

pids=()
roots=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for r in "${roots[@]}"; do
    [ -s "$r/var/run/com.kyr.InstallerHelperTool.pid" ] && kill "$(cat "$r/var/run/com.kyr.InstallerHelperTool.pid")" 2>/dev/null
  done
  return 0
}
trap cleanup EXIT
tavoren_start_virtual_display
pids+=("$TAVOREN_DISPLAY_PID")

for lang in en_US fr_FR; do
  root=$build/installer-screenshot-root/$lang
  roots+=("$root")
  rm -rf "$root"
  mkdir -p "$root/var/tmp" "$root/var/run" "$root/Library/Preferences" "$root/medium"
  cp -R "$build/medium/." "$root/medium/"
  cp "$here/src/driver-package/CorvaneTavorenAdmin.plist" "$root/Library/Preferences/"
  # The package installer reports phases, then waits for the picture taker.
  install -D -m 0755 /dev/stdin "$root/usr/sbin/installer" <<'SCRIPT'
#!/bin/sh
for phase in "Preparing for installation" "Configuring the installation" "Writing files"; do
  echo "installer:PHASE:$phase…"; echo "installer:%20.000000"; sleep 0.2
done
while [ ! -e "$TAVOREN_ROOT/go" ]; do sleep 0.05; done
if [ -e "$TAVOREN_ROOT/fail" ]; then echo "installer: The install failed. (The disk is full.)"; exit 1; fi
echo "installer:PHASE:Finishing the Installation…"; echo "installer: The install was successful."
SCRIPT
  install -D -m 0755 /dev/stdin "$root/Library/Printers/CorvaneTavoren/Uninstall.sh" <<'SCRIPT'
#!/bin/sh
while [ ! -e "$TAVOREN_ROOT/go" ]; do sleep 0.05; done
rm -f "$TAVOREN_ROOT/var/db/receipts/com.Corvane.TavorenInstaller.plist"
SCRIPT
  mkdir -p "$out/$lang"
  LANG=$lang.UTF-8 LC_ALL=$lang.UTF-8 LANGUAGE= TAVOREN_ROOT=$root \
    "$build/bin/tavoren-installer-screens" "$root/medium" "$out/$lang"
done
echo "Pictures in $out"
