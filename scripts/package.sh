#!/usr/bin/env bash
# Builds a release and packs it as a .deb: scripts/package.sh [build-dir]. Prints the package's path.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir="${1:-$root/build-release}"
bash "$root/scripts/install-deps.sh" >&2
bash "$root/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=Release -DSENDWELL_BUILD_BENCH=OFF >&2
(cd "$dir" && cpack -G DEB -B "$dir/package" >&2)
ls "$dir"/package/*.deb
