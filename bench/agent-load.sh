#!/usr/bin/env bash
# Load on the hand-off agent: MESSAGES job messages (1000) from SENDERS (4)
# concurrent senders, as fast as the agent takes them, each starting the
# stand-in client that records its arguments. Prints messages sent, clients
# started, the agent's peak memory and its open descriptors before and
# after; fails only if a client is missing. No timed assertions.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$here/build}
messages=${MESSAGES:-1000}
senders=${SENDERS:-4}
[ "$(id -u)" -eq 0 ] || { echo "bench/agent-load.sh: run as root (the socket root must be root's, as the driver package makes it)" >&2; exit 1; }
bash "$here/scripts/build.sh" >/dev/null

# A short root: it is part of the socket path.
work=$(mktemp -d -t tvl-XXXXXX)
agent=
trap '[ -n "$agent" ] && kill "$agent" 2>/dev/null; rm -rf "$work"' EXIT
root=$work/r
client="$root/Library/Printers/CorvaneTavoren/Corvane Tavoren for Mac.app/contents/MacOS/Corvane Tavoren for Mac"
records=$root/var/tmp/stand-in-client
mkdir -p "$(dirname "$client")" "$records" "$root/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver"
install -d -o root -g root -m 1777 "$root/private/tmp/Corvane_Tavoren_Socket"
cp "$build/tests/agent/tavoren_stand_in_client" "$client"

user=$(id -un)
socket=$root/private/tmp/Corvane_Tavoren_Socket/$user/com.corvane.TavorenAgentApp.socket
# The stand-in client needs no display.
QT_QPA_PLATFORM=offscreen TAVOREN_ROOT=$root "$build/bin/CorvaneTavorenAgent" 2>"$work/agent.err" &
agent=$!
for _ in $(seq 200); do [ -S "$socket" ] && break; sleep 0.05; done
[ -S "$socket" ] || { echo "the agent did not open its socket" >&2; cat "$work/agent.err" >&2; exit 1; }

fds() { ls "/proc/$agent/fd" | wc -l; }
fds_before=$(fds)

start=$(date +%s.%N)
per=$((messages / senders))
for s in $(seq "$senders"); do
  count=$per
  [ "$s" = "$senders" ] && count=$((messages - per * (senders - 1)))
  "$build/tests/agent/tavoren_agent_sender" "$socket" "$count" "s$s" > "$work/sent-$s" 2>"$work/sender-$s.err" &
done
wait $(jobs -p | grep -v "^$agent$") || true
sent=$(cat "$work"/sent-* | awk '{n += $1} END {print n + 0}')
end=$(date +%s.%N)

# Clients run on their own; give them a generous while to record.
for _ in $(seq 1200); do
  started=$(find "$records" -name '*.args' | wc -l)
  [ "$started" -ge "$sent" ] && break
  sleep 0.1
done
started=$(find "$records" -name '*.args' | wc -l)
for _ in $(seq 100); do
  children=$(awk -v p="$agent" '{ sub(/.*\) /, ""); split($0, f, " "); if (f[2] == p) n++ } END { print n + 0 }' /proc/[0-9]*/stat 2>/dev/null)
  [ "$children" = 0 ] && break
  sleep 0.1
done
fds_after=$(fds)
peak=$(awk '/^VmHWM/ {print $2, $3}' "/proc/$agent/status")

printf 'messages sent            %s (%s senders)\n' "$sent" "$senders"
printf 'clients started          %s\n' "$started"
printf 'sending took             %s s\n' "$(awk -v a="$start" -v b="$end" 'BEGIN {printf "%.2f", b - a}')"
printf 'agent peak memory        %s\n' "$peak"
printf 'agent open descriptors   %s before, %s after\n' "$fds_before" "$fds_after"
printf 'agent children left      %s\n' "$children"
[ "$started" = "$sent" ] && [ "$sent" = "$messages" ] || { echo "clients started differ from messages sent" >&2; exit 1; }
