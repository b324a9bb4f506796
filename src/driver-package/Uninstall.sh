#!/bin/sh
# Removes the Corvane Tavoren driver: stops the hand-off agents running from
# it, deletes its print queue, removes every file and folder its package
# installed (as listed beside the package's receipt) and the folders it
# shares between users when they are empty, then the receipt. Run as root. Honours TAVOREN_ROOT; a second
# run finds nothing left and ends successfully.
set -u
root=${TAVOREN_ROOT:-}
root=${root%/}
receipts=$root/var/db/receipts
receipt=$receipts/com.Corvane.TavorenInstaller.plist
list=$receipts/com.Corvane.TavorenInstaller.paths
agent=$root/Library/Printers/CorvaneTavoren/CorvaneTavorenAgent

# The agents first, so none runs a program that is going away.
for process in /proc/[0-9]*; do
  executable=$(readlink "$process/exe" 2>/dev/null) || continue
  case $executable in
    "$agent" | "$agent (deleted)")
      kill -TERM "${process#/proc/}" 2>/dev/null && echo "Stopped the agent ${process#/proc/}" ;;
  esac
done

# The print queue, while its backend is still there. Below a root only that
# root's scheduler counts, never the machine's own.
if [ -n "$root" ]; then
  CUPS_SERVER=$root/run/cups/cups.sock
  export CUPS_SERVER
fi
if command -v lpadmin >/dev/null 2>&1 && lpstat -p Corvane_Tavoren >/dev/null 2>&1; then
  lpadmin -x Corvane_Tavoren && echo "Removed the print queue Corvane_Tavoren"
fi

# Only absolute paths without ".." count; anything else in the list is
# no path of ours.
listed() {
  while IFS= read -r path; do
    case $path in
      */../* | */.. | */./* | */. | "") ;;
      /*) printf '%s\n' "$path" ;;
    esac
  done < "$list"
}

if [ -f "$list" ]; then
  # Files and links first (a link is removed itself, never followed) ...
  listed | while IFS= read -r path; do
    if [ -L "$root$path" ] || [ -f "$root$path" ]; then
      rm -f -- "$root$path"
    fi
  done
  # ... then the folders, deepest first, each only when empty.
  listed | sort -r | while IFS= read -r path; do
    if [ -d "$root$path" ] && [ ! -L "$root$path" ]; then
      rmdir -- "$root$path" 2>/dev/null || true
    fi
  done
  echo "Removed the installed files"
fi

# The shared folders: the sockets of the stopped agents and the client's
# log go; spooled jobs are kept until their folders are empty.
rm -rf -- "$root/private/tmp/Corvane_Tavoren_Socket"
rm -f -- "$root/private/var/log/cups/tavorencups/tavorendriver.log" \
         "$root/private/var/log/cups/tavorencups/tavorendriver.1.log"
rmdir -- "$root/private/var/log/cups/tavorencups" 2>/dev/null || true
# The folders above them that only this driver uses, when nothing else is in them.
for folder in /private/var/log/cups /private/var/log /private/var /private/tmp /private; do
  rmdir -- "$root$folder" 2>/dev/null || true
done
rmdir -- "$root/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver" \
         "$root/var/log/cups/corvanetavorencups" 2>/dev/null || true

rm -f -- "$receipt" "$list"
echo "Corvane Tavoren Driver removed"
exit 0
