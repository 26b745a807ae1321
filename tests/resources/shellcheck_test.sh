#!/usr/bin/env bash
# Runs shellcheck on the given scripts. Exit 77 (skipped) when shellcheck is not installed,
# except when CI is set: then that is a failure.
set -euo pipefail

if ! command -v shellcheck >/dev/null; then
    if [[ -n ${CI-} ]]; then
        echo "FAIL: shellcheck is not installed (required in CI)" >&2
        exit 1
    fi
    echo "SKIPPED: shellcheck is not installed" >&2
    exit 77
fi
(($# > 0)) || { echo "usage: $0 <script>..." >&2; exit 2; }
shellcheck --shell=bash --severity=style -- "$@"
echo "shellcheck: $# script(s) clean"
