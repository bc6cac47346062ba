#!/usr/bin/env bash
# Installs what is needed, builds the program and starts it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" "$root/build" -DSENDWELL_BUILD_TESTS=OFF -DSENDWELL_BUILD_BENCH=OFF
exec "$root/build/sendwell" "$@"
