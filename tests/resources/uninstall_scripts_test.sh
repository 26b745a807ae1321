#!/usr/bin/env bash
# Runs the two shipped uninstall scripts, unchanged, in the simulated installation
# (tools/sim/nimbla-sim: a private mount namespace over a copy-on-write view of the filesystem, so
# nothing on the host changes) and checks what they remove, keep and report.
#   uninstall_scripts_test.sh <build dir>
# Exit status: 0 passed, 1 failed, 77 skipped (no namespaces here and $CI unset).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

if [[ -z ${NIMBLA_SIM-} ]]; then
    sim=$here/../../tools/sim/nimbla-sim
    if ! problem=$("$sim" --check 2>&1); then
        [[ -z ${CI-} ]] || { echo "FAIL: no simulation on this CI machine: $problem" >&2; exit 1; }
        echo "SKIPPED: the simulation needs mount namespaces, which are not available here: $problem"
        exit 77
    fi
    # The test folder may lie where the simulation hides the host (under /tmp, say): share it.
    exec "$sim" --build "${1:?usage: $0 <build dir>}" --share "$here" -- bash "$here/uninstall_scripts_test.sh"
fi

resources=$(dirname "$NIMBLA_SIM_TOOL")/../lib/nimbla-reset-tool
user_script=$resources/uninstall_nimbla_drive
root_script=$resources/uninstall_nimbla_drive_r
lib=$HOME/Library
user_traces=(
    "$lib/Application Support/Nimbla/Nimbla" "$lib/Caches/com.nimbla.desktop" "$lib/Logs/Nimbla/nimbla.log"
    "$lib/Preferences/com.nimbla.desktop.plist" "$lib/Preferences/com.nimbla.desktop.\$(touch pwned).plist"
    "$lib/Preferences/com.nimbla.desktop.nimblafileprovider.plist" "$lib/HTTPStorages/com.nimbla.desktop"
    "$lib/HTTPStorages/com.nimbla.desktop.binarycookies"
    "$lib/Saved Application State/com.nimbla.desktop.savedState" "$lib/LaunchAgents/com.nimbla.desktop.plist"
    "$lib/Group Containers/ABCDE12345.com.nimbla.desktop" "$lib/Group Containers/group.com.nimbla.desktop"
    "$lib/Containers/com.nimbla.desktop.nimblafileprovider"
)
root_traces=(
    /Applications/Nimbla.app /Library/LaunchDaemons/com.nimbla.desktop.helper.plist
    /Library/PrivilegedHelperTools/com.nimbla.desktop.helper
)
traces=("${user_traces[@]}" "${root_traces[@]}")
decoys=(
    "$lib/CloudStorage/Nimbla-Nimbla/Report.docx" "$HOME/Nimbla-Nimbla (Archive)/unsynced.txt"
    "$lib/Application Support/Nimbla Notes/notes.db" "$lib/Preferences/com.nimbla.desktopcompanion.plist"
    "$lib/Group Containers/group.com.nimbla.desktop.other/shared.db" "$HOME/Documents/com.nimbla.desktop.plist"
    "/Applications/Nimbla Notes.app/Contents/Info.plist" /Library/LaunchDaemons/com.other.daemon.plist
    /Outside/cache/keep.txt /Outside/support/keep.txt
    # Another product of the same vendor, beside the client's entries and helpers.
    "$lib/Application Support/Nimbla/Nimbla Photos/library.db" "$lib/Logs/Nimbla/Nimbla Photos.log"
    /Library/PrivilegedHelperTools/com.nimbla.desktopsync /Library/LaunchDaemons/com.nimbla.desktopsync.plist
)
vendor_folders=("$lib/Application Support/Nimbla" "$lib/Logs/Nimbla")

failures=0
# expect <name> <status> <text on stdout or stderr ("": no output at all)> <command...>
expect() {
    local name=$1 status=$2 text=$3 rc=0
    shift 3
    "$@" </dev/null >/tmp/out 2>/tmp/err || rc=$?
    if [[ $rc != "$status" ]] || { [[ -n $text ]] && ! grep -qF -- "$text" /tmp/out /tmp/err; } ||
        { [[ -z $text ]] && [[ -s /tmp/out || -s /tmp/err ]]; }; then
        echo "FAIL: $name: status $rc; stdout: $(cat /tmp/out); stderr: $(cat /tmp/err)" >&2
        failures=$((failures + 1))
    fi
}
# check <name> <command...>
check() { "${@:2}" || { echo "FAIL: $1" >&2 && failures=$((failures + 1)); }; }
put() { mkdir -p "$(dirname "$1")" && echo "$1" >"$1"; }
populate() {
    local path
    for path in "${traces[@]}"; do
        case $path in *.plist | *.helper | *.log | *.binarycookies) put "$path" ;; *) put "$path/nested/file" ;; esac
    done
    for path in "${decoys[@]}"; do put "$path"; done
    # Symbolic link traps: a listed entry that links out of the list, and a link inside one.
    rm -rf "$lib/Caches/com.nimbla.desktop"
    ln -s /Outside/cache "$lib/Caches/com.nimbla.desktop"
    ln -sfn /Outside/support "$lib/Application Support/Nimbla/Nimbla/linked"
}
all_gone() { for path; do [[ ! -e $path && ! -L $path ]] || return 1; done; }
all_there() { for path; do [[ -e $path ]] || { echo "missing: $path"; return 1; }; done; }
not() { ! "$@"; }

# expect_list <name> <script> <path...>: --list exits 0 and prints exactly these paths (any order).
expect_list() {
    local rc=0
    "$2" --list </dev/null >/tmp/out 2>/tmp/err || rc=$?
    if [[ $rc != 0 || -s /tmp/err || $(sort /tmp/out) != "$(printf '%s\n' "${@:3}" | sort)" ]]; then
        echo "FAIL: $1 --list: status $rc; stdout: $(cat /tmp/out); stderr: $(cat /tmp/err)" >&2
        failures=$((failures + 1))
    fi
}

# Stand-ins: launchctl logs what it unloads while the plist is still there; pkgutil keeps the
# installed packages in /tmp/pkgs, one of another product of the vendor's among them.
# shellcheck disable=SC2016 # expanded by the stand-ins
printf '#!/bin/sh\n[ -e "$3" ] && echo "$*" >>/tmp/launchctl.log\n' >/usr/bin/launchctl
# shellcheck disable=SC2016
printf '#!/bin/sh\n[ "$1" = --pkgs ] && exec cat /tmp/pkgs\ngrep -vxF "$2" /tmp/pkgs >/tmp/p; mv /tmp/p /tmp/pkgs\n' \
    >/usr/bin/pkgutil
chmod +x /usr/bin/launchctl /usr/bin/pkgutil
printf '%s\n' com.apple.pkg.Core com.nimbla.desktop com.nimbla.desktop.helper com.nimbla.desktopsync >/tmp/pkgs
receipts=(/var/db/receipts/com.nimbla.desktop.plist /var/db/receipts/com.nimbla.desktop.helper.plist)

# --list prints exactly the existing entries a run would remove (not the vendor folders still
# holding another product), and removes, unloads and forgets nothing.
populate
expect_list "user script" "$user_script" "${user_traces[@]}"
expect_list "root script" "$root_script" "${root_traces[@]}" "${receipts[@]}"
check "a listing removes nothing" all_there "${traces[@]}"
check "a listing unloads nothing" all_gone /tmp/launchctl.log
check "a listing forgets nothing" grep -qxF com.nimbla.desktop /tmp/pkgs

# Everything listed goes, nothing else; what went is reported; a second run succeeds silently,
# also without a fixed folder (HTTPStorages). Agents and daemons are unloaded before they go; the
# client's package receipts are forgotten, not another product's of the same prefix.
expect "user script" 0 "Removed $lib/Logs/Nimbla/nimbla.log" "$user_script" -u -s
expect "root script" 0 "Removed /Applications/Nimbla.app" "$root_script"
check "the agent and the daemon were unloaded first" diff - /tmp/launchctl.log <<<"\
bootout gui/$(id -u) $lib/LaunchAgents/com.nimbla.desktop.plist
bootout system /Library/LaunchDaemons/com.nimbla.desktop.helper.plist"
check "only the client's receipts are forgotten" diff - /tmp/pkgs <<<$'com.apple.pkg.Core\ncom.nimbla.desktopsync'
check "every listed entry is gone" all_gone "${traces[@]}"
check "every decoy is kept" all_there "${decoys[@]}" "${vendor_folders[@]}"
check "no file name was run" all_gone pwned "$HOME/pwned" /pwned
expect_list "user script after a run" "$user_script"
expect_list "root script after a run" "$root_script"
rm -rf "$lib/HTTPStorages"
expect "user script again" 0 "" "$user_script" -s -u
expect "root script again" 0 "" "$root_script"
# With the other product gone too, the vendor folders are listed, then go.
rm -rf "$lib/Application Support/Nimbla/Nimbla Photos" "$lib/Logs/Nimbla/Nimbla Photos.log"
expect_list "user script, vendor folders emptied" "$user_script" "${vendor_folders[@]}"
expect "user script, vendor folders empty" 0 "Removed $lib/Logs/Nimbla" "$user_script" -u -s
check "the empty vendor folders are gone" all_gone "${vendor_folders[@]}"

# A folder on the way replaced by a link is refused, also by --list, and nothing behind the link
# is removed (one level up: a fixed folder; two: the vendor folder; three: ~/Library).
for folder in "$lib/Saved Application State" "$lib/Application Support/Nimbla" /Library/PrivilegedHelperTools "$lib"; do
    run=("$user_script" -u -s)
    [[ $folder == /Library/* ]] && run=("$root_script")
    populate
    mv "$folder" /Outside/moved
    ln -s /Outside/moved "$folder"
    before=$(find /Outside/moved)
    expect "linked $folder, --list" 1 "$folder is a symbolic link" "${run[0]}" --list
    check "--list shows nothing behind $folder" not grep -qF "$folder/" /tmp/out
    expect "linked $folder" 1 "$folder is a symbolic link" "${run[@]}"
    check "nothing removed through $folder" test "$(find /Outside/moved)" == "$before"
    rm "$folder"
    mv /Outside/moved "$folder"
done

# The home folder must not be the root or a system folder.
for folder in / /usr /Users; do
    expect "HOME=$folder" 1 "refusing to use $folder as a home folder" env HOME="$folder" "$user_script" -u -s
done

# Usage errors and an ordinary user remove nothing.
populate
for arguments in "-u -s -x" "--help" "-u -s extra" "" "-u --list" "--list -s" "--list --list"; do
    # shellcheck disable=SC2086 # split on purpose
    expect "user script $arguments" 64 "usage: uninstall_nimbla_drive" "$user_script" $arguments
done
# Without -s it asks on the terminal of its standard input: none there (only on its output) is
# refused; one there is asked, and no answer removes nothing.
expect "no terminal on input" 64 "no terminal to ask on" script -qec "$user_script -u </dev/null" /dev/null
expect "terminal on input" 1 "Remove Nimbla Drive's data from $lib? [y/N]" script -qec "$user_script -u >/tmp/asked" /dev/null
expect "root script with an argument" 64 "usage: uninstall_nimbla_drive_r" "$root_script" --list -u
# Not root: the root script refuses to run, but lists.
as_alex=(setpriv --reuid=501 --regid=20 --clear-groups)
if "${as_alex[@]}" true 2>/dev/null; then
    expect "root script as another user" 77 "must be run as root" "${as_alex[@]}" "$root_script"
    expect "root script --list as another user" 0 /Applications/Nimbla.app "${as_alex[@]}" "$root_script" --list
fi
check "a refused run removes nothing" all_there "${traces[@]}"

# Without its list, or with a line that is not an entry, a script removes nothing and says why.
mkdir -p /tmp/copy && cp "$user_script" "$root_script" /tmp/copy/
for script in uninstall_nimbla_drive uninstall_nimbla_drive_r; do
    expect "$script without its list" 1 "cannot read the list of what to remove" /tmp/copy/$script --list
    printf 'remove\t~/Library/Caches/com.nimbla.desktop\nremove /Applications/Nimbla.app\n' >/tmp/copy/nimbla_drive_traces
    expect "$script with a bad line" 1 "nimbla_drive_traces:2: not an entry" /tmp/copy/$script --list
    rm /tmp/copy/nimbla_drive_traces
done
printf 'emptied\t~/Library/Caches\n' >/tmp/copy/nimbla_drive_traces
expect "a fixed folder as a vendor folder" 1 "not a vendor folder: $lib/Caches" /tmp/copy/uninstall_nimbla_drive -u -s
check "a script with a bad list removes nothing" all_there "${traces[@]}"

# An entry that cannot be removed fails the run with a message; the rest still goes.
for folder in "$lib/Logs" /Library/PrivilegedHelperTools; do
    mount --bind "$folder" "$folder" && mount -o remount,bind,ro "$folder"
done
expect "read-only Logs" 1 "could not remove $lib/Logs/Nimbla/nimbla.log" "$user_script" -u -s
expect "read-only helpers" 1 "could not remove /Library/PrivilegedHelperTools/com.nimbla.desktop.helper" \
    "$root_script"
check "the rest is gone" all_gone "$lib/Application Support/Nimbla/Nimbla" /Applications/Nimbla.app

((failures == 0)) || { echo "$failures check(s) failed" >&2 && exit 1; }
echo "all checks passed"
