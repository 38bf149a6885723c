#!/usr/bin/env bash
# Installs the Debian packages Pocketlane needs to build, test and benchmark.
# Idempotent: packages already present are left alone, and apt is only
# consulted when something is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config python3 clang-format clang-tidy
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-l10n-tools libgl-dev libqt6svg6
  libqt6sql6-sqlite
  libminiupnpc-dev libwbxml2-dev libqrencode-dev zbar-tools
  miniupnpd-nftables miniupnpc nftables
  libxml2-utils w3c-sgml-lib kannel kannel-extras
  dbus-daemon
  nginx-light wrk linux-perf
  clang libclang-rt-14-dev libfuzzer-14-dev
  procps iproute2 curl
  xvfb xauth trayer x11-utils desktop-file-utils
  debhelper dpkg-dev lintian scdoc appstream man-db git
  chromium chromium-driver python3-selenium
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

# Packages such as nginx and kannel start their daemons on install; the
# project starts its own instances on loopback, so keep the system ones off.
policy=/usr/sbin/policy-rc.d
own_policy=0
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
  $sudo chmod +x "$policy"
  own_policy=1
fi
trap '[ $own_policy -eq 1 ] && $sudo rm -f "$policy"' EXIT

export DEBIAN_FRONTEND=noninteractive
# The UPnP tests start their own router daemon inside network namespaces;
# the packaged one must never run on the machine's real network.
echo "miniupnpd miniupnpd/start_daemon boolean false" | $sudo debconf-set-selections
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
$sudo update-rc.d miniupnpd disable >/dev/null 2>&1 || true
