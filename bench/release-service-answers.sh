#!/usr/bin/env bash
# The substitute release service sending big shaped answers on loopback: for
# each fault, a fresh service answers one request read by curl; prints the
# bytes on the wire, the bytes they decode to, the time and the service's
# peak resident memory, against a plain answer. Prints figures; asserts nothing.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$here/build}
bash "$here/scripts/setup.sh"
[ -f "$build/build.ninja" ] || cmake -S "$here" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target tavoren-release-service >/dev/null

work=$(mktemp -d)
service=""
trap '[ -z "$service" ] || kill "$service" 2>/dev/null || true; rm -rf "$work"' EXIT

printf '%-28s %12s %12s %8s %10s\n' fault "wire bytes" decoded ms "peak KiB"
for fault in none chunked=200MiB chunked=1GiB chunked=1GiB,gzip inflate=1GiB inflate=1GiB,chunked; do
  rm -f "$work/port"
  args=(--quiet --port 0 --port-file "$work/port" --storage "$work/service")
  [ "$fault" = none ] || args+=(--fault "servertime:$fault")
  "$build/bin/tavoren-release-service" "${args[@]}" >/dev/null &
  service=$!
  for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
  decode=cat
  case $fault in *gzip* | *inflate*) decode="gzip -dc" ;; esac
  start=$(date +%s%N)
  decoded=$(curl -sS --noproxy '*' "http://127.0.0.1:$(cat "$work/port")/api/v2/servertime" \
    | tee >(wc -c > "$work/wire") | $decode | wc -c)
  ms=$((($(date +%s%N) - start) / 1000000))
  peak=$(awk '/^VmHWM/ {print $2}' "/proc/$service/status")
  kill "$service"
  wait "$service" || true
  service=""
  printf '%-28s %12s %12s %8s %10s\n' "$fault" "$(cat "$work/wire")" "$decoded" "$ms" "$peak"
done
