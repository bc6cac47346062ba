#!/usr/bin/env bash
# Checks a built .deb the way a user's system meets it: the control fields and the files it holds, that
# apt can resolve every dependency on this system, and the programs unpacked into a scratch root (they
# find their libraries where an installed package would): both answer --version without a display, and
# sendwell-cli keeps an address in a scratch database. With --lintian, Debian's lintian must report no
# error (its warnings are printed).
#   package_check.sh [--lintian] DEB
set -euo pipefail
lintian=0
if [ "${1:-}" = "--lintian" ]; then
    lintian=1
    shift
fi
deb="$(realpath "${1:?usage: package_check.sh [--lintian] DEB}")"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = sendwell ] || fail "the package is called '$(field Package)'"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture '$(field Architecture)'"
[ "$(field Description | wc -l)" -gt 2 ] || fail "the description has no extended part"
depends="$(field Depends)"
for needed in libc6 libcurl4 libqt6widgets6 libqt6webenginecore6-bin qt6-qpa-plugins gstreamer1.0-plugins-good; do
    [[ ", $depends," == *", $needed"[\ ,]* ]] || fail "Depends lacks $needed: $depends"
done

# Every file under /usr, owned by root, man pages and changelog compressed.
contents="$(dpkg-deb --contents "$deb")"
id=org.sendwellpro.Sendwell
for f in bin/sendwell bin/sendwell-cli bin/sendwell-engine-simulator \
         share/man/man1/sendwell.1.gz share/man/man1/sendwell-cli.1.gz \
         share/man/man1/sendwell-engine-simulator.1.gz \
         share/doc/sendwell/copyright share/doc/sendwell/changelog.gz \
         share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
         share/icons/hicolor/scalable/apps/$id.svg share/icons/hicolor/48x48/apps/$id.png; do
    grep -qE " \./usr/$f\$" <<<"$contents" || fail "the package lacks /usr/$f"
done
outside="$(awk '{ print $6 }' <<<"$contents" | grep -vE '^\./(usr(/.*)?)?$' || true)"
[ -z "$outside" ] || fail "files outside /usr: $outside"
owners="$(awk '$2 != "root/root" { print $6 }' <<<"$contents")"
[ -z "$owners" ] || fail "files not owned by root: $owners"
uncompressed="$(awk '{ print $6 }' <<<"$contents" | grep -E '/man/.*\.[0-9]$' || true)"
[ -z "$uncompressed" ] || fail "uncompressed man pages: $uncompressed"

# apt resolves the dependencies against what this system has and knows.
apt-get install --simulate --no-install-recommends "$deb" >"$scratch/apt.log" 2>&1 ||
    { cat "$scratch/apt.log" >&2; fail "apt cannot install the package here"; }

dpkg-deb --extract "$deb" "$scratch/root"
r="$scratch/root/usr"
for page in "$r"/share/man/man1/*.gz "$r/share/doc/sendwell/changelog.gz"; do
    gzip --test "$page" || fail "$page is not a gzip file"
done
zcat "$r/share/man/man1/sendwell-cli.1.gz" | grep -q '^\.TH ' || fail "sendwell-cli.1.gz is not a man page"
grep -q '^License: GPL-3+' "$r/share/doc/sendwell/copyright" || fail "the copyright file names no licence"
for program in sendwell sendwell-cli sendwell-engine-simulator; do
    if readelf --dynamic "$r/bin/$program" | grep -qE 'R(UN)?PATH'; then
        fail "$program carries a library path of the build"
    fi
done

# The programs as a user starts them: no display, a home of their own.
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/config" XDG_DATA_HOME="$scratch/home/data"
export SENDWELL_LOOPBACK_ONLY=1
mkdir -p "$HOME"
cd "$HOME"
version="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$r/bin/sendwell" --version)"
[[ "$version" == *"$(field Version)"* ]] || fail "sendwell --version printed '$version'"
version="$("$r/bin/sendwell-cli" --version)"
[[ "$version" == *"$(field Version)"* ]] || fail "sendwell-cli --version printed '$version'"
"$r/bin/sendwell-cli" add www.example.com >/dev/null
listed="$("$r/bin/sendwell-cli" list)"
[[ "$listed" == *"http://www.example.com"* ]] || fail "sendwell-cli list printed '$listed'"
[ -s "$XDG_DATA_HOME/Sendwell/linkroll2.dat" ] || fail "sendwell-cli wrote no database"

if [ "$lintian" = 1 ]; then
    # Errors fail the check; warnings and hints are printed for the log.
    lintian --fail-on error --display-info "$deb" || fail "lintian reports errors"
fi
echo "package check: $(basename "$deb") passed"
