#!/usr/bin/env bash
# Regenerates docs/man/sendwell-cli.1 from the built program's help, with the sections of
# docs/man/sendwell-cli.h2m and one section per command from "sendwell-cli COMMAND --help".
#   scripts/make-man.sh [build-dir]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cli="$(cd "${1:-$root/build}" && pwd)/sendwell-cli"
include="$(mktemp)"
trap 'rm -f "$include"' EXIT

# A command's help as roff: each argument a tagged paragraph, every other line as text.
to_roff() {
    awk '
        { gsub(/\\/, "\\\\"); gsub(/-/, "\\-"); sub(/^[.'"'"']/, "\\\\\\&&") }
        /^$/ { print ".PP"; next }
        /^   +/ { sub(/^ +/, ""); print; next }
        /^  [^ ]/ {
            line = substr($0, 3)
            if (match(line, /  +/)) { name = substr(line, 1, RSTART - 1); text = substr(line, RSTART + RLENGTH) }
            else { name = line; text = "" }
            print ".TP"; print "\\fB" name "\\fR"; if (text != "") print text; next
        }
        /^(Usage|Positionals|Options):/ { print ".PP" }
        { print }'
}

{
    cat "$root/docs/man/sendwell-cli.h2m"
    echo "[COMMANDS]"
    "$cli" --help | sed -n '/^Subcommands:/,/^$/p' | awk 'NR > 1 && NF { print $1 }' | while read -r command; do
        echo ".SS $command"
        "$cli" "$command" --help | to_roff
    done
} >"$include"

help2man --no-info --no-discard-stderr --include="$include" "$cli" >"$root/docs/man/sendwell-cli.1"
echo "Wrote docs/man/sendwell-cli.1"
