#!/usr/bin/env bash
# Installs every Debian package needed to build, run, test and package the program, from a minimal
# Debian 12 system on (CPack's dependency scan needs `file`; the package check runs lintian).
# Safe to run repeatedly: packages already present are skipped.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev libvulkan-dev
  qt6-multimedia-dev libqt6multimedia6 gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  qt6-webengine-dev qt6-webengine-dev-tools qt6-charts-dev
  libcurl4-openssl-dev libssl-dev openssl ca-certificates
  libcli11-dev nlohmann-json3-dev libpugixml-dev libgumbo-dev zlib1g-dev libsqlite3-dev help2man
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  xvfb xauth fonts-dejavu-core dbus-daemon
  clang-format ccache
  desktop-file-utils appstream dpkg-dev file lintian
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "All build and test dependencies are installed."
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
