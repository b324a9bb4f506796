#!/usr/bin/env bash
# Makes a test certificate authority and a loopback server certificate signed
# by it, plus a second, untrusted authority with its own server certificate.
# Usage: make-test-certificates.sh OUTDIR
set -euo pipefail
out=${1:?usage: make-test-certificates.sh OUTDIR}
mkdir -p "$out"
cd "$out"
grep -q release.test server.ext.done 2>/dev/null && [ -s server.pem ] && [ -s untrusted-server.pem ] && exit 0

make_pair() { # prefix, CA subject
  local p=$1 subject=$2
  openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=$subject" \
    -keyout "${p}ca.key" -out "${p}ca.pem" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
  openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" \
    -keyout "${p}server.key" -out "${p}server.csr" 2>/dev/null
  printf 'subjectAltName=DNS:localhost,DNS:release.test,IP:127.0.0.1,IP:::1\nbasicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n' > "${p}server.ext"
  openssl x509 -req -in "${p}server.csr" -CA "${p}ca.pem" -CAkey "${p}ca.key" -CAcreateserial \
    -days 3650 -sha256 -extfile "${p}server.ext" -out "${p}server.pem" 2>/dev/null
  rm -f "${p}server.csr" "${p}server.ext"
}
make_pair "" "Corvane Tavoren Test CA"
make_pair "untrusted-" "Untrusted Test CA"
echo "DNS:release.test" > server.ext.done
