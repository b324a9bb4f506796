#!/usr/bin/env bash
# The main job end to end on the built-in substitutes: builds, starts the
# substitute release service with HTTPS on loopback, lays a spooled job into
# a demo root and submits it with tavoren-submit, which shows the release code.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$here/build}
bash "$here/scripts/build.sh"

root=$here/demo-root
rm -rf "$root"
spool=$root/var/log/cups/corvanetavorencups/Corvane_Tavoren_Driver
mkdir -p "$root/Library/Preferences" "$root/private/var/log/cups/tavorencups" "$root/etc/ssl/certs" \
         "$spool" "$root/service"
certs=$build/test-data/certs
cp "$certs/ca.pem" "$root/etc/ssl/certs/demo-ca.pem"

"$build/bin/tavoren-release-service" --address 127.0.0.1 --port 0 --port-file "$root/service.port" \
  --cert "$certs/server.pem" --key "$certs/server.key" --storage "$root/service" \
  --status-sequence 1,2,4 > "$root/service.log" 2>&1 &
service=$!
trap 'kill $service 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -s "$root/service.port" ] && break; sleep 0.05; done
port=$(cat "$root/service.port")

cat > "$root/Library/Preferences/CorvaneTavorenAdmin.plist" <<PLIST
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>IsPrivateInstall</key><true/>
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
	<key>drnpollingtimeinsecond</key><integer>1</integer>
	<key>releasecodetextlength</key><integer>180</integer>
	<key>emailentrytextlength</key><integer>360</integer>
	<key>documentnamelength</key><integer>30</integer>
	<key>locateprinter</key><string></string>
	<key>statuspageurl</key><string>status.corvane-tavoren.example</string>
	<key>helpurl</key><string>https://release.corvane-tavoren.example/faq</string>
</dict>
</plist>
PLIST

job=$spool/demo-$(date +%s)
mkdir -p "$job"
bash "$here/scripts/make-sample-pdf.sh" "$job/job.pdf" "Corvane Tavoren sample document"

echo "Submitting $job/job.pdf to https://127.0.0.1:$port"
TAVOREN_ROOT=$root "$build/bundle/Corvane Tavoren for Mac.app/Contents/MacOS/tavoren-submit" \
  "Sample document.pdf:: ::$job/job.pdf"
echo
echo "Service log:"; sed 's/^/  /' "$root/service.log"
echo "Client log: $root/private/var/log/cups/tavorencups/tavorendriver.log"
