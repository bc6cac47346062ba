#!/usr/bin/env bash
# Installs what is needed, checks the include layers and the formatting, builds, and runs every
# test: the whole suite (core and windows, offscreen),
# then the core tests again under AddressSanitizer + UndefinedBehaviorSanitizer and under
# ThreadSanitizer, and finally every fuzz target for 20 seconds (clang, in build-fuzz/).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/install-deps.sh"

export QT_QPA_PLATFORM=offscreen
jobs="$(nproc)"

echo "== Layering and formatting =="
bash "$root/scripts/check-layers.sh"
bash "$root/scripts/check-format.sh"

echo "== Build and test (all) =="
bash "$root/scripts/build.sh" "$root/build"
ctest --test-dir "$root/build" --output-on-failure -j "$jobs"

echo "== Core tests under ASan + UBSan =="
bash "$root/scripts/build.sh" "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DSENDWELL_SANITIZE=address,undefined \
  -DSENDWELL_BUILD_GUI=OFF -DSENDWELL_BUILD_BENCH=OFF
ctest --test-dir "$root/build-asan" --output-on-failure -j "$jobs" -L core

echo "== Core tests under TSan =="
bash "$root/scripts/build.sh" "$root/build-tsan" -DCMAKE_BUILD_TYPE=Debug -DSENDWELL_SANITIZE=thread \
  -DSENDWELL_BUILD_GUI=OFF -DSENDWELL_BUILD_BENCH=OFF
ctest --test-dir "$root/build-tsan" --output-on-failure -j "$jobs" -L core

echo "== Fuzz targets, 20 s each =="
bash "$root/scripts/fuzz.sh" all 20
