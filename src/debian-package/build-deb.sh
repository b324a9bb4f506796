#!/usr/bin/env bash
# Builds the Debian package of the system from the driver package's payload,
# so both carry the same files with the same modes:
#   build-deb.sh PAYLOAD CONTROL_DIR VERSION OUTPUT.deb
# The same input gives the same bytes: times are SOURCE_DATE_EPOCH's (the
# environment's, else the source's last commit), owners root's, the lists
# sorted (dpkg-deb).
set -euo pipefail
payload=$1 control=$2 version=$3 output=$4
package=corvane-tavoren
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$here" log -1 --format=%ct 2>/dev/null || echo 1767225600)
fi
export SOURCE_DATE_EPOCH
umask 022

tree=$output.tree
rm -rf -- "$tree"
mkdir -p -- "$tree/DEBIAN"
cp -a -- "$payload/." "$tree/"

# The admin file is dpkg's conffile, from the package's defaults; postinst
# adds only keys new in a version to an administrator's file.
install -D -m 0644 "$payload/Library/Printers/CorvaneTavoren/CorvaneTavorenAdmin.defaults.plist" \
  "$tree/Library/Preferences/CorvaneTavorenAdmin.plist"

doc=$tree/usr/share/doc/$package
install -d -m 0755 "$doc"
install -m 0644 "$control/copyright" "$doc/copyright"
install -D -m 0644 "$control/lintian-overrides" "$tree/usr/share/lintian/overrides/$package"
date=$(LC_ALL=C date -u -R -d "@$SOURCE_DATE_EPOCH")
sed -e "s/@VERSION@/$version/g" -e "s/@DATE@/$date/g" "$control/changelog.in" | gzip -n -9 > "$doc/changelog.gz"
chmod 0644 "$doc/changelog.gz"

# Programs as Debian ships them: without their debugging symbols.
while IFS= read -r -d '' file; do
  if [ "$(head -c 4 "$file" | od -An -c | tr -d ' ')" = '177ELF' ]; then
    strip --strip-unneeded --remove-section=.comment --remove-section=.note "$file"
  fi
done < <(find "$tree" -path "$tree/DEBIAN" -prune -o -type f -print0)

# The Debian packages of the libraries the programs link, as dpkg-shlibdeps
# finds them; then what the scripts and the print path run besides: the
# print commands, the filters that make PDF of what applications print, the
# image plugin of the client's icon.
elves=()
while IFS= read -r -d '' file; do
  [ "$(head -c 4 "$file" | od -An -c | tr -d ' ')" = '177ELF' ] && elves+=("$file")
done < <(find "$tree" -path "$tree/DEBIAN" -prune -o -type f -print0 | sort -z)
scratch=$(mktemp -d)
trap 'rm -rf -- "$scratch"' EXIT
mkdir -p "$scratch/debian"
printf 'Source: %s\n\nPackage: %s\nArchitecture: any\n' "$package" "$package" > "$scratch/debian/control"
shlibs=$(cd "$scratch" && dpkg-shlibdeps -O --ignore-missing-info "${elves[@]}" 2>"$scratch/shlibdeps.err") || {
  cat "$scratch/shlibdeps.err" >&2
  exit 1
}
shlibs=${shlibs#shlibs:Depends=}
depends="$shlibs, cups-client, cups-filters, libqt6svg6"

arch=$(dpkg --print-architecture)
size=$(du -s -k --apparent-size --exclude=DEBIAN "$tree" | cut -f1)
sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@INSTALLED_SIZE@/$size/" -e "s/@DEPENDS@/$depends/" \
  "$control/control.in" > "$tree/DEBIAN/control"
install -m 0644 "$control/conffiles" "$tree/DEBIAN/conffiles"
for script in preinst postinst prerm postrm; do
  install -m 0755 "$control/$script" "$tree/DEBIAN/$script"
done
(cd "$tree" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | LC_ALL=C sort -z | xargs -0 md5sum) \
  > "$tree/DEBIAN/md5sums"
chmod 0644 "$tree/DEBIAN/md5sums"

find "$tree" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
mkdir -p -- "$(dirname "$output")"
dpkg-deb --root-owner-group -Zxz --build "$tree" "$output.part" >/dev/null
mv -f -- "$output.part" "$output"
rm -rf -- "$tree"
echo "Built $output"
