#!/usr/bin/env bash
# The printer backend on a job of DOCUMENTS (20) PDFs of PAGES (100) pages
# each, one after another on its standard input as the print scheduler
# sends a job of several files: prints the job's size, the backend's wall
# time and peak memory while it spools them and merges them into one, and
# its merge line. No agent runs, so the backend then asks for a retry and
# leaves nothing behind. Needs root (the backend hands files to their user).
# No timed assertions.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$here/build}
documents=${DOCUMENTS:-20}
pages=${PAGES:-100}
[ "$(id -u)" -eq 0 ] || { echo "bench/backend-merge.sh: run as root, as the print scheduler runs the backend" >&2; exit 1; }
bash "$here/scripts/build.sh" >/dev/null

work=$(mktemp -d -t tvb-XXXXXX)
trap 'rm -rf "$work"' EXIT
bash "$here/scripts/make-sample-pdf.sh" "$work/page.pdf" "A page of the benchmark"
page_list=()
for _ in $(seq "$pages"); do page_list+=("$work/page.pdf"); done
qpdf --empty --pages "${page_list[@]}" -- "$work/document.pdf"
for _ in $(seq "$documents"); do cat "$work/document.pdf"; done > "$work/job.pdf"

mkdir -p "$work/r"
status=0
TAVOREN_ROOT=$work/r TAVOREN_BACKEND_AGENT_TIMEOUT_MS=1 /usr/bin/time -f '%e %M' -o "$work/time" \
  "$build/bin/corvanetavoren" 1 "$(id -un)" "Benchmark.pdf" 1 "" < "$work/job.pdf" 2> "$work/messages" || status=$?
read -r seconds kib < <(tail -n 1 "$work/time")

printf 'job                      %s documents of %s pages, %s bytes\n' "$documents" "$pages" "$(stat -c %s "$work/job.pdf")"
printf 'backend wall time        %s s\n' "$seconds"
printf 'backend peak memory      %s KiB\n' "$kib"
printf 'merge                    %s\n' "$(sed -n 's/^INFO: \(Merged .*\)/\1/p' "$work/messages")"
printf 'exit status              %s (6: no agent, retry later)\n' "$status"
spool=$work/r/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver
printf 'job folders left         %s\n' "$(find "$spool" -mindepth 1 -maxdepth 1 2>/dev/null | wc -l)"
