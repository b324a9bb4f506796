#!/usr/bin/env bash
# Writes a small one-page PDF with a line of text: make-sample-pdf.sh OUT [TEXT]
set -euo pipefail
export LC_ALL=C
out=${1:?usage: make-sample-pdf.sh OUT [TEXT]}
text=${2:-Corvane Tavoren sample document}
stream="BT /F1 24 Tf 72 720 Td ($text) Tj ET"
objects=(
  "<< /Type /Catalog /Pages 2 0 R >>"
  "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"
  "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>"
  "<< /Length ${#stream} >>
stream
$stream
endstream"
  "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"
)
{
  printf '%%PDF-1.4\n'
  offsets=()
  body=$'%PDF-1.4\n'
  for i in "${!objects[@]}"; do
    offsets+=("${#body}")
    obj="$((i + 1)) 0 obj
${objects[$i]}
endobj
"
    body+="$obj"
    printf '%s' "$obj"
  done
  xref=${#body}
  printf 'xref\n0 %d\n0000000000 65535 f \n' $((${#objects[@]} + 1))
  for o in "${offsets[@]}"; do printf '%010d 00000 n \n' "$o"; done
  printf 'trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n' $((${#objects[@]} + 1)) "$xref"
} > "$out"
