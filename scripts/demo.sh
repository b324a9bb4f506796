#!/usr/bin/env bash
# The main job end to end on the built-in substitutes: builds, starts the
# substitute release service with HTTPS on loopback, installs the client into
# a demo root, spools a sample PDF and opens the real client window on it.
# Without a display the client runs on a virtual one and the release code
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
spooled=$(tavoren_spool_job "$root" "$here" "Corvane Tavoren sample document")
log=$root/private/var/log/cups/tavorencups/tavorendriver.log
echo "Service on https://127.0.0.1:$TAVOREN_SERVICE_PORT; spooled $spooled"

headless=1
if [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then headless=0; fi

if [ $headless = 0 ]; then
  echo "Opening the client window; close it to end the demo."
  TAVOREN_ROOT=$root "$client" "Sample document.pdf:: ::$spooled"
else
  display=:$((90 + RANDOM % 400))
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY=$display QT_QPA_PLATFORM=xcb
  for _ in $(seq 100); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
  TAVOREN_ROOT=$root "$client" "Sample document.pdf:: ::$spooled" >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 600); do grep -qs "file converted" "$log" && break; sleep 0.1; done
  sleep 1   # the cross-fade to the release code screen
  window=$(xdotool search --onlyvisible --name '^Corvane Tavoren$' | head -1 || true)
  screenshot=$root/release-code-screen.png
  if [ -n "$window" ] && "$build/bin/tavoren-screengrab" "$screenshot" "$window"; then
    echo "No display: the release code screen is saved as $screenshot"
  else
    echo "No display, and the client window could not be captured" >&2
  fi
fi

code=$(sed -n 's#^GET /api/v2/drns/\([^ ]*\) -> 200.*#\1#p' "$root/service.log" | tail -1)
echo
echo "Release code: ${code:-none}"
echo "Service log:"; sed 's/^/  /' "$root/service.log"
echo "Client log: $log"
