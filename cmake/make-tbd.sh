#!/usr/bin/env bash
# Writes a text-based stub library (.tbd) for macOS that exports exactly the symbols the given
# ELF shared libraries export, with Mach-O's leading underscore:
#   make-tbd.sh OUTPUT INSTALL_NAME LIBRARY...
# Linking against it lets a cross-build fail on any reference those libraries do not provide.
set -euo pipefail
if (($# < 3)); then
    echo "usage: make-tbd.sh OUTPUT INSTALL_NAME LIBRARY..." >&2
    exit 2
fi
output=$1
install_name=$2
shift 2

symbols=$(nm -D --defined-only "$@" | awk 'NF == 3 && $2 ~ /^[BDRTVWiu]$/ { sub(/@.*/, "", $3); print $3 }' | sort -u)
if [[ -z "$symbols" ]]; then
    echo "make-tbd.sh: no exported symbols in $*" >&2
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
