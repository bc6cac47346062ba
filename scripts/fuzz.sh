#!/usr/bin/env bash
# Builds a libFuzzer target with clang (ASan + UBSan) in build-fuzz/ and runs it on its seed corpus for
# a number of seconds: scripts/fuzz.sh TARGET SECONDS. TARGET is a tests/fuzz/<TARGET>_fuzz.cpp name, or
# "all" for every one, as many at a time as there are cores (those with findings are listed at the end). New inputs go to
# build-fuzz/corpus/TARGET; a finding is saved as build-fuzz/findings/TARGET-crash-... and fails the run.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
target="${1:?usage: scripts/fuzz.sh TARGET|all SECONDS}"
seconds="${2:?usage: scripts/fuzz.sh TARGET|all SECONDS}"
build="$root/build-fuzz"

configure() {
    if [ ! -f "$build/build.ninja" ]; then
        cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DSENDWELL_SANITIZE=address,undefined -DSENDWELL_BUILD_FUZZ=ON \
            -DSENDWELL_BUILD_GUI=OFF -DSENDWELL_BUILD_TESTS=OFF -DSENDWELL_BUILD_BENCH=OFF >/dev/null
    fi
}

if [ "$target" = "all" ]; then
    # Build every target first, then run as many at a time as there are cores; each one's output is
    # printed whole when it ends.
    configure
    cmake --build "$build"
    mkdir -p "$build/logs"
    names=()
    for source in "$root"/tests/fuzz/*_fuzz.cpp; do
        names+=("$(basename "$source" _fuzz.cpp)")
    done
    failed=()
    declare -A running=()
    finish_one() {
        local pid name
        wait -n -p pid "${!running[@]}" && status=0 || status=$?
        name="${running[$pid]}"
        unset "running[$pid]"
        cat "$build/logs/$name.log"
        [ "$status" -eq 0 ] || failed+=("$name")
    }
    for name in "${names[@]}"; do
        while [ ${#running[@]} -ge "$(nproc)" ]; do finish_one; done
        SENDWELL_FUZZ_BUILT=1 bash "$0" "$name" "$seconds" >"$build/logs/$name.log" 2>&1 &
        running[$!]="$name"
    done
    while [ ${#running[@]} -gt 0 ]; do finish_one; done
    if [ ${#failed[@]} -ne 0 ]; then
        echo "Fuzz targets with findings: ${failed[*]} (inputs in $build/findings/)" >&2
        exit 1
    fi
    exit 0
fi
[ -f "$root/tests/fuzz/${target}_fuzz.cpp" ] || { echo "no fuzz target '$target' in tests/fuzz" >&2; exit 2; }

if [ -z "${SENDWELL_FUZZ_BUILT:-}" ]; then # two builds at once in one folder would clash
    configure
    cmake --build "$build" --target "fuzz_$target"
fi

corpus="$build/corpus/$target"
mkdir -p "$corpus" "$build/findings"
export SENDWELL_LOOPBACK_ONLY=1
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
echo "== fuzz_$target for ${seconds} s =="
"$build/fuzz_$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/findings/$target-" "$corpus" "$root/tests/fuzz/corpus/$target"
