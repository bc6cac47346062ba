#!/usr/bin/env bash
# Installs a build into a scratch root and checks what a package would hold: every file in its place,
# valid desktop and AppStream files, a program that answers --version without a display and keeps its
# files under $XDG_DATA_HOME/Sendwell when started where it cannot write, and a .deb from the same build
# that passes package_check.sh.
#   install_test.sh BUILD-DIR
set -euo pipefail
build="$(cd "$1" && pwd)"
scratch="$(mktemp -d)"
pid=""
cleanup() {
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$scratch/root" cmake --install "$build" --prefix /usr >/dev/null
r="$scratch/root/usr"
id=org.sendwellpro.Sendwell
for f in bin/sendwell bin/sendwell-engine-simulator \
         share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
         share/icons/hicolor/scalable/apps/$id.svg share/man/man1/sendwell.1.gz \
         share/man/man1/sendwell-engine-simulator.1.gz share/doc/sendwell/copyright; do
    [ -e "$r/$f" ] || fail "$f was not installed"
done
for size in 16 24 32 48 64 128 256; do
    [ -e "$r/share/icons/hicolor/${size}x${size}/apps/$id.png" ] || fail "no ${size}px icon"
done
if [ -e "$build/sendwell-cli" ]; then
    [ -x "$r/bin/sendwell-cli" ] || fail "sendwell-cli was not installed"
    [ -e "$r/share/man/man1/sendwell-cli.1.gz" ] || fail "the sendwell-cli man page was not installed"
fi

desktop-file-validate "$r/share/applications/$id.desktop"
appstreamcli validate --no-net "$r/share/metainfo/$id.metainfo.xml" >/dev/null

# --version and --help need no display.
version="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$r/bin/sendwell" --version)"
[[ "$version" == *"3.81"* ]] || fail "--version printed '$version'"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$r/bin/sendwell" --help | grep -q -- "--version" ||
    fail "--help does not list --version"

# Started where it cannot create files, the program clears the answer folder under the data folder.
export XDG_DATA_HOME="$scratch/data" XDG_CONFIG_HOME="$scratch/config" HOME="$scratch/home"
mkdir -p "$XDG_DATA_HOME/Sendwell/submitok" "$XDG_CONFIG_HOME" "$HOME"
echo old >"$XDG_DATA_HOME/Sendwell/submitok/old.HTML"
(cd /proc && QT_QPA_PLATFORM=offscreen exec "$r/bin/sendwell") >"$scratch/program.log" 2>&1 &
pid=$!
for _ in $(seq 600); do # until the start-up has cleared the folder, at most a minute
    [ -e "$XDG_DATA_HOME/Sendwell/submitok/old.HTML" ] || break
    kill -0 "$pid" 2>/dev/null || { cat "$scratch/program.log" >&2; fail "the program ended at start-up"; }
    sleep 0.1
done
[ ! -e "$XDG_DATA_HOME/Sendwell/submitok/old.HTML" ] || fail "the answer folder under the data folder was not used"
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=""

# The package made from the same build.
(cd "$build" && cpack -G DEB -B "$scratch/package" >/dev/null)
bash "$(dirname "${BASH_SOURCE[0]}")/package_check.sh" "$scratch"/package/*.deb
echo "install layout: every check passed"
