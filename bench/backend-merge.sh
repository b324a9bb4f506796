#!/usr/bin/env bash
# The printer backend merging jobs of several PDFs, one after another on its
# standard input as the print scheduler sends a job of several files. For
# each job: its size, the backend's exit status and merge or refusal line,
# its wall time, the peak memory of the backend with its merge (GNU time)
# and that of the merge alone (the backend's debug line).
#
#   everyday      DOCUMENTS (20) documents of PAGES (100) pages
#   largest ...   just under the page and object limits (20000 pages,
#                 100000 objects), over four documents and in one
#   24 x 20000    the job that took 3.9 GB before the limits: now refused
#   xref bomb     a 0.4 MB document whose cross-reference stream unpacks to
#                 50 million entries, refused by the memory bound
#
# No agent runs, so a merged job then ends held (3) and a refused one
# with 5; neither leaves a job folder. Needs root (the backend hands files to
# their user). No timed assertions.
set -euo pipefail
export LC_ALL=C
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$here/build}
documents=${DOCUMENTS:-20}
pages=${PAGES:-100}
[ "$(id -u)" -eq 0 ] || { echo "bench/backend-merge.sh: run as root, as the print scheduler runs the backend" >&2; exit 1; }
bash "$here/scripts/setup.sh"
cmake -S "$here" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target corvanetavoren >/dev/null

work=$(mktemp -d -t tvb-XXXXXX)
trap 'rm -rf "$work"' EXIT

# A document of PAGES pages, each with its own content stream and EXTRAS
# annotations, all sharing one font: PAGES * (2 + EXTRAS) + 1 objects for
# the merged document to take.
make_document() { # OUT PAGES EXTRAS
  awk -v pages="$2" -v extras="$3" '
    function out(s) { printf "%s", s; offset += length(s) }
    function object(number, body) { at[number] = offset; out(number " 0 obj\n" body "\nendobj\n") }
    BEGIN {
      per = 2 + extras
      out("%PDF-1.4\n")
      kids = ""
      for (i = 0; i < pages; i++) kids = kids (4 + i * per) " 0 R "
      object(1, "<< /Type /Catalog /Pages 2 0 R >>")
      object(2, "<< /Type /Pages /Count " pages " /Kids [ " kids "] >>")
      object(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>")
      for (i = 0; i < pages; i++) {
        page = 4 + i * per
        annots = ""
        for (k = 0; k < extras; k++) annots = annots (page + 2 + k) " 0 R "
        object(page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents " (page + 1) " 0 R" \
                     " /Resources << /Font << /F1 3 0 R >> >> /Annots [ " annots "] >>")
        text = "BT /F1 12 Tf 72 720 Td (Page " (i + 1) " of the benchmark) Tj ET"
        object(page + 1, "<< /Length " length(text) " >>\nstream\n" text "\nendstream")
        for (k = 0; k < extras; k++)
          object(page + 2 + k, "<< /Type /Annot /Subtype /Text /Rect [72 72 92 92] /Contents (Note " (k + 1) ") >>")
      }
      count = 3 + pages * per
      xref = offset
      printf "xref\n0 %d\n0000000000 65535 f \n", count + 1
      for (n = 1; n <= count; n++) printf "%010d 00000 n \n", at[n]
      printf "trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n", count + 1, xref
    }' > "$1"
}

# A catalog with no pages, then a cross-reference stream of ENTRIES entries
# that all name the catalog: a few hundred kilobytes for the library to
# unpack into a table of about 80 bytes an entry.
make_xref_bomb() { # OUT ENTRIES
  local chunk=$work/entries data=$work/entries.z
  printf '\001\000\000\000\011\000' > "$chunk" # type 1, offset 9, generation 0
  for _ in $(seq 20); do cat "$chunk" "$chunk" > "$chunk.2" && mv "$chunk.2" "$chunk"; done # 2^20 entries
  for _ in $(seq $(($2 >> 20))); do cat "$chunk"; done | zlib-flate -compress > "$data"
  {
    printf '%%PDF-1.5\n'
    printf '1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n'
    printf '2 0 obj\n<< /Type /Pages /Kids [] /Count 0 >>\nendobj\n'
  } > "$1"
  local xref
  xref=$(stat -c %s "$1")
  {
    printf '3 0 obj\n<< /Type /XRef /Size %d /W [1 4 1] /Root 1 0 R /Filter /FlateDecode /Length %d >>\nstream\n' \
      $(($2 >> 20 << 20)) "$(stat -c %s "$data")"
    cat "$data"
    printf '\nendstream\nendobj\nstartxref\n%d\n%%%%EOF\n' "$xref"
  } >> "$1"
}

bash "$here/scripts/make-sample-pdf.sh" "$work/page.pdf" "A page of the benchmark"
copies() { # OUT FILE COUNT: the file's first page COUNT times, one object a page
  local list=()
  for _ in $(seq "$3"); do list+=("$2"); done
  qpdf --empty --pages "${list[@]}" -- "$1"
}

copies "$work/everyday-document.pdf" "$work/page.pdf" "$pages"
for _ in $(seq "$documents"); do cat "$work/everyday-document.pdf"; done > "$work/everyday.pdf"

make_document "$work/d5000.pdf" 5000 3
make_document "$work/d4999.pdf" 4999 3
make_document "$work/d19999.pdf" 19999 3
make_document "$work/d1.pdf" 1 0
cat "$work/d5000.pdf" "$work/d5000.pdf" "$work/d5000.pdf" "$work/d4999.pdf" > "$work/largest-spread.pdf"
cat "$work/d19999.pdf" "$work/d1.pdf" > "$work/largest-one.pdf"

copies "$work/d20000.pdf" "$work/page.pdf" 20000
for _ in $(seq 24); do cat "$work/d20000.pdf"; done > "$work/today.pdf"

make_xref_bomb "$work/bomb.pdf" $((50 << 20))
cat "$work/bomb.pdf" "$work/d1.pdf" > "$work/crafted.pdf"

run() { # NAME FILE
  local root=$work/root-$RANDOM status=0 seconds kib merge line
  mkdir -p "$root"
  TAVOREN_ROOT=$root TAVOREN_BACKEND_AGENT_TIMEOUT_MS=1 /usr/bin/time -f '%e %M' -o "$work/time" \
    "$build/bin/corvanetavoren" 1 "$(id -un)" "Benchmark.pdf" 1 "" < "$2" 2> "$work/messages" || status=$?
  read -r seconds kib < <(tail -n 1 "$work/time")
  merge=$(sed -n 's/^DEBUG: Merging job 1 took at most \([0-9]*\) KiB.*/\1/p' "$work/messages")
  line=$(grep -m 1 -E '^(INFO: Merged|ERROR: The job)' "$work/messages" | cut -d' ' -f2- || true)
  printf '%-26s %11s %4s %8s %13s %13s %6s  %s\n' "$1" "$(stat -c %s "$2")" "$status" "$seconds" "$kib" "${merge:--}" \
    "$(find "$root/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver" -mindepth 1 -maxdepth 1 2>/dev/null | wc -l)" "$line"
  rm -rf "$root"
}

printf '%-26s %11s %4s %8s %13s %13s %6s  %s\n' job bytes exit seconds "peak KiB" "merge KiB" folders result
run "everyday $documents x $pages" "$work/everyday.pdf"
run "largest, 4 documents" "$work/largest-spread.pdf"
run "largest, in 1 document" "$work/largest-one.pdf"
run "24 x 20000 pages" "$work/today.pdf"
run "xref bomb" "$work/crafted.pdf"
