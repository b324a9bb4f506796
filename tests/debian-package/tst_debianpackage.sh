#!/usr/bin/env bash
# The Debian package as the build makes it: the same bytes from the same
# input, the driver package's files with their modes and root as owner, the
# admin file and the autostart entry as conffiles, a Depends that names the
# package of every library the programs link, and no error from lintian.
#   tst_debianpackage.sh DEB PAYLOAD SOURCE_DIR VERSION
set -uo pipefail
deb=$1 payload=$2 source=$3 version=$4
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "PASS: $*"; }
# rwxr-x--- as 750.
octal() {
  local s=$1 v=0 i
  for ((i = 0; i < 9; i++)); do
    [ "${s:i:1}" != - ] && v=$((v | 1 << (8 - i)))
  done
  printf '%o' "$v"
}

work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
[ -f "$deb" ] || { echo "FAIL: no package at $deb"; exit 1; }

# Built twice from the same input, byte for byte the same.
for run in 1 2; do
  SOURCE_DATE_EPOCH=1700000000 bash "$source/build-deb.sh" "$payload" "$source/control" "$version" \
    "$work/$run/corvane-tavoren.deb" >/dev/null || fail "build $run"
done
if cmp -s "$work/1/corvane-tavoren.deb" "$work/2/corvane-tavoren.deb"; then
  pass "two builds of the same input are the same bytes"
else
  fail "two builds of the same input differ"
fi

# Every file, link and folder of the driver package's payload, with the same
# type and mode, all root's.
# As "PATH<tab>PERMISSIONS<tab>OWNER", folders without their trailing slash.
dpkg-deb --fsys-tarfile "$deb" | tar -tvf - --numeric-owner |
  awk '{ p = $0; for (i = 1; i <= 5; i++) sub(/^[^ ]+ +/, "", p); sub(/ -> .*/, "", p); sub(/\/$/, "", p);
         print p "\t" $1 "\t" $2 }' > "$work/listing"
entry() { awk -F '\t' -v p="$1" '$1 == p { print $2 "\t" $3; exit }' "$work/listing"; }
( cd "$payload" && find . -mindepth 1 -printf '%y %m ./%P\n' | sort ) > "$work/payload"
while read -r type mode path; do
  line=$(entry "$path")
  if [ -z "$line" ]; then
    fail "$path of the driver package is not in the Debian package"
    continue
  fi
  perms=${line%%$'\t'*}
  owner=${line#*$'\t'}
  case $type in d) want=d ;; l) want=l ;; *) want=- ;; esac
  [ "${perms:0:1}" = "$want" ] || fail "$path is of type ${perms:0:1}, not $want"
  [ "$owner" = 0/0 ] || fail "$path belongs to $owner, not root"
  if [ "$type" != l ]; then
    mine=$(printf '%o' $((0$(stat -c %a "$payload/$path") & 0777)))
    theirs=$(octal "${perms:1:9}")
    [ "$mine" = "$theirs" ] || fail "$path has mode $theirs in the Debian package, $mine in the driver package"
  fi
done < "$work/payload"
pass "the driver package's $(wc -l < "$work/payload") entries checked"

# What matters most, spelled out: path, mode.
while read -r path mode; do
  line=$(entry "./$path")
  perms=${line%%$'\t'*}
  theirs=$(octal "${perms:1:9}")
  [ -n "$line" ] && [ "$theirs" = "$mode" ] && pass "$path $mode" || fail "$path: '${perms}' where $mode was expected"
done <<'TABLE'
usr/lib/cups/backend/corvanetavoren 700
usr/share/ppd/corvanetavoren/CorvaneTavoren.ppd 644
etc/xdg/autostart/CorvaneTavorenAgent.desktop 644
Library/Preferences/CorvaneTavorenAdmin.plist 644
Library/Printers/CorvaneTavoren/CorvaneTavorenAgent 755
Library/Printers/CorvaneTavoren/tavoren-setup 755
Library/Printers/CorvaneTavoren/PrintQueue.sh 755
Library/Printers/CorvaneTavoren/Uninstall.sh 755
usr/share/doc/corvane-tavoren/copyright 644
TABLE

dpkg-deb --ctrl-tarfile "$deb" | tar -xOf - ./conffiles > "$work/conffiles"
if [ "$(sort "$work/conffiles")" = "$(printf '%s\n' /Library/Preferences/CorvaneTavorenAdmin.plist /etc/xdg/autostart/CorvaneTavorenAgent.desktop | sort)" ]; then
  pass "conffiles: the admin file and the autostart entry"
else
  fail "conffiles are: $(tr '\n' ' ' < "$work/conffiles")"
fi
version_field=$(dpkg-deb -f "$deb" Version)
[ "$version_field" = "$version" ] && pass "version $version" || fail "version $version_field, not $version"

# Each library a program links comes from a package Depends names.
depends=$(dpkg-deb -f "$deb" Depends)
names=" $(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*//; s/[[:space:]]//g' | tr '\n' ' ') "
mkdir "$work/tree" && dpkg-deb -x "$deb" "$work/tree"
checked=0
while IFS= read -r -d '' file; do
  [ "$(head -c 4 "$file" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
  # The libraries it names itself; theirs are their packages' business.
  ldd "$file" > "$work/ldd"
  while read -r needed; do
    case $needed in ld-linux*) continue ;; esac
    library=$(awk -v n="$needed" '$1 == n && $2 == "=>" { print $3; exit }' "$work/ldd")
    [ -n "$library" ] || { fail "$(basename "$file") needs $needed, which is not found"; continue; }
    owner=$(dpkg -S "$(readlink -f "$library")" 2>/dev/null | head -n 1 | cut -d: -f1)
    [ -n "$owner" ] || owner=$(dpkg -S "$library" 2>/dev/null | head -n 1 | cut -d: -f1)
    [ -n "$owner" ] || { fail "$library belongs to no Debian package"; continue; }
    checked=$((checked + 1))
    [[ $names == *" $owner "* ]] || fail "$(basename "$file") links $library of $owner, which Depends does not name"
  done < <(objdump -p "$file" | awk '$1 == "NEEDED" { print $2 }')
done < <(find "$work/tree" -type f -print0)
for needed in libqt6core6 libqt6widgets6 libqt6network6 libplist3 libicu72 libqpdf29 libcups2 cups-filters cups-client; do
  [[ $names == *" $needed "* ]] || fail "Depends does not name $needed"
done
echo "Depends: $depends"
pass "$checked linked libraries checked against Depends"

if command -v lintian >/dev/null 2>&1; then
  lintian --tag-display-limit 0 "$deb" > "$work/lintian" 2>&1
  cat "$work/lintian"
  if grep -q '^E:' "$work/lintian"; then
    fail "lintian reports errors"
  else
    pass "lintian: no error ($(grep -c '^W:' "$work/lintian") warnings)"
  fi
else
  echo "SKIP: lintian is not installed (scripts/setup.sh installs it); the package was not checked by it"
fi

[ "$failures" -eq 0 ] || { echo "$failures failures"; exit 1; }
echo "all passed"
