#!/bin/sh
# Makes the print queue Corvane_Tavoren, or brings the existing one up to
# date, for the installed printer backend. Run as root; both ways of
# installing (the driver package's postinstall, the Debian package's
# postinst) call it, and an administrator runs it by hand once a print
# scheduler runs that did not at installation time:
#   PrintQueue.sh [TARGET]
# TARGET is the installation's root, / when absent. Without a scheduler it
# says so and succeeds: the installation does not depend on it.
set -eu
target=${1:-/}
target=${target%/}
self=/Library/Printers/CorvaneTavoren/PrintQueue.sh

# The scheduler runs a backend that only root can run as root, so the
# backend must stay root's and 0700.
backend=$target/usr/lib/cups/backend/corvanetavoren
ppd=$target/usr/share/ppd/corvanetavoren/CorvaneTavoren.ppd
queue=Corvane_Tavoren
if [ -f "$backend" ] && [ ! -L "$backend" ]; then
  chown root:root "$backend"
  chmod 0700 "$backend"
  echo "Printer backend registered"
fi

# Below a root (tests, the demo) only that root's scheduler counts, never the
# machine's own; on the computer itself the scheduler's usual settings apply.
if [ -n "$target" ]; then
  CUPS_SERVER=$target/run/cups/cups.sock
  export CUPS_SERVER
fi
if ! command -v lpadmin >/dev/null 2>&1; then
  echo "No print scheduler (CUPS) is installed: no print queue was made. Install CUPS, then run $self as root (or this installation again) to print from applications."
  exit 0
fi
# The answer is in the user's language unless told otherwise.
if ! LC_ALL=C lpstat -r 2>/dev/null | grep -q "is running"; then
  echo "The print scheduler (CUPS) is not running: no print queue was made. Start it, then run $self as root (or this installation again) to print from applications."
  exit 0
fi
# The paper of the computer for text and oversized pages; Letter otherwise.
paper=
if [ -r "$target/etc/papersize" ]; then
  case $(sed -n 's/^[[:space:]]*\([A-Za-z0-9]*\).*/\1/p' "$target/etc/papersize" | head -n 1 | tr 'A-Z' 'a-z') in
    a4) paper=A4 ;; a3) paper=A3 ;; a5) paper=A5 ;; legal) paper=Legal ;; tabloid) paper=Tabloid ;; letter) paper=Letter ;;
  esac
fi
if lpstat -p "$queue" >/dev/null 2>&1; then
  # Over an installed version: the queue keeps its jobs and the options its
  # administrator set; only the printer's description is brought up to date,
  # with the defaults chosen in the scheduler's copy of the old one (a new
  # description alone would bring the package's defaults back).
  defaults=
  previous=$target/etc/cups/ppd/$queue.ppd
  if [ -r "$previous" ]; then
    for option in $(sed -n 's/^\*OpenUI \*\([A-Za-z0-9]*\).*/\1/p' "$ppd"); do
      value=$(sed -n "s/^\*Default$option: *\([A-Za-z0-9._-]*\).*/\1/p" "$previous" | head -n 1)
      [ -n "$value" ] && defaults="$defaults -o $option=$value"
    done
  fi
  # shellcheck disable=SC2086
  output=$(lpadmin -p "$queue" -P "$ppd" $defaults 2>&1) || true
  printf '%s\n' "$output" | grep -v -e "deprecated" -e '^$' || true
  echo "Print queue $queue kept, with its jobs and options"
  exit 0
fi
# Pages that fit are never scaled; only larger ones are made to fit.
output=$(lpadmin -p "$queue" -E -v corvanetavoren:/ -P "$ppd" -D "Corvane Tavoren" -L "Print release" \
  -o printer-is-shared=false -o print-scaling-default=auto-fit ${paper:+-o PageSize=$paper} 2>&1) || true
printf '%s\n' "$output" | grep -v -e "deprecated" -e '^$' || true
if lpstat -p "$queue" >/dev/null 2>&1; then
  echo "Print queue $queue ready"
else
  echo "The print queue $queue could not be made; printing from applications is not possible until $self or this installation is run again."
fi
exit 0
