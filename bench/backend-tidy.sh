#!/usr/bin/env bash
# What the printer backend's tidying before each job costs: the leftover
# job folders of stopped backends it looks for (and removes) in the spool
# root, and the held-job markers it checks against the print scheduler. For
# each case: the backend's exit status, its wall time, its peak memory (GNU
# time), the job folders and markers left afterwards.
#
#   nothing           an empty spool root, no marker
#   USERS user folds  USERS (10000) job folders of a user's: looked at, kept
#   LEFT leftovers    LEFT (1000) unlocked root's job folders, each with a
#                     .part file, a minute old: all removed
#   MARKERS markers   MARKERS (1000) held markers; no scheduler listens, so
#                     they cost a debug line and stay
#
# No agent runs, so every job is held (exit 3) with its own marker. Needs
# root (the backend hands files to their user). No timed assertions.
set -euo pipefail
export LC_ALL=C
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$here/build}
users=${USERS:-10000}
left=${LEFT:-1000}
markers=${MARKERS:-1000}
[ "$(id -u)" -eq 0 ] || { echo "bench/backend-tidy.sh: run as root, as the print scheduler runs the backend" >&2; exit 1; }
bash "$here/scripts/setup.sh"
cmake -S "$here" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target corvanetavoren >/dev/null

work=$(mktemp -d -t tvt-XXXXXX)
trap 'rm -rf "$work"' EXIT
bash "$here/scripts/make-sample-pdf.sh" "$work/page.pdf" "A page of the benchmark"
user=nobody

run() { # NAME SETUP
  local root=$work/root-$RANDOM status=0 seconds kib
  local spool=$root/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver held=$root/var/log/cups/corvanetavorencups/held
  mkdir -p "$spool" "$held"
  "$2" "$spool" "$held"
  env -u CUPS_SERVER TAVOREN_ROOT="$root" TAVOREN_BACKEND_AGENT_TIMEOUT_MS=1 /usr/bin/time -f '%e %M' -o "$work/time" \
    "$build/bin/corvanetavoren" 1 "$user" "Benchmark.pdf" 1 "" < "$work/page.pdf" 2> "$work/messages" || status=$?
  read -r seconds kib < <(tail -n 1 "$work/time")
  printf '%-22s %4s %8s %9s %8s %8s\n' "$1" "$status" "$seconds" "$kib" \
    "$(find "$spool" -mindepth 1 -maxdepth 1 | wc -l)" "$(find "$held" -mindepth 1 -maxdepth 1 | wc -l)"
  rm -rf "$root"
}

nothing() { :; }
user_folders() {
  (cd "$1" && seq -f 'job%g-aB3dE9' 2 $((users + 1)) | xargs mkdir)
  chown "$user" "$1"/job*
}
leftovers() {
  (cd "$1" && seq -f 'job%g-aB3dE9' 2 $((left + 1)) | xargs mkdir)
  for folder in "$1"/job*; do : > "$folder/.part"; done
  touch -d '1 minute ago' "$1"/job*
}
held_markers() {
  (cd "$2" && seq 2 $((markers + 1)) | xargs touch)
}

printf '%-22s %4s %8s %9s %8s %8s\n' case exit seconds "peak KiB" folders markers
run nothing nothing
run "$users user folders" user_folders
run "$left leftovers" leftovers
run "$markers markers" held_markers
