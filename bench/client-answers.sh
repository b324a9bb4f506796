#!/usr/bin/env bash
# tavoren-submit against a service whose answers are huge: for each fault the
# job ends on its error, and this prints the client's peak resident memory
# and time against a job with ordinary answers. Prints figures; asserts nothing.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$here/build}
bash "$here/scripts/build.sh" >/dev/null
source "$here/scripts/lib/demo-env.sh"

work=$(mktemp -d)
root=$work/root
service=""
trap '[ -z "$service" ] || kill "$service" 2>/dev/null || true; rm -rf "$work"' EXIT
tavoren_make_root "$root" "$build"
client=$(tavoren_install_client "$root" "$build")
submit="$(dirname "$client")/tavoren-submit"
tavoren_remember_owner "$root" "bench@release.test"

printf '%-40s %8s %10s  %s\n' "fault" ms "peak KiB" "exit status"
for fault in none servertime:chunked=200MiB create:chunked=200MiB status:inflate=8GiB,chunked status:chunked=200MiB,gzip; do
  rm -f "$root/service.port"
  args=(--status-sequence 1,4)
  [ "$fault" = none ] || args+=(--fault "$fault")
  tavoren_start_service "$root" "$build" "${args[@]}"
  service=$TAVOREN_SERVICE_PID
  tavoren_write_admin "$root" "$TAVOREN_SERVICE_PORT" true 0
  job=$(tavoren_spool_job "$root" "$here" "Bench")
  start=$(date +%s%N)
  status=0
  TAVOREN_ROOT=$root /usr/bin/time -f '%M' -o "$work/peak" "$submit" "Bench.pdf:: ::$job" >/dev/null 2>&1 || status=$?
  ms=$((($(date +%s%N) - start) / 1000000))
  kill "$service"
  wait "$service" 2>/dev/null || true
  service=""
  printf '%-40s %8s %10s  %s\n' "$fault" "$ms" "$(tail -1 "$work/peak")" "$status"
done
