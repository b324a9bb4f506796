#!/usr/bin/env bash
# A silent installation whose package installer works for SECONDS (30): its
# package's postinstall script runs that long. Prints the installer's CPU
# time next to its wall time, and the peak memory of the installer and of
# the helper tool. Needs root (the package installer does). No timed
# assertions.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$here/build}
seconds=${SECONDS_OF_WORK:-30}
[ "$(id -u)" -eq 0 ] || { echo "bench/installer.sh: run as root (the package installer needs it)" >&2; exit 1; }
bash "$here/scripts/build.sh" >/dev/null

work=$(mktemp -d -t tvi-XXXXXX)
root=$work/r
medium=$work/medium
cleanup() {
  [ -s "$root/var/run/com.kyr.InstallerHelperTool.pid" ] && kill "$(cat "$root/var/run/com.kyr.InstallerHelperTool.pid")" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$root/var/tmp" "$root/var/run" "$root/Library/Preferences" "$medium/OSX" "$work/payload/opt/bench" "$work/scripts"
cp -R "$build/medium/TavorenInstaller.app" "$medium/"
install -m 0755 "$build/bin/installer" -D "$root/usr/sbin/installer"
cp "$here/src/driver-package/CorvaneTavorenAdmin.plist" "$root/Library/Preferences/"

# The package: one small file, and a postinstall that works for a while.
head -c 1048576 /dev/urandom > "$work/payload/opt/bench/data"
cat > "$work/scripts/postinstall" <<SCRIPT
#!/bin/sh
i=0
while [ \$i -lt $seconds ]; do echo "working \$i"; sleep 1; i=\$((i + 1)); done
SCRIPT
chmod 0755 "$work/scripts/postinstall"
"$build/bin/tavoren-pkgbuild" --root "$work/payload" --scripts "$work/scripts" \
  --identifier com.Corvane.TavorenInstaller --version 1.0.0 --install-location / \
  "$medium/OSX/Corvane Tavoren Driver.pkg"
echo "Corvane Tavoren Driver=1.0.0" > "$medium/OSX/macver.list"

echo "Installing silently; the package installer works for about $seconds s"
TAVOREN_ROOT=$root /usr/bin/time -f '%e %U %S %M' -o "$work/time" \
  "$medium/TavorenInstaller.app/Contents/MacOS/TavorenInstaller" -s "$(id -un)" > "$work/progress" \
  || { echo "the installation failed:" >&2; tail -5 "$work/progress" >&2; exit 1; }
helper=$(cat "$root/var/run/com.kyr.InstallerHelperTool.pid")
helper_peak=$(awk '/^VmHWM/ {print $2}' "/proc/$helper/status")
read -r wall user sys installer_peak < "$work/time"

awk -v wall="$wall" -v user="$user" -v sys="$sys" -v lines="$(wc -l < "$work/progress")" \
    -v ipeak="$installer_peak" -v hpeak="$helper_peak" 'BEGIN {
  cpu = user + sys
  printf "Wall time of the installation:   %.1f s (%d progress lines)\n", wall, lines
  printf "CPU time of the installer:       %.2f s (user %.2f, system %.2f)\n", cpu, user, sys
  printf "Share of one core:               %.2f %% (goal: under 1 %%)\n", 100 * cpu / wall
  printf "Peak memory of the installer:    %d kB\n", ipeak
  printf "Peak memory of the helper tool:  %d kB\n", hpeak
}'
