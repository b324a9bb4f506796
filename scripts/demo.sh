#!/usr/bin/env bash
# The main job end to end on the built-in substitutes: builds, starts the
# substitute release service with HTTPS on loopback, installs the client into
# a demo root, starts the user's agent and prints a sample PDF through the
# printer backend; the agent opens the real client window on the job.
# Without a display everything runs on a virtual one and the release code
# screen is saved as a screenshot.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$here/build}
source "$here/scripts/lib/demo-env.sh"
bash "$here/scripts/build.sh"

root=$here/demo-root
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT

tavoren_make_root "$root" "$build"
tavoren_start_service "$root" "$build" --status-sequence 1,2,4
pids+=("$TAVOREN_SERVICE_PID")
tavoren_write_admin "$root" "$TAVOREN_SERVICE_PORT" true 1
client=$(tavoren_install_client "$root" "$build")
# A private installation that remembers its owner goes straight to the upload.
tavoren_remember_owner "$root" "demo@release.test"
log=$root/private/var/log/cups/tavorencups/tavorendriver.log
user=$(id -un)
echo "Service on https://127.0.0.1:$TAVOREN_SERVICE_PORT"

headless=1
if [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then headless=0; fi
if [ $headless = 1 ]; then
  tavoren_start_virtual_display
  pids+=("$TAVOREN_DISPLAY_PID")
fi

# The user's agent, which starts a client for every job it is told of.
TAVOREN_ROOT=$root "$build/bin/CorvaneTavorenAgent" --echo-log 2> "$root/agent.log" &
pids+=($!)
socket=$root/private/tmp/Corvane_Tavoren_Socket/$user/com.corvane.TavorenAgentApp.socket
for _ in $(seq 100); do [ -S "$socket" ] && break; sleep 0.05; done

# The printer backend prints the sample document for this user.
bash "$here/scripts/make-sample-pdf.sh" "$root/sample.pdf" "Corvane Tavoren sample document"
echo "Printing $root/sample.pdf through the printer backend"
TAVOREN_ROOT=$root "$build/bin/corvanetavoren" 1 "$user" "Sample document.pdf" 1 "" < "$root/sample.pdf"

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
