#!/usr/bin/env bash
# Makes a test certificate authority and a loopback server certificate signed
# by it, plus a second, untrusted authority with its own server certificate,
# and a server certificate of the trusted authority whose common name is
# 127.0.0.1 but whose subject alternative names list only elsewhere.test
# (san-mismatch-server.pem/.key), which a client must refuse on 127.0.0.1.
# Makes only what is missing, so certificates already made stay as they are.
# Usage: make-test-certificates.sh OUTDIR
set -euo pipefail
out=${1:?usage: make-test-certificates.sh OUTDIR}
mkdir -p "$out"
cd "$out"
# The build names server.pem and untrusted-server.pem as this script's
# outputs: touched, they are newer than the script and it is not run again.
finish() { touch server.pem untrusted-server.pem; exit 0; }
grep -q release.test server.ext.done 2>/dev/null && [ -s server.pem ] && [ -s untrusted-server.pem ] \
  && [ -s san-mismatch-server.pem ] && [ -s san-mismatch-server.key ] && finish

sign_server() { # CA prefix, output prefix, common name, subject alternative names
  local ca=$1 p=$2 name=$3 alternatives=$4
  openssl req -newkey rsa:2048 -nodes -subj "/CN=$name" \
    -keyout "${p}.key" -out "${p}.csr" 2>/dev/null
  printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n' \
    "$alternatives" > "${p}.ext"
  openssl x509 -req -in "${p}.csr" -CA "${ca}ca.pem" -CAkey "${ca}ca.key" -CAcreateserial \
    -days 3650 -sha256 -extfile "${p}.ext" -out "${p}.pem" 2>/dev/null
  rm -f "${p}.csr" "${p}.ext"
}

make_pair() { # prefix, CA subject
  local p=$1 subject=$2
  openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=$subject" \
    -keyout "${p}ca.key" -out "${p}ca.pem" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
  sign_server "$p" "${p}server" localhost "DNS:localhost,DNS:release.test,IP:127.0.0.1,IP:::1"
}

if ! { grep -q release.test server.ext.done 2>/dev/null && [ -s server.pem ] && [ -s untrusted-server.pem ] \
  && [ -s ca.pem ] && [ -s ca.key ]; }; then
  make_pair "" "Corvane Tavoren Test CA"
  make_pair "untrusted-" "Untrusted Test CA"
  echo "DNS:release.test" > server.ext.done
  rm -f san-mismatch-server.pem san-mismatch-server.key # of an authority gone
fi
sign_server "" san-mismatch-server 127.0.0.1 DNS:elsewhere.test
finish
