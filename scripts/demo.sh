#!/usr/bin/env bash
# The main job end to end on the built-in substitutes: builds, installs the
# driver package into a demo root with the silent installer (as an
# administrator would, through the helper tool and the package installer),
# starts the substitute release service with HTTPS on loopback, points the
# installed admin file at it, starts the user's installed agent and prints a
# sample PDF through the installed printer backend; the agent opens the
# installed client's window on the job. Without a display everything runs on
# a virtual one and the release code screen is saved as a screenshot.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$here/build}
source "$here/scripts/lib/demo-env.sh"
bash "$here/scripts/build.sh"

root=$here/demo-root
user=$(id -un)
# Installing and printing need root, as on a real computer.
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  if [ -s "$root/var/run/com.kyr.InstallerHelperTool.pid" ]; then
    $SUDO kill "$(cat "$root/var/run/com.kyr.InstallerHelperTool.pid")" 2>/dev/null || true
  fi
}
trap cleanup EXIT

$SUDO rm -rf "$root"
tavoren_make_root "$root" "$build"
mkdir -p "$root/var/tmp" "$root/var/run"

# The administrator's silent installation from the installation medium.
$SUDO install -D -m 0755 "$build/bin/installer" "$root/usr/sbin/installer"
echo "Installing the driver package silently into $root"
$SUDO env TAVOREN_ROOT="$root" "$build/medium/TavorenInstaller.app/Contents/MacOS/TavorenInstaller" -s "$user" \
  | awk '{ printf "  %s\n", $0 } END { print "  (" NR " progress lines)" }'
echo "Installer log: $root/var/tmp/kyr/CorvaneTavoren.log"

tavoren_start_service "$root" "$build" --status-sequence 1,2,4
pids+=("$TAVOREN_SERVICE_PID")
# The installed admin file names this service; everything else stays installed.
$SUDO sed -i -e "/<key>host<\/key>/{n;s#<string>.*</string>#<string>127.0.0.1:$TAVOREN_SERVICE_PORT</string>#}" \
  -e "/<key>drnpollingtimeinsecond<\/key>/{n;s#<integer>.*</integer>#<integer>1</integer>#}" \
  "$root/Library/Preferences/CorvaneTavorenAdmin.plist"
client="$root/Library/Printers/CorvaneTavoren/Corvane Tavoren for Mac.app/contents/MacOS/Corvane Tavoren for Mac"
# A private installation that remembers its owner goes straight to the upload.
tavoren_remember_owner "$root" "demo@release.test"
log=$root/private/var/log/cups/tavorencups/tavorendriver.log
echo "Service on https://127.0.0.1:$TAVOREN_SERVICE_PORT"

headless=1
if [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then headless=0; fi
if [ $headless = 1 ]; then
  tavoren_start_virtual_display
  pids+=("$TAVOREN_DISPLAY_PID")
fi

# The user's installed agent, which starts a client for every job it is told of.
TAVOREN_ROOT=$root "$root/Library/Printers/CorvaneTavoren/CorvaneTavorenAgent" --echo-log 2> "$root/agent.log" &
pids+=($!)
socket=$root/private/tmp/Corvane_Tavoren_Socket/$user/com.corvane.TavorenAgentApp.socket
for _ in $(seq 100); do [ -S "$socket" ] && break; sleep 0.05; done

# The installed printer backend prints the sample document for this user,
# as root, as the print scheduler runs it.
bash "$here/scripts/make-sample-pdf.sh" "$root/sample.pdf" "Corvane Tavoren sample document"
echo "Printing $root/sample.pdf through the installed printer backend"
$SUDO env TAVOREN_ROOT="$root" "$root/usr/lib/cups/backend/corvanetavoren" 1 "$user" "Sample document.pdf" 1 "" \
  < "$root/sample.pdf"

if [ $headless = 0 ]; then
  echo "The client window is open; close it to end the demo."
  for _ in $(seq 100); do pgrep -f "$client" >/dev/null && break; sleep 0.1; done
  while pgrep -f "$client" >/dev/null; do sleep 0.5; done
else
  for _ in $(seq 600); do grep -qs "file converted" "$log" && break; sleep 0.1; done
  sleep 1   # the cross-fade to the release code screen
  window=$(xdotool search --onlyvisible --name '^Corvane Tavoren$' | head -1 || true)
  screenshot=$root/release-code-screen.png
  if [ -n "$window" ] && "$build/bin/tavoren-screengrab" "$screenshot" "$window"; then
    echo "No display: the release code screen is saved as $screenshot"
  else
    echo "No display, and the client window could not be captured" >&2
  fi
  pkill -f "$client" 2>/dev/null || true
fi

code=$(sed -n 's#^GET /api/v2/drns/\([^ ]*\) -> 200.*#\1#p' "$root/service.log" | tail -1)
echo
echo "Release code: ${code:-none}"
echo "Service log:"; sed 's/^/  /' "$root/service.log"
echo "Agent log:"; sed 's/^/  /' "$root/agent.log"
echo "Client log: $log"
