# Shared by the demo and the screenshot script: a root of its own with the
# substitute release service, the administrator file, an installed client
# and spooled jobs. Source it; every function takes the root first.

# Lays out the root's system folders and trusts the test authority.
tavoren_make_root() {
  local root=$1 build=$2
  rm -rf "$root"
  mkdir -p "$(tavoren_config_home "$root")"
  mkdir -p "$root/Library/Preferences" "$root/private/var/log/cups/tavorencups" "$root/etc/ssl/certs" \
           "$root/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver" "$root/service"
  cp "$build/test-data/certs/ca.pem" "$root/etc/ssl/certs/demo-ca.pem"
}

# Starts the service on HTTPS; sets TAVOREN_SERVICE_PID and TAVOREN_SERVICE_PORT.
tavoren_start_service() {
  local root=$1 build=$2; shift 2
  rm -f "$root/service.port"
  "$build/bin/tavoren-release-service" --address 127.0.0.1 --port 0 --port-file "$root/service.port" \
    --cert "$build/test-data/certs/server.pem" --key "$build/test-data/certs/server.key" \
    --storage "$root/service" "$@" >> "$root/service.log" 2>&1 &
  TAVOREN_SERVICE_PID=$!
  for _ in $(seq 200); do [ -s "$root/service.port" ] && break; sleep 0.05; done
  TAVOREN_SERVICE_PORT=$(cat "$root/service.port")
}

# The administrator file: service address, private (true) or public (false).
tavoren_write_admin() {
  local root=$1 port=$2 private=${3:-true} polling=${4:-1}
  cat > "$root/Library/Preferences/CorvaneTavorenAdmin.plist" <<PLIST
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>IsPrivateInstall</key><$private/>
	<key>host</key><string>127.0.0.1:$port</string>
	<key>emailto</key><string>print@release.test</string>
	<key>secure_connect</key><integer>1</integer>
	<key>filesizelimitinmb</key><integer>70</integer>
	<key>createdrntimeout</key><integer>180</integer>
	<key>getdrntimeout</key><integer>180</integer>
	<key>getservertimeout</key><integer>30</integer>
	<key>conversiontimeout</key><integer>180</integer>
	<key>privacypolicy</key><string>https://www.corvane-tavoren.example/legal/privacy/</string>
	<key>termsofuse</key><string>https://www.corvane-tavoren.example/legal/terms-of-use/</string>
	<key>drnpollingtimeinsecond</key><integer>$polling</integer>
	<key>releasecodetextlength</key><integer>180</integer>
	<key>emailentrytextlength</key><integer>360</integer>
	<key>documentnamelength</key><integer>30</integer>
	<key>locateprinter</key><string></string>
	<key>statuspageurl</key><string>status.corvane-tavoren.example</string>
	<key>helpurl</key><string>https://release.corvane-tavoren.example/faq</string>
</dict>
</plist>
PLIST
}

# Installs the built client bundle below the root, with both spellings of
# its Contents folder; prints the client executable's path.
tavoren_install_client() {
  local root=$1 build=$2
  local target=$root/Library/Printers/CorvaneTavoren
  mkdir -p "$target"
  rm -rf "$target/Corvane Tavoren for Mac.app"
  cp -R "$build/bundle/Corvane Tavoren for Mac.app" "$target/"
  [ -e "$target/Corvane Tavoren for Mac.app/contents" ] || ln -s Contents "$target/Corvane Tavoren for Mac.app/contents"
  echo "$target/Corvane Tavoren for Mac.app/Contents/MacOS/Corvane Tavoren for Mac"
}

# The configuration home of the demo's user, inside the root, so that the
# user's own ~/.config is neither read nor written.
tavoren_config_home() {
  echo "$1/home/config"
}

# Remembers the owner address as the client does for its user.
tavoren_remember_owner() {
  local root=$1 address=$2
  local folder
  folder=$(tavoren_config_home "$root")/CorvaneTavoren
  mkdir -p -m 0700 "$folder"
  cat > "$folder/TavorenClient.plist" <<PLIST
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>owneremail</key><string>$address</string>
</dict>
</plist>
PLIST
  chmod 0600 "$folder/TavorenClient.plist"
}

# Spools the sample PDF into a new job folder; prints the spooled file's path.
tavoren_spool_job() {
  local root=$1 here=$2 title=$3
  local job
  job=$root/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver/job-$(date +%s%N)
  mkdir -p "$job"
  bash "$here/scripts/make-sample-pdf.sh" "$job/job.pdf" "$title"
  echo "$job/job.pdf"
}

# Starts a virtual display and points Qt at it; sets TAVOREN_DISPLAY_PID.
tavoren_start_virtual_display() {
  local display=:$((90 + RANDOM % 400))
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  TAVOREN_DISPLAY_PID=$!
  export DISPLAY=$display QT_QPA_PLATFORM=xcb
  for _ in $(seq 100); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
}

# Starts a print scheduler of the root's own, as root: its configuration,
# state, spool and logs below the root, listening only on the root's socket
# (/run/cups/cups.sock below it), programs run with TAVOREN_ROOT. Sets
# TAVOREN_SCHEDULER_PID; fails when the scheduler is not installed or its
# filters (run as "lp") could not reach into the root.
tavoren_start_scheduler() {
  local root=$1 sudo=${SUDO:-}
  [ -x /usr/sbin/cupsd ] && [ -r /usr/share/cups/cupsd.conf.default ] || return 1
  $sudo mkdir -p "$root/etc/cups" "$root/run/cups" "$root/var/cache/cups" "$root/var/spool/cups/tmp" \
    "$root/var/log/cupsd" "$root/usr/lib/cups/backend"
  $sudo chmod 0755 "$root"
  $sudo runuser -u lp -- test -x "$root/var/spool/cups" 2>/dev/null || return 1
  local part
  for part in filter daemon notifier driver monitor cgi-bin; do
    [ -e "/usr/lib/cups/$part" ] && $sudo ln -sfn "/usr/lib/cups/$part" "$root/usr/lib/cups/$part"
  done
  { printf 'Listen %s\nLogLevel debug\nBrowsing No\nWebInterface No\n' "$root/run/cups/cups.sock"
    grep -Ev '^[[:space:]]*(Listen|Port|LogLevel|Browsing|BrowseLocalProtocols|WebInterface|IdleExitTimeout)([[:space:]]|$)' \
      /usr/share/cups/cupsd.conf.default
  } | $sudo tee "$root/etc/cups/cupsd.conf" >/dev/null
  $sudo tee "$root/etc/cups/cups-files.conf" >/dev/null <<CONF
SystemGroup root
User lp
Group lp
ServerRoot $root/etc/cups
StateDir $root/run/cups
CacheDir $root/var/cache/cups
RequestRoot $root/var/spool/cups
TempDir $root/var/spool/cups/tmp
ServerBin $root/usr/lib/cups
DataDir /usr/share/cups
AccessLog $root/var/log/cupsd/access_log
ErrorLog $root/var/log/cupsd/error_log
PageLog $root/var/log/cupsd/page_log
SetEnv TAVOREN_ROOT $root
CONF
  $sudo /usr/sbin/cupsd -f -c "$root/etc/cups/cupsd.conf" -s "$root/etc/cups/cups-files.conf" \
    > "$root/var/log/cupsd/cupsd.out" 2>&1 &
  TAVOREN_SCHEDULER_PID=$!
  for _ in $(seq 200); do
    CUPS_SERVER=$root/run/cups/cups.sock LC_ALL=C lpstat -r 2>/dev/null | grep -q "is running" && return 0
    kill -0 "$TAVOREN_SCHEDULER_PID" 2>/dev/null || return 1
    sleep 0.05
  done
  return 1
}
