#!/usr/bin/env bash
# Writes a text-based stub library (.tbd) for macOS that exports exactly the names a header of
# ours declares after CF_EXPORT (one declaration a line), with Mach-O's leading underscore, under
# the library's real install name:
#   make-tbd.sh OUTPUT INSTALL_NAME HEADER
# Linking against it makes a cross-build fail on any reference to another name, and makes the
# program load the library from its install name, as it will on a Mac.
set -euo pipefail
if (($# != 3)); then
    echo "usage: make-tbd.sh OUTPUT INSTALL_NAME HEADER" >&2
    exit 2
fi
output=$1
install_name=$2
header=$3

# "CF_EXPORT <type> <name>(...);" or "CF_EXPORT const <type> <name>;"
symbols=$(sed -n 's/^CF_EXPORT .*[ *]\([A-Za-z_][A-Za-z0-9_]*\) *[(;].*/\1/p' "$header" | sort -u)
if [[ -z "$symbols" ]]; then
    echo "make-tbd.sh: no CF_EXPORT declaration in $header" >&2
    exit 1
fi
{
    echo "--- !tapi-tbd"
    echo "tbd-version:     4"
    echo "targets:         [ x86_64-macos, arm64-macos ]"
    echo "install-name:    '$install_name'"
    echo "exports:"
    echo "  - targets:         [ x86_64-macos, arm64-macos ]"
    echo "    symbols:"
    while IFS= read -r symbol; do
        echo "      - '_$symbol'"
    done <<<"$symbols"
    echo "..."
} >"$output.tmp"
mv "$output.tmp" "$output"
