#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need.
# Idempotent; runs as root without a terminal (CI) or through sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
  qt6-translations-l10n libqt6svg6
  libplist-dev libicu-dev libcpp-httplib-dev libssl-dev libarchive-dev zlib1g-dev
  openssl curl procps time xvfb xauth xdotool qt6-qpa-plugins
  fonts-dejavu-core
  libcups2-dev libqpdf-dev cups-daemon cups-client cups-filters qpdf poppler-utils
  dpkg-dev lintian
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
