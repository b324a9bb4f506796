#!/usr/bin/env bash
# The main job end to end on the built-in substitutes: builds, installs the
# driver package into a demo root with the installer window (through the
# helper tool and the package installer), starts the substitute release
# service with HTTPS on loopback, points the installed admin file at it,
# starts the user's installed agent and prints a sample PDF with lp to the
# queue the installation made on a print scheduler of the demo root's own
# (straight through the installed printer backend when there is no
# scheduler); the agent opens the installed client's window on the job. Without a display everything runs on a virtual one: the installer
# window is clicked through on its own, and its result screen and the release
# code screen are saved as screenshots.
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
  if [ -n "${TAVOREN_SCHEDULER_PID:-}" ]; then $SUDO kill "$TAVOREN_SCHEDULER_PID" 2>/dev/null || true; fi
  if [ -s "$root/var/run/com.kyr.InstallerHelperTool.pid" ]; then
    $SUDO kill "$(cat "$root/var/run/com.kyr.InstallerHelperTool.pid")" 2>/dev/null || true
  fi
}
trap cleanup EXIT

$SUDO rm -rf "$root"
tavoren_make_root "$root" "$build"
# The system's folders of the root are root's, as on a real computer: root
# installs nothing into folders another user could change.
$SUDO mkdir -p "$root/var/tmp" "$root/var/run"
$SUDO chown -R root:root "$root/Library" "$root/private" "$root/var"
$SUDO chmod 1777 "$root/var/tmp"

headless=1
if [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then headless=0; fi
if [ $headless = 1 ]; then
  tavoren_start_virtual_display
  pids+=("$TAVOREN_DISPLAY_PID")
fi

# The installation makes its print queue on the root's own scheduler.
scheduler=0
if tavoren_start_scheduler "$root"; then
  scheduler=1
  echo "Print scheduler of the demo root on $root/run/cups/cups.sock"
fi
installer=$build/medium/TavorenInstaller.app/Contents/MacOS/TavorenInstaller
installer_log=$root/var/tmp/kyr/CorvaneTavoren.log
installed() { grep -qs "Installation successful" "$installer_log"; }

# The installer window, run as root with the demo root (pkexec would drop it).
echo "Installing the driver package into $root with the installer window"
$SUDO env TAVOREN_ROOT="$root" DISPLAY="$DISPLAY" XAUTHORITY="${XAUTHORITY:-$HOME/.Xauthority}" \
  QT_QPA_PLATFORM=xcb "$installer" > "$root/installer-window.log" 2>&1 &
installer_pid=$!
if [ $headless = 0 ]; then
  echo "  Accept the terms, drag the driver onto the disk, choose how the computer is used,"
  echo "  Install, then Close the window to go on."
  wait "$installer_pid" || true
else
  # Clicked through as a user would: terms, Next, Install (private), then Close.
  window=""
  for _ in $(seq 100); do
    window=$(xdotool search --onlyvisible --class TavorenInstaller 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break; sleep 0.1
  done
  if [ -n "$window" ]; then
    click() { xdotool mousemove --window "$window" "$1" "$2" click 1; sleep 0.5; }
    sleep 0.5
    click 36 405    # I accept the terms of service
    click 571 470   # Next
    click 571 470   # Install
    for _ in $(seq 600); do
      { installed || grep -qs "Installation failed" "$installer_log"; } && break; sleep 0.1
    done
    sleep 0.5
    screenshot=$root/installer-result-screen.png
    if "$build/bin/tavoren-screengrab" "$screenshot" "$window"; then
      echo "  No display: the installer's result screen is saved as $screenshot"
    fi
    click 571 470   # Close
  fi
  for _ in $(seq 50); do kill -0 "$installer_pid" 2>/dev/null || break; sleep 0.1; done
  $SUDO kill "$installer_pid" 2>/dev/null || true
  wait "$installer_pid" 2>/dev/null || true
fi
if ! installed; then
  if grep -qs "Installation failed" "$installer_log"; then
    echo "The installation failed; see $installer_log" >&2
    exit 1
  fi
  # Closed before installing, or no window at all (root kept off the display,
  # say): the administrator's silent installation instead.
  echo "The installer window did not install (see $root/installer-window.log); installing silently"
  $SUDO env TAVOREN_ROOT="$root" "$installer" -s "$user" \
    | awk '{ printf "  %s\n", $0 } END { print "  (" NR " progress lines)" }'
fi
echo "Installer log: $installer_log"

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

# The user's installed agent, which starts a client for every job it is told of.
TAVOREN_ROOT=$root XDG_CONFIG_HOME=$(tavoren_config_home "$root") \
  "$root/Library/Printers/CorvaneTavoren/CorvaneTavorenAgent" --echo-log 2> "$root/agent.log" &
pids+=($!)
socket=$root/private/tmp/Corvane_Tavoren_Socket/$user/com.corvane.TavorenAgentApp.socket
for _ in $(seq 100); do [ -S "$socket" ] && break; sleep 0.05; done

bash "$here/scripts/make-sample-pdf.sh" "$root/sample.pdf" "Corvane Tavoren sample document"
if [ $scheduler = 1 ] && CUPS_SERVER=$root/run/cups/cups.sock lpstat -p Corvane_Tavoren >/dev/null 2>&1; then
  # As any application prints: the scheduler runs the installed backend as root.
  echo "Printing $root/sample.pdf with lp to the queue Corvane_Tavoren"
  CUPS_SERVER=$root/run/cups/cups.sock lp -d Corvane_Tavoren -t "Sample document.pdf" "$root/sample.pdf"
else
  # No scheduler: the installed backend prints the sample document for this
  # user, as root, as the scheduler would run it.
  echo "Printing $root/sample.pdf through the installed printer backend (no print scheduler)"
  $SUDO env TAVOREN_ROOT="$root" "$root/usr/lib/cups/backend/corvanetavoren" 1 "$user" "Sample document.pdf" 1 "" \
    < "$root/sample.pdf"
fi

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
if [ $scheduler = 1 ]; then
  echo "Print jobs completed:"; CUPS_SERVER=$root/run/cups/cups.sock lpstat -W completed -o Corvane_Tavoren | sed 's/^/  /'
fi
echo "Service log:"; sed 's/^/  /' "$root/service.log"
echo "Agent log:"; sed 's/^/  /' "$root/agent.log"
echo "Client log: $log"
