#!/bin/bash
# The user's uninstall script under this system's /bin/bash (3.2 on a Mac), without the
# simulation: in a made-up home it lists exactly the client's traces there, removes them with
# -u -s, and keeps the user's files; then a second run succeeds with nothing left to remove.
#   uninstall_scripts_bash_test.sh <folder of the shipped scripts>
set -euo pipefail
scripts=$(cd "${1:?usage: $0 <folder of the shipped scripts>}" && pwd)
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
library=$home/Library
mkdir -p "$library/Caches/com.nimbla.desktop" "$library/Preferences" "$library/CloudStorage/Nimbla"
touch "$library/Preferences/com.nimbla.desktop.plist" "$library/Preferences/com.example.other.plist"
echo kept >"$library/CloudStorage/Nimbla/file.txt"
cd "$home"
user_script=$scripts/uninstall_nimbla_drive
fail() { echo "FAIL: $*" >&2 && exit 1; }

/bin/bash -n "$user_script" || fail "/bin/bash cannot parse $user_script"
/bin/bash -n "$scripts/uninstall_nimbla_drive_r" || fail "/bin/bash cannot parse the administrator's script"
listed=$(HOME=$home /bin/bash "$user_script" --list | LC_ALL=C sort)
expected=$(printf '%s\n' "$library/Caches/com.nimbla.desktop" "$library/Preferences/com.nimbla.desktop.plist" | LC_ALL=C sort)
[[ $listed == "$expected" ]] || fail "--list gave: $listed"
HOME=$home /bin/bash "$user_script" -u -s >/dev/null || fail "the removal failed"
[[ ! -e $library/Caches/com.nimbla.desktop && ! -e $library/Preferences/com.nimbla.desktop.plist ]] ||
    fail "a trace is left"
[[ -e $library/Preferences/com.example.other.plist && $(cat "$library/CloudStorage/Nimbla/file.txt") == kept ]] ||
    fail "something not the client's was removed"
HOME=$home /bin/bash "$user_script" -u -s >/dev/null || fail "a second run failed"
echo "uninstall script under $(/bin/bash -c 'echo "$BASH_VERSION"'): lists, removes and keeps as it should"
