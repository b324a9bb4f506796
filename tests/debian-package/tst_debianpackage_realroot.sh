#!/usr/bin/env bash
# CHANGES THIS MACHINE'S REAL ROOT: installs the Debian package into / with
# apt, prints through its queue (a private print scheduler of the test, as
# the machine's own does not run, using the backend dpkg installed), upgrades
# it, lets the installation medium's package take it over and takes it back,
# removes and purges it, and checks that the folders it touched are listed
# as before. For throw-away machines: it skips unless root on a machine
# without this system installed. Its cleanup (--cleanup, run by ctest as a
# fixture even when this fails) puts / back as it was.
#   tst_debianpackage_realroot.sh [--cleanup] STATE DEB PAYLOAD SOURCE_DIR DRIVER_SCRIPTS PKGBUILD INSTALLER SAMPLE_PDF_SCRIPT
set -uo pipefail
cleanup=false
if [ "${1:-}" = --cleanup ]; then
  cleanup=true
  shift
fi
state=$1 deb=${2:-} payload=${3:-} source=${4:-} scripts=${5:-} pkgbuild=${6:-} installer=${7:-} samplepdf=${8:-}
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
printers=/Library/Printers/CorvaneTavoren
admin=/Library/Preferences/CorvaneTavorenAdmin.plist
receipt=/var/db/receipts/com.Corvane.TavorenInstaller.plist
queue=Corvane_Tavoren
# Everything the system or this test may touch below /.
watched=(/Library /private /var/db /var/tmp/kyr /var/log/install.log /var/log/cups /usr/lib/cups/backend
         /usr/share/ppd /usr/share/doc/corvane-tavoren /etc/xdg/autostart /etc/cups)

listing() {
  for path in "${watched[@]}"; do
    find "$path" -printf '%p %y %m %u:%g\n' 2>/dev/null
  done | LC_ALL=C sort
  local s
  s=$(dpkg-query -W -f='${db:Status-Status}' corvane-tavoren 2>/dev/null) || s=not-installed
  echo "dpkg: $s"
}

# Stops what the test started, by the process ids it recorded.
stop_recorded() {
  for name in agent cupsd; do
    [ -f "$state/$name.pid" ] || continue
    pid=$(cat "$state/$name.pid")
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
      kill -TERM "$pid" 2>/dev/null
      for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
      kill -KILL "$pid" 2>/dev/null
    fi
    rm -f -- "$state/$name.pid"
  done
}

if [ "$cleanup" = true ]; then
  [ -f "$state/before" ] || exit 0
  stop_recorded
  status=$(dpkg-query -W -f='${db:Status-Status}' corvane-tavoren 2>/dev/null || echo not-installed)
  if [ "$status" != not-installed ] && ! grep -q '^dpkg: installed$' "$state/before"; then
    dpkg --purge --force-remove-reinstreq corvane-tavoren >/dev/null 2>&1 || echo "cleanup: dpkg --purge failed"
  fi
  if [ -f "$receipt" ] && [ -f "$printers/Uninstall.sh" ]; then
    sh "$printers/Uninstall.sh" >/dev/null 2>&1 || echo "cleanup: Uninstall.sh failed"
  fi
  # What was not there before the test goes; nothing else is touched.
  for path in /Library /private /var/db /var/tmp/kyr /var/log/install.log /var/log/cups/corvanetavorencups \
              /usr/lib/cups/backend/corvanetavoren /usr/share/ppd/corvanetavoren /usr/share/doc/corvane-tavoren \
              /etc/xdg/autostart/CorvaneTavorenAgent.desktop; do
    if { [ -e "$path" ] || [ -L "$path" ]; } && ! grep -q "^$path " "$state/before"; then
      rm -rf -- "$path" && echo "cleanup: removed $path"
    fi
  done
  listing > "$state/after-cleanup"
  if ! diff -u "$state/before" "$state/after-cleanup"; then
    echo "cleanup: the machine's folders differ from before the test (above)"
    exit 1
  fi
  rm -f -- "$state/before"
  echo "cleanup: the machine's folders are as before the test"
  exit 0
fi

# A listing of an earlier run must not lead this run's cleanup.
rm -f -- "$state/before"
echo "This test changes the machine's real root (/): it installs, upgrades and purges the Debian package corvane-tavoren."
if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: runs as root only"
  exit 77
fi
for tool in dpkg apt-get cupsd lp lpstat; do
  command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is missing"; exit 77; }
done
if dpkg-query -W -f='${db:Status-Status}' corvane-tavoren 2>/dev/null | grep -qv not-installed \
   || [ -e "$receipt" ] || [ -e "$printers" ]; then
  echo "SKIP: Corvane Tavoren is installed on this machine; this test runs only where it is not"
  exit 77
fi

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "PASS: $*"; }
check() { # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}
# Waits for a condition for at most a generous while: the machine may be slow.
await() {
  for _ in $(seq 1200); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}
status() {
  local s
  s=$(dpkg-query -W -f='${db:Status-Status} ${Version}' corvane-tavoren 2>/dev/null) || s=not-installed
  echo "${s% }"
}

mkdir -p "$state"
stop_recorded
listing > "$state/before"
work=$(mktemp -d)
chmod 0755 "$work"
trap 'rm -rf -- "$work"' EXIT
version=$(dpkg-deb -f "$deb" Version)
newer=$version.1
bash "$source/build-deb.sh" "$payload" "$source/control" "$newer" "$work/corvane-tavoren_${newer}.deb" >/dev/null ||
  fail "building the newer package $newer"
bash "$samplepdf" "$work/sample.pdf" >/dev/null
# The medium's driver package, from the same payload and scripts, its
# programs stripped as the Debian package carries them: the package
# installer refuses a payload of more than 16 MiB compressed, which the
# unstripped programs exceed.
cp -a -- "$payload" "$work/payload"
find "$work/payload" -type f -exec sh -c 'head -c 4 "$1" | grep -q ELF && strip --strip-unneeded "$1"' _ {} \;
driver=$work/driver.pkg
"$pkgbuild" --root "$work/payload" --scripts "$scripts" --identifier com.Corvane.TavorenInstaller \
  --version "$version" --install-location / "$driver" >/dev/null || fail "building the driver package"

# 1. apt installs it while no print scheduler runs: it succeeds and says how
# to make the queue later.
export DEBIAN_FRONTEND=noninteractive
unset CUPS_SERVER
apt-get install -y -q --no-install-recommends "$deb" < /dev/null > "$work/install.out" 2>&1
cat "$work/install.out"
check "apt installs $version" test "$(status)" = "installed $version"
check "without a scheduler the installation says how to make the queue" \
  grep -q "no print queue was made.*$printers/PrintQueue.sh" "$work/install.out"
check "the backend is root's and 0700" test "$(stat -c '%U %a' /usr/lib/cups/backend/corvanetavoren)" = "root 700"
check "the admin file is made" test -f "$admin"
for folder in /private/tmp/Corvane_Tavoren_Socket /private/var/log/cups/tavorencups \
              /var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver; do
  check "the shared folder $folder is root's and 1777" test "$(stat -c '%U %a' "$folder")" = "root 1777"
done

# The medium's uninstaller leaves a dpkg installation to dpkg.
sh "$printers/Uninstall.sh" > "$work/uninstall.out" 2>&1
check "Uninstall.sh refuses the Debian package's installation" test $? -eq 1
check "Uninstall.sh names apt remove" grep -q "apt remove corvane-tavoren" "$work/uninstall.out"
check "Uninstall.sh leaves the files" test -f "$admin" -a -x "$printers/CorvaneTavorenAgent"

# 2. The private scheduler: its backend folder is the machine's, where dpkg
# put ours; then the queue as the installation's message says.
cups=$work/cups
mkdir -p "$cups/etc" "$cups/run" "$cups/cache" "$cups/spool/tmp" "$cups/log" "$cups/bin"
for part in filter daemon notifier driver monitor cgi-bin backend; do
  [ -e "/usr/lib/cups/$part" ] && ln -s "/usr/lib/cups/$part" "$cups/bin/$part"
done
socket=$cups/run/cups.sock
{
  echo "Listen $socket"
  echo "LogLevel debug"
  echo "Browsing No"
  echo "WebInterface No"
  grep -v -E '^[[:space:]]*(Listen|Port|LogLevel|Browsing|BrowseLocalProtocols|WebInterface|IdleExitTimeout)' /etc/cups/cupsd.conf
} > "$cups/etc/cupsd.conf"
cat > "$cups/etc/cups-files.conf" <<CONF
SystemGroup root
User lp
Group lp
ServerRoot $cups/etc
StateDir $cups/run
CacheDir $cups/cache
RequestRoot $cups/spool
TempDir $cups/spool/tmp
ServerBin $cups/bin
DataDir /usr/share/cups
AccessLog $cups/log/access_log
ErrorLog $cups/log/error_log
PageLog $cups/log/page_log
CONF
/usr/sbin/cupsd -f -c "$cups/etc/cupsd.conf" -s "$cups/etc/cups-files.conf" < /dev/null > "$work/cupsd.out" 2>&1 &
echo $! > "$state/cupsd.pid"
export CUPS_SERVER=$socket
scheduler_answers() { LC_ALL=C lpstat -r 2>/dev/null | grep -q "is running"; }
check "the test's print scheduler runs" await scheduler_answers
"$printers/PrintQueue.sh" > "$work/queue.out" 2>&1
cat "$work/queue.out"
check "PrintQueue.sh makes the queue" grep -q "Print queue $queue ready" "$work/queue.out"
check "the queue prints to the installed backend" sh -c "lpstat -v $queue | grep -q corvanetavoren:/"

# 3. An administrator's change, a running agent (in no graphical session, so
# it releases nothing) and a print: the job waits held for its user.
sed -i -e '/<key>heldjobdays<\/key>/{n;s#<integer>.*</integer>#<integer>14</integer>#}' "$admin"
env -i PATH="$PATH" HOME=/root USER=root LOGNAME=root "$printers/CorvaneTavorenAgent" < /dev/null > "$work/agent.out" 2>&1 &
agent=$!
echo "$agent" > "$state/agent.pid"
agent_listens() { find /private/tmp/Corvane_Tavoren_Socket/root -type s 2>/dev/null | grep -q .; }
check "the agent listens" await agent_listens
job=$(lp -d "$queue" "$work/sample.pdf" 2>&1 | sed -n 's/.*Corvane_Tavoren-\([0-9]*\).*/\1/p')
check "lp takes the job" test -n "$job"
held_mark=/var/log/cups/corvanetavorencups/held/$job
check "the backend holds the job for its user" await test -f "$held_mark"
has_job() { lpstat -o "$queue" 2>/dev/null | grep -q "^$queue-$job "; }
agent_fresh() { kill -0 "$agent" 2>/dev/null && [ "$(readlink "/proc/$agent/exe")" = "$printers/CorvaneTavorenAgent" ]; }
check "the scheduler keeps the held job" has_job

# 4. Upgrade to the newer package: the held job, the admin file's change and
# the agent (restarted from the new files, same process) stay.
dpkg -i "$work/corvane-tavoren_${newer}.deb" < /dev/null > "$work/upgrade.out" 2>&1
cat "$work/upgrade.out"
check "dpkg upgrades to $newer" test "$(status)" = "installed $newer"
check "the upgrade keeps the held job" has_job
check "the upgrade keeps the job's hold mark" test -f "$held_mark"
check "the upgrade keeps the administrator's change" grep -q "<integer>14</integer>" "$admin"
check "the upgrade restarts the agent from the new files" grep -q "Restarted the agent $agent" "$work/upgrade.out"
check "the agent runs the new file" await agent_fresh

# 5. The installation medium's driver package over it: dpkg forgets the
# Debian package, nothing else goes.
"$installer" -pkg "$driver" -target / -verboseR < /dev/null > "$work/medium.out" 2>&1
check "the medium's package installs over the Debian package" test $? -eq 0
grep -v '^installer:%' "$work/medium.out"
check "dpkg no longer lists the package" test "$(status)" = "not-installed"
check "the medium's receipt is there" test -f "$receipt"
check "the programs are there" test -x "$printers/CorvaneTavorenAgent"
check "the takeover keeps the held job" has_job
check "the takeover keeps the administrator's change" grep -q "<integer>14</integer>" "$admin"
check "the agent runs the medium's file" await agent_fresh

# 6. The Debian package over the medium's installation: its Uninstall.sh
# --upgrade goes first, the receipt with it.
dpkg -i "$work/corvane-tavoren_${newer}.deb" < /dev/null > "$work/back.out" 2>&1
cat "$work/back.out"
check "dpkg installs over the medium's installation" test "$(status)" = "installed $newer"
check "the medium's receipt is gone" test ! -e "$receipt"
check "the takeover keeps the held job" has_job
check "the takeover keeps the administrator's change" grep -q "<integer>14</integer>" "$admin"
check "the agent runs the package's file" await agent_fresh

# 7. apt remove: the queue with its jobs, the programs and the agents go;
# the admin file stays.
apt-get remove -y -q corvane-tavoren < /dev/null > "$work/remove.out" 2>&1
cat "$work/remove.out"
check "apt removes the package" test "$(status)" = "config-files $newer"
check "the queue is deleted" sh -c "! lpstat -p $queue >/dev/null 2>&1"
agent_gone() { ! kill -0 "$agent" 2>/dev/null || [ "$(cat "/proc/$agent/stat" 2>/dev/null | cut -d' ' -f3)" = Z ]; }
check "the agent is stopped" await agent_gone
wait "$agent" 2>/dev/null
check "the programs are gone" test ! -e "$printers"
check "the backend is gone" test ! -e /usr/lib/cups/backend/corvanetavoren
check "the admin file stays" test -f "$admin"

# 8. dpkg --purge: the admin file, the shared folders and the logs too.
dpkg --purge corvane-tavoren < /dev/null > "$work/purge.out" 2>&1
cat "$work/purge.out"
check "dpkg purges the package" test "$(status)" = "not-installed"
stop_recorded
# The package installer's own log keeps its lines, as after Uninstall.sh.
listing | grep -v '^/var/log/install.log ' > "$state/after"
if diff -u <(grep -v '^/var/log/install.log ' "$state/before") "$state/after"; then
  pass "the machine's folders are listed as before the installation"
else
  fail "the machine's folders differ from before the installation (above)"
fi

[ "$failures" -eq 0 ] || { echo "$failures failures"; exit 1; }
echo "all passed"
