#!/usr/bin/env bash
# A screenshot of every client screen in English and French, made from the
# real program on a virtual display against the substitute service.
# Usage: scripts/screenshots.sh [OUTPUT-FOLDER]   (default: build/screenshots)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$here/build}
out=${1:-$build/screenshots}
source "$here/scripts/lib/demo-env.sh"
bash "$here/scripts/build.sh" >/dev/null
mkdir -p "$out"

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT

tavoren_start_virtual_display
pids+=("$TAVOREN_DISPLAY_PID")

# The window called $1 once it is mapped, else nothing.
find_window() {
  for _ in $(seq 100); do
    local id
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && { echo "$id"; return; }
    sleep 0.1
  done
}

# shoot NAME LANG PRIVATE OWNER SERVICE-ARGS [job|nojob] [settings]
shoot() {
  local name=$1 lang=$2 private=$3 owner=$4 service_args=$5 job=$6 settings=${7:-}
  local root=$build/screenshot-root/$name-$lang
  tavoren_make_root "$root" "$build"
  # shellcheck disable=SC2086
  tavoren_start_service "$root" "$build" $service_args
  local service=$TAVOREN_SERVICE_PID
  local port=$TAVOREN_SERVICE_PORT
  [ "$name" = error ] && { kill "$service"; wait "$service" 2>/dev/null || true; }
  tavoren_write_admin "$root" "$port" "$private" 1
  local client
  client=$(tavoren_install_client "$root" "$build")
  [ -n "$owner" ] && tavoren_remember_owner "$root" "$owner"
  local args=()
  if [ "$job" = job ]; then
    args=("Quarterly report for the board meeting.pdf:: ::$(tavoren_spool_job "$root" "$here" "Quarterly report")")
  fi
  LANG=$lang LC_ALL=$lang TAVOREN_ROOT=$root XDG_CONFIG_HOME=$(tavoren_config_home "$root") \
    "$client" "${args[@]}" >/dev/null 2>&1 &
  local app=$!
  local window
  window=$(find_window '^Corvane Tavoren$')
  # Long enough for the job to reach the screen and the cross-fade to end.
  sleep "${SETTLE:-4}"
  if [ -n "$settings" ]; then
    xdotool windowfocus --sync "$window" key ctrl+comma
    sleep 1
    window=$(xdotool search --onlyvisible --name '.Corvane Tavoren|Corvane Tavoren.' | head -1)
  fi
  if [ -n "$window" ] && "$build/bin/tavoren-screengrab" "$out/$name-${lang%%_*}.png" "$window"; then
    echo "$out/$name-${lang%%_*}.png"
  else
    echo "no window for $name ($lang)" >&2
  fi
  kill "$app" "$service" 2>/dev/null || true
  wait "$app" 2>/dev/null || true
}

for lang in en_US.UTF-8 fr_FR.UTF-8; do
  shoot email-entry "$lang" false "" "" job
  shoot upload "$lang" true "alice@example.com" "--fault servertime:delay=600000" job
  shoot release-code "$lang" true "alice@example.com" "" job
  shoot error "$lang" true "alice@example.com" "" job
  shoot how-to-print "$lang" true "" "" nojob
  shoot settings "$lang" true "alice@example.com" "" nojob settings
done
rm -rf "$build/screenshot-root"
