#!/usr/bin/env bash
# Installs what is needed, checks the include layers and the formatting, builds, and runs every
# test: the whole suite (core and windows, offscreen) on the release build the package is made from,
# then the core tests again under AddressSanitizer + UndefinedBehaviorSanitizer (clang, in build-fuzz/)
# and under ThreadSanitizer, every fuzz target for 10 seconds (from the same clang build), and finally
# packs the tested build through scripts/package.sh, as users build it, and checks the package, lintian
# included. Building the release once, with its tests, keeps CI within its time on two cores.
# Each build is configured with its tests on whatever an earlier command left in its cache, and ctest
# fails when it finds no test, so this command cannot pass without testing.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/install-deps.sh"

export QT_QPA_PLATFORM=offscreen
jobs="$(nproc)"

echo "== Layering and formatting =="
bash "$root/scripts/check-layers.sh"
bash "$root/scripts/check-format.sh"

echo "== Build and test (all) =="
# The package's own release build, with the tests and benchmarks added; its package is checked last.
with_tests=(-DSENDWELL_BUILD_TESTS=ON -DSENDWELL_BUILD_GUI=ON -DSENDWELL_BUILD_BENCH=ON -DSENDWELL_BUILD_SIMULATOR=ON)
deb="$(bash "$root/scripts/package.sh" "$root/build" "${with_tests[@]}")"
ctest --test-dir "$root/build" --output-on-failure --no-tests=error -j "$jobs"

echo "== Core tests under ASan + UBSan (clang, the fuzz build) =="
# One clang build serves both the sanitized core tests and the fuzz targets.
bash "$root/scripts/build.sh" "$root/build-fuzz" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSENDWELL_SANITIZE=address,undefined -DSENDWELL_BUILD_FUZZ=ON -DSENDWELL_BUILD_TESTS=ON \
  -DSENDWELL_BUILD_GUI=OFF -DSENDWELL_BUILD_BENCH=OFF
ctest --test-dir "$root/build-fuzz" --output-on-failure --no-tests=error -j "$jobs" -L core

echo "== Core tests under TSan =="
bash "$root/scripts/build.sh" "$root/build-tsan" -DCMAKE_BUILD_TYPE=Debug -DSENDWELL_SANITIZE=thread \
  -DSENDWELL_BUILD_TESTS=ON -DSENDWELL_BUILD_GUI=OFF -DSENDWELL_BUILD_BENCH=OFF
ctest --test-dir "$root/build-tsan" --output-on-failure --no-tests=error -j "$jobs" -L core

echo "== Fuzz targets, 10 s each =="
bash "$root/scripts/fuzz.sh" all 10

echo "== The package, packed from the tested build as the README says, and checked =="
bash "$root/tests/install/package_check.sh" --lintian "$deb"
