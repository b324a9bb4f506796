#!/bin/sh
# Removes the Corvane Tavoren driver. Run as root; honours TAVOREN_ROOT.
#
#   Uninstall.sh            everything: the agents are stopped, the print
#                           queue is deleted with its jobs, every file and
#                           folder the installation made goes (the admin
#                           file, the shared folders with the spooled jobs and
#                           the logs, the installer's helper tool, working
#                           folder and receipts among them), but for the
#                           system's install log. A second run (of a copy: the
#                           first removes this script) finds nothing to do.
#   Uninstall.sh --upgrade  what the installer runs before it installs a
#                           version over this one: only the installed program
#                           files go, and the receipt. The print queue with its
#                           jobs, the admin file, the shared folders, running
#                           agents (the new version restarts them) and the
#                           helper tool that runs this stay. The printer
#                           backend stays too, so the queue never lacks it;
#                           the new one replaces it.
set -u
root=${TAVOREN_ROOT:-}
root=${root%/}
upgrade=false
case ${1:-} in
  --upgrade) upgrade=true ;;
  "") ;;
  *) echo "usage: Uninstall.sh [--upgrade]" >&2; exit 2 ;;
esac
printers=/Library/Printers/CorvaneTavoren
receipts=$root/var/db/receipts
receipt=$receipts/com.Corvane.TavorenInstaller.plist
list=$receipts/com.Corvane.TavorenInstaller.paths
backend=/usr/lib/cups/backend/corvanetavoren

# Installed by the Debian package, dpkg removes it: removing its files here
# would leave dpkg recording a package that is gone.
if [ -z "$root" ] && [ ! -e "$receipt" ] && command -v dpkg-query >/dev/null 2>&1; then
  case $(dpkg-query -W -f='${db:Status-Status}' corvane-tavoren 2>/dev/null) in
    installed | half-installed | unpacked | half-configured | triggers-awaited | triggers-pending)
      if [ "$upgrade" = false ]; then
        echo "Corvane Tavoren was installed by the Debian package corvane-tavoren: remove it with 'apt remove corvane-tavoren' ('apt purge corvane-tavoren' removes the settings and shared folders too)" >&2
        exit 1
      fi
      ;;
  esac
fi

# The processes running a program of ours, as PIDs: one find over /proc.
running() {
  pattern=$(printf '%s' "$1" | sed 's/[][*?\\]/\\&/g')
  find /proc -mindepth 2 -maxdepth 2 -name exe \( -lname "$pattern" -o -lname "$pattern (deleted)" \) 2>/dev/null |
    while IFS= read -r exe; do
      pid=${exe#/proc/}
      echo "${pid%/exe}"
    done
}

# Removes an entry, never following a link, and says so when there was one.
remove() {
  if [ -L "$root$1" ] || [ -e "$root$1" ]; then
    rm -rf -- "$root$1" && echo "Removed $1"
  fi
}

if [ "$upgrade" = false ]; then
  # The agents first, so none runs a program that is going away.
  for pid in $(running "$root$printers/CorvaneTavorenAgent"); do
    kill -TERM "$pid" 2>/dev/null && echo "Stopped the agent $pid"
  done

  # The print queue, while its backend is still there. Below a root only
  # that root's scheduler counts, never the machine's own.
  if [ -n "$root" ]; then
    CUPS_SERVER=$root/run/cups/cups.sock
    export CUPS_SERVER
  fi
  if command -v lpadmin >/dev/null 2>&1 && lpstat -p Corvane_Tavoren >/dev/null 2>&1; then
    lpadmin -x Corvane_Tavoren && echo "Removed the print queue Corvane_Tavoren"
  fi
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
    [ "$upgrade" = true ] && [ "$path" = "$backend" ] && continue
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
if [ -e "$receipt" ] || [ -e "$list" ]; then
  rm -f -- "$receipt" "$list"
  echo "Removed the receipt"
fi

if [ "$upgrade" = true ]; then
  echo "Corvane Tavoren Driver removed for an upgrade"
  exit 0
fi

# What the installation made besides the package's files.
remove "$backend"
remove /Library/Preferences/CorvaneTavorenAdmin.plist
remove /Library/Preferences/CorvaneTavorenAdmin.plist.old
# The shared folders, with the jobs spooled, held and logged in them.
remove /private/tmp/Corvane_Tavoren_Socket
remove /private/var/log/cups/tavorencups
remove /var/log/cups/corvanetavorencups

# The installer's helper tool, stopped first; its socket and pid file go with it.
helper=/Library/PrivilegedHelperTools/com.kyr.InstallerHelperTool
for pid in $(running "$root$helper"); do
  kill -TERM "$pid" 2>/dev/null && echo "Stopped the helper tool $pid"
done
remove "$helper"
remove "$helper.support"
remove /var/run/com.kyr.HelperTool.xpc
remove /var/run/com.kyr.InstallerHelperTool.pid
# The installer's working folder and the package installer's lock.
remove /var/tmp/kyr
remove /var/db/receipts/.installer.lock

# Folders only this system uses, when nothing else is in them.
for folder in /Library/Printers/CorvaneTavoren /Library/Printers /Library/Preferences /Library/PrivilegedHelperTools \
              /Library /private/var/log/cups /private/var/log /private/var /private/tmp /private \
              /usr/share/ppd/corvanetavoren /var/db/receipts /var/db; do
  if [ -d "$root$folder" ] && [ ! -L "$root$folder" ] && rmdir -- "$root$folder" 2>/dev/null; then
    echo "Removed $folder"
  fi
done

echo "Corvane Tavoren Driver removed"
exit 0
