#!/usr/bin/env bash
# Upload benchmark on loopback: tavoren-submit uploading 70 MiB against curl
# posting the same multipart body to the same substitute service, and the
# client's peak memory for 70 MiB against 1 MiB. Prints figures; asserts nothing.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$here/build}
runs=${RUNS:-3}
bash "$here/scripts/build.sh" >/dev/null

work=$(mktemp -d)
trap 'kill $service 2>/dev/null || true; rm -rf "$work"' EXIT
root=$work/root
spool=$root/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver
mkdir -p "$root/Library/Preferences" "$root/private/var/log/cups/tavorencups" "$spool" "$work/service"

"$build/bin/tavoren-release-service" --port 0 --port-file "$work/port" --storage "$work/service" \
  --status-sequence 4 > "$work/service.log" &
service=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
port=$(cat "$work/port")

entries=""
add() { entries+="<key>$1</key><$2>$3</$2>"; }
add host string "127.0.0.1:$port"; add emailto string print@release.test
add filesizelimitinmb integer 70; add createdrntimeout integer 180; add getdrntimeout integer 180
add getservertimeout integer 30; add conversiontimeout integer 180; add privacypolicy string x
add termsofuse string x; add drnpollingtimeinsecond integer 0; add releasecodetextlength integer 180
add emailentrytextlength integer 360; add documentnamelength integer 30; add locateprinter string ""
add statuspageurl string status.test; add helpurl string x; add secure_connect integer 0
printf '<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict><key>IsPrivateInstall</key><true/>%s</dict></plist>\n' \
  "$entries" > "$root/Library/Preferences/CorvaneTavorenAdmin.plist"

head -c $((70 * 1024 * 1024)) /dev/urandom > "$work/big.pdf"
head -c $((1024 * 1024)) /dev/urandom > "$work/small.pdf"

submit() { # file -> "seconds peak-KiB"
  local job=$spool/job-$RANDOM$RANDOM
  mkdir -p "$job" && cp "$1" "$job/job.pdf"
  TAVOREN_ROOT=$root /usr/bin/time -f '%e %M' -o "$work/time" \
    "$build/bundle/Corvane Tavoren for Mac.app/Contents/MacOS/tavoren-submit" "Bench.pdf:: ::$job/job.pdf" \
    >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
  cat "$work/time"
}

key='8Hq%V27%5Lm&Xw3c'
boundary=Boundary-$(cat /proc/sys/kernel/random/uuid | tr a-z A-Z)
{
  printf -- '--%s\r\nContent-Disposition: form-data; name="Owner"\r\nContent-Type: application/json\r\n\r\n' "$boundary"
  printf '{"EmailTo":"print@release.test","UploadClient":5}\r\n'
  printf -- '--%s\r\nContent-Disposition: form-data; name="file"; filename="Untitled.pdf"\r\n' "$boundary"
  printf 'Content-Description: Bench.pdf\r\nContent-Type: application/pdf\r\n\r\n'
  cat "$work/big.pdf"
  printf '\r\n--%s--\r\n' "$boundary"
} > "$work/body"

post_curl() { # -> "seconds peak-KiB"
  local t text signature
  t=$(curl -s "http://127.0.0.1:$port/api/v2/servertime" | sed 's/[^0-9]//g')
  text="timestamp=${t}method=postresource=/api/v2/drns/"
  signature=$(printf '%s' "$text" | openssl dgst -sha256 -hmac "$key" -binary | base64)
  /usr/bin/time -f '%e %M' -o "$work/time" curl -s -o /dev/null -w '%{http_code}' \
    -H "Tavoren-signature: $signature" -H "Tavoren-timestamp: $t" \
    -H "Tavoren-clientid: 6f2b8e41-0c7d-4a93-b5e6-19d4c3a7f802" -H "Tavoren-serial;" \
    -H "Content-Type: multipart/form-data; boundary=$boundary" -H "Expect:" \
    --data-binary @"$work/body" "http://127.0.0.1:$port/api/v2/drns/" > "$work/code"
  [ "$(cat "$work/code")" = 201 ] || { echo "curl upload answered $(cat "$work/code")" >&2; cat "$work/service.log" >&2; exit 1; }
  cat "$work/time"
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

client_times=() curl_times=() client_mem=0 small_mem=0
for _ in $(seq "$runs"); do
  read -r s m < <(submit "$work/big.pdf"); client_times+=("$s"); client_mem=$m
  read -r s m < <(post_curl); curl_times+=("$s"); curl_mem=$m
  read -r s m < <(submit "$work/small.pdf"); small_mem=$m
done
client=$(printf '%s\n' "${client_times[@]}" | median)
curlt=$(printf '%s\n' "${curl_times[@]}" | median)

echo "Upload of 70 MiB over HTTP on loopback, median of $runs runs"
echo "  tavoren-submit (whole job: service time, upload, one poll): ${client} s"
echo "  curl (the same multipart body, upload only):               ${curlt} s"
awk -v a="$client" -v b="$curlt" 'BEGIN { if (b > 0) printf "  ratio client/curl: %.2f (goal: at most 1.25)\n", a / b }'
echo "Peak memory (maximum resident set)"
echo "  tavoren-submit, 70 MiB file: $((client_mem / 1024)) MiB"
echo "  tavoren-submit,  1 MiB file: $((small_mem / 1024)) MiB"
echo "  difference: $(((client_mem - small_mem) / 1024)) MiB (goal: at most 32 MiB)"
echo "  curl, 70 MiB body: $((curl_mem / 1024)) MiB"
