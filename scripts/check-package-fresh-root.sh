#!/usr/bin/env bash
# The package on a system that has nothing else: makes a minimal Debian 12 root with mmdebstrap (only
# what apt needs), installs the .deb there with apt-get as a user would, and starts both programs in it:
# --version of each, and sendwell-cli keeping an address in a new database. Packages come from the
# Debian mirror through apt; nothing else is contacted. Needs root (or user namespaces) and a few
# minutes (see README).
#   scripts/check-package-fresh-root.sh [DEB]   (without DEB, builds one with scripts/package.sh)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
mirror="${SENDWELL_DEBIAN_MIRROR:-http://deb.debian.org/debian}"

deb="${1:-}"
if [ -z "$deb" ]; then deb="$(bash "$root/scripts/package.sh")"; fi
deb="$(realpath "$deb")"

if ! command -v mmdebstrap >/dev/null; then
    SUDO=""
    if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends mmdebstrap
fi

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
cp "$deb" "$scratch/sendwell.deb"
cat >"$scratch/inside.sh" <<'EOF'
set -eu
export DEBIAN_FRONTEND=noninteractive
apt-get install -y --no-install-recommends /tmp/sendwell.deb
export HOME=/tmp/home XDG_CONFIG_HOME=/tmp/home/config XDG_DATA_HOME=/tmp/home/data
export SENDWELL_LOOPBACK_ONLY=1
mkdir -p "$HOME"
cd "$HOME"
sendwell --version
sendwell-cli --version
sendwell-cli add www.example.com
sendwell-cli list | grep -q 'http://www.example.com'
test -s "$XDG_DATA_HOME/Sendwell/linkroll2.dat"
echo "fresh root: the package installed and both programs ran"
EOF

start=$SECONDS
mmdebstrap --variant=apt \
    --customize-hook="copy-in $scratch/sendwell.deb $scratch/inside.sh /tmp" \
    --customize-hook='chroot "$1" sh /tmp/inside.sh' \
    bookworm /dev/null "$mirror"
echo "fresh root check: $((SECONDS - start)) s"
