#!/usr/bin/env bash
# Makes the Debian package from a build tree configured with the release's hardening flags (the
# dev and release presets) and checks it as a Debian packager would: lintian reports no error and
# no warning, every desktop entry validates, and the package depends on sudo, which the uninstall
# runs. Lintian also checks that every installed program has its man page and that the binaries
# are hardened and stripped.
#   lint_test.sh <build tree> <work dir>
set -euo pipefail
tree=${1:?usage: $0 <build tree> <work dir>}
work=${2:?usage: $0 <build tree> <work dir>}

for tool in lintian desktop-file-validate dpkg-deb cpack; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/bootstrap installs it)" >&2 && exit 1; }
done
rm -rf "$work"
(cd "$tree" && cpack -G DEB -B "$work" >/dev/null)
deb=$(echo "$work"/nimbla-reset-tool_*.deb)
[[ -f $deb ]] || { echo "FAIL: cpack made no package in $work" >&2 && exit 1; }

failures=0
# Lintian refuses root only for its own safety; the package is not installed here.
if ! lintian --fail-on error,warning --display-info --tag-display-limit 0 "$deb"; then
    echo "FAIL: lintian reports errors or warnings" >&2
    failures=$((failures + 1))
fi
contents=$work/lint-contents
rm -rf "$contents"
dpkg-deb -x "$deb" "$contents"
for entry in "$contents"/usr/share/applications/*.desktop; do
    if ! desktop-file-validate "$entry"; then
        echo "FAIL: desktop-file-validate: $entry" >&2
        failures=$((failures + 1))
    fi
done
if ! dpkg-deb -f "$deb" Depends | tr ',' '\n' | grep -qx ' *sudo'; then
    echo "FAIL: the package does not depend on sudo: $(dpkg-deb -f "$deb" Depends)" >&2
    failures=$((failures + 1))
fi
((failures == 0)) || exit 1
echo "lint: $(basename "$deb") is clean"
