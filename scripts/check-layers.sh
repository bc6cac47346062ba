#!/usr/bin/env bash
# Fails on an include that runs against the layers: Qt or gui/ from the core, a core folder including a
# higher one, a GUI folder including a higher one (so nothing in gui/base can reach a window).
# Folders not listed here must be added to the order before they may be used.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root/src"

core_order=(base web urldb history sitemap results indexnow submit meta research upgrade audit schedule)
gui_order=(base widgets urldb web sitemap results indexnow submit meta research upgrade audit history app)

rank() { # rank NAME ORDER... -> index, or nothing when NAME is not in ORDER
    local name="$1" i=0
    shift
    for f in "$@"; do
        if [ "$f" = "$name" ]; then echo "$i"; return; fi
        i=$((i + 1))
    done
}

status=0
fail() { echo "layering: $*" >&2; status=1; }

check_layer() { # check_layer LAYER ORDER...
    local layer="$1"
    shift
    local file folder from to target
    while IFS= read -r file; do
        folder="${file#"$layer"/}"
        folder="${folder%%/*}"
        [ "$folder" = "${file##*/}" ] && folder="" # a file at the layer's top (main.cpp) sits above all
        if [ -n "$folder" ]; then
            from="$(rank "$folder" "$@")"
            [ -n "$from" ] || { fail "$file: folder '$folder' is not in the $layer order"; continue; }
        else
            from=999
        fi
        while IFS= read -r target; do
            to="$(rank "$target" "$@")"
            if [ -z "$to" ]; then
                fail "$file includes $layer/$target/, which is not in the $layer order"
            elif [ "$to" -gt "$from" ]; then
                fail "$file ($folder) includes the higher folder $layer/$target/"
            fi
        done < <(sed -n -E "s@^[[:space:]]*#[[:space:]]*include[[:space:]]+\"$layer/([a-z_]+)/.*@\1@p" "$file")
    done < <(find "$layer" -name '*.h' -o -name '*.cpp' | sort)
}

# The core stands alone: no Qt and no window code.
while IFS= read -r hit; do
    fail "core file includes Qt or the GUI: $hit"
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](Q[A-Za-z]*|qt[a-z]*/|gui/)' core || true)

check_layer core "${core_order[@]}"
check_layer gui "${gui_order[@]}"
[ -d cli ] && while IFS= read -r hit; do
    fail "command-line file includes the GUI or Qt: $hit"
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](Q[A-Za-z]*|qt[a-z]*/|gui/)' cli || true)

if [ "$status" -eq 0 ]; then echo "Layering: every include runs downwards."; fi
exit "$status"
