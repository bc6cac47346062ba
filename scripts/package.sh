#!/usr/bin/env bash
# Builds a release and packs it as a .deb: scripts/package.sh [build-dir] [extra cmake arguments...].
# Prints the package's path. The tests are not built here unless the extra arguments ask for them:
# scripts/test.sh packs its own release build, tests included, so that CI compiles the program once.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir="${1:-$root/build-release}"
shift || true
bash "$root/scripts/install-deps.sh" >&2
bash "$root/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=Release -DSENDWELL_BUILD_TESTS=OFF \
    -DSENDWELL_BUILD_BENCH=OFF -DSENDWELL_BUILD_FUZZ=OFF -DSENDWELL_SANITIZE= "$@" >&2
rm -rf "$dir/package"
(cd "$dir" && cpack -G DEB -B "$dir/package" >&2)
ls "$dir"/package/*.deb
