#!/usr/bin/env bash
# Runs the two shipped uninstall scripts, unchanged, against a throwaway Mac-like tree.
#
#   uninstall_scripts_test.sh user|root <uninstall_nimbla_drive> <uninstall_nimbla_drive_r>
#
# The test re-runs itself in a private mount namespace, builds a root file system on a tmpfs there
# (the host's /usr bound read-only, /Applications, /Library and /Users as their own tmpfs mounts)
# and runs the scripts chrooted into it. Nothing outside that namespace is touched.
# Exit 77 (skipped) when namespaces are unavailable, except when CI is set: then that is a failure.
set -euo pipefail
# chroot, mount and unshare live in the system folders, which a test runner's PATH may lack.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin:$PATH

readonly skip=77
group=${1-}
user_script=${2-}
root_script=${3-}

if [[ $group != --inside ]]; then
    [[ ($group == user || $group == root) && -f $user_script && -f $root_script ]] || {
        echo "usage: $0 user|root <uninstall_nimbla_drive> <uninstall_nimbla_drive_r>" >&2
        exit 2
    }
    unavailable() {
        if [[ -n ${CI-} ]]; then
            echo "FAIL: $1 (mount namespaces are required in CI)" >&2
            exit 1
        fi
        echo "SKIPPED: $1" >&2
        exit "$skip"
    }
    ((EUID == 0)) || unavailable "needs root to create a private mount namespace"
    command -v unshare >/dev/null || unavailable "unshare is not installed"
    unshare --mount --propagation private true 2>/dev/null ||
        unavailable "private mount namespaces are not available here"
    base=$(mktemp -d)
    trap 'rmdir "$base" 2>/dev/null || true' EXIT
    status=0
    unshare --mount --propagation private -- bash "$0" --inside "$group" \
        "$(realpath "$user_script")" "$(realpath "$root_script")" "$base" || status=$?
    exit "$status"
fi

# ---- inside the namespace ----
group=$2
user_script=$3
root_script=$4
root=$5
readonly nobody=65534
readonly home_in=/Users/alice
home=$root$home_in
results=$root/.results

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

bind_ro() {
    mount --bind "$1" "$2"
    mount -o remount,bind,ro "$2"
}

mount -t tmpfs -o mode=755 nimbla-test-root "$root"
mkdir -p "$root/usr" "$root/dev" "$root/tmp" "$root/work" "$results"
chmod 1777 "$root/tmp"
for dir in bin sbin lib lib32 lib64 libx32; do
    if [[ -L /$dir ]]; then
        ln -s "$(readlink "/$dir")" "$root/$dir"
    elif [[ -d /$dir ]]; then
        mkdir "$root/$dir"
        bind_ro "/$dir" "$root/$dir"
    fi
done
bind_ro /usr "$root/usr"
touch "$root/dev/null"
mount --bind /dev/null "$root/dev/null"
touch "$root/work/uninstall_nimbla_drive" "$root/work/uninstall_nimbla_drive_r"
bind_ro "$user_script" "$root/work/uninstall_nimbla_drive"
bind_ro "$root_script" "$root/work/uninstall_nimbla_drive_r"

# Fresh, empty /Applications, /Library and /Users for each case.
fresh_tree() {
    local dir
    for dir in Applications Library Users Outside; do
        if mountpoint -q "$root/$dir"; then
            umount -R "$root/$dir"
        fi
        mkdir -p "$root/$dir"
        mount -t tmpfs -o mode=755 "nimbla-test-$dir" "$root/$dir"
    done
    rm -f "$root/tmp/"*.log "$root/tmp/pkgutil.fail"
}

# put <path> [content]: a file with its folders
put() {
    mkdir -p "$(dirname "$1")"
    printf '%s\n' "${2-data}" >"$1"
}

# Runs a command chrooted into the tree: run <uid> <command...>. HOME comes from run_home (empty:
# HOME unset). Sets rc; the output is in $results/out and $results/err.
run_home=$home_in
run() {
    local uid=$1
    shift
    local -a environment=(PATH=/usr/bin:/bin)
    [[ -z $run_home ]] || environment+=("HOME=$run_home")
    local -a drop=()
    ((uid == 0)) || drop=(/usr/bin/setpriv "--reuid=$uid" "--regid=$uid" --clear-groups)
    rc=0
    chroot "$root" /usr/bin/env -i "${environment[@]}" ${drop[@]+"${drop[@]}"} "$@" \
        </dev/null >"$results/out" 2>"$results/err" || rc=$?
}

expect_rc() {
    if [[ $rc != "$1" ]]; then
        fail "$2: exit status $rc, expected $1; stderr: $(cat "$results/err")"
    fi
}
expect_gone() {
    local path
    for path in "$@"; do
        [[ ! -e $root$path && ! -L $root$path ]] || fail "$path should have been removed"
    done
}
expect_present() {
    local path
    for path in "$@"; do
        [[ -e $root$path || -L $root$path ]] || fail "$path should still be there"
    done
}
expect_output() {
    grep -qxF -- "$2" "$results/$1" || fail "$1 lacks the line '$2'; it holds: $(cat "$results/$1")"
}
expect_in() {
    grep -qF -- "$2" "$results/$1" || fail "$1 lacks '$2'; it holds: $(cat "$results/$1")"
}
expect_empty() {
    [[ ! -s $results/$1 ]] || fail "$1 should be empty; it holds: $(cat "$results/$1")"
}
# Every file and folder under a tree, with its content, to compare before and after a run.
snapshot() {
    local path
    while IFS= read -r -d '' path; do
        if [[ -L $path ]]; then
            echo "$path -> $(readlink "$path")"
        elif [[ -f $path ]]; then
            echo "$path: $(cat "$path")"
        else
            echo "$path/"
        fi
    done < <(find "$root/Applications" "$root/Library" "$root/Users" "$root/Outside" -print0 | sort -z)
}

# ---- the per-user script ----

user_traces=(
    "$home_in/Library/Application Support/Nimbla"
    "$home_in/Library/Caches/com.nimbla.desktop"
    "$home_in/Library/Logs/Nimbla"
    "$home_in/Library/Preferences/com.nimbla.desktop.plist"
    "$home_in/Library/Preferences/com.nimbla.desktop.nimblafileprovider.plist"
    "$home_in/Library/Preferences/com.nimbla.desktop.\$(touch pwned).plist"
    "$home_in/Library/Saved Application State/com.nimbla.desktop.savedState"
    "$home_in/Library/HTTPStorages/com.nimbla.desktop"
    "$home_in/Library/HTTPStorages/com.nimbla.desktop.binarycookies"
    "$home_in/Library/LaunchAgents/com.nimbla.desktop.plist"
    "$home_in/Library/LaunchAgents/com.nimbla.desktop.updater.plist"
    "$home_in/Library/Group Containers/ABCDE12345.com.nimbla.desktop"
    "$home_in/Library/Containers/com.nimbla.desktop.nimblafileprovider"
)
user_decoys=(
    "$home_in/Library/CloudStorage/Nimbla-Nimbla/Report.docx"
    "$home_in/Library/CloudStorage/Nimbla-Nimbla/Nimbla/com.nimbla.desktop.plist"
    "$home_in/Nimbla-Nimbla (Archive)/unsynced.txt"
    "$home_in/Nimbla-Nimbla (Archive) 2/unsynced.txt"
    "$home_in/Library/Application Support/Other/settings.json"
    "$home_in/Library/Application Support/Nimbla Notes/notes.db"
    "$home_in/Library/Caches/com.other.app/cache.db"
    "$home_in/Library/Preferences/com.nimbla.desktopcompanion.plist"
    "$home_in/Library/Preferences/com.other.app.plist"
    "$home_in/Library/LaunchAgents/com.other.agent.plist"
    "$home_in/Library/Group Containers/group.com.nimbla.desktop/shared.db"
    "$home_in/Library/Group Containers/abcde12345.com.nimbla.desktop/shared.db"
    "$home_in/Library/Group Containers/ABCDE12345.com.other.app/shared.db"
    "$home_in/Library/Containers/com.nimbla.desktop/Data/file"
    "$home_in/Documents/com.nimbla.desktop.plist"
    /Library/Caches/com.nimbla.desktop/system-cache
    /Outside/cache-target/keep.txt
    /Outside/support-target/keep.txt
)

populate_user() {
    local path
    for path in "${user_traces[@]}"; do
        case $path in
        */com.nimbla.desktop | */Nimbla | */*.savedState | */*.nimblafileprovider | */ABCDE12345.com.nimbla.desktop)
            put "$root$path/nested/folder/file" ;;
        *) put "$root$path" ;;
        esac
    done
    for path in "${user_decoys[@]}"; do
        put "$root$path" "keep $path"
    done
    # The cache entry is a link to a folder outside the list; a link inside a listed folder too.
    rm -rf "$root$home_in/Library/Caches/com.nimbla.desktop"
    ln -s /Outside/cache-target "$root$home_in/Library/Caches/com.nimbla.desktop"
    ln -s /Outside/support-target "$root$home_in/Library/Application Support/Nimbla/linked"
    # The user owns everything it could reach, so only the script's own care protects the decoys.
    chown -R "$nobody:$nobody" "$root/Users/alice" "$root/Outside" "$root/Library"
}

user_cases() {
    local path before

    # Removes every listed entry, as the user it runs for, and nothing else; a second run is fine.
    fresh_tree
    populate_user
    run "$nobody" /work/uninstall_nimbla_drive -u -s
    expect_rc 0 "first run"
    expect_gone "${user_traces[@]}"
    expect_present "${user_decoys[@]}"
    for path in "${user_traces[@]}"; do
        expect_output out "Removed $path"
    done
    [[ $(wc -l <"$results/out") == "${#user_traces[@]}" ]] || fail "unexpected output: $(cat "$results/out")"
    expect_empty err
    [[ ! -e $root/pwned && ! -e $root$home_in/pwned ]] || fail "a file name was run as a command"
    before=$(snapshot)
    for options in "-s -u" "-us" "-su"; do
        # shellcheck disable=SC2086
        run "$nobody" /work/uninstall_nimbla_drive $options
        expect_rc 0 "run with $options on a clean tree"
        expect_empty out
        expect_empty err
    done
    [[ $(snapshot) == "$before" ]] || fail "a second run changed the tree"

    # Usage errors remove nothing.
    fresh_tree
    populate_user
    before=$(snapshot)
    run "$nobody" /work/uninstall_nimbla_drive -u -s -x
    expect_rc 64 "unknown option"
    expect_in err "usage: uninstall_nimbla_drive -u [-s]"
    run "$nobody" /work/uninstall_nimbla_drive --help
    expect_rc 64 "long option"
    run "$nobody" /work/uninstall_nimbla_drive -u -s extra
    expect_rc 64 "extra argument"
    run "$nobody" /work/uninstall_nimbla_drive
    expect_rc 64 "no option"
    expect_in err "usage:"
    run "$nobody" /work/uninstall_nimbla_drive -s
    expect_rc 64 "silent without -u"
    run "$nobody" /work/uninstall_nimbla_drive -u
    expect_rc 64 "asking without a terminal"
    expect_in err "pass -s"
    [[ $(snapshot) == "$before" ]] || fail "a usage error changed the tree"

    # Without -s it asks on the terminal: anything but yes removes nothing.
    if command -v script >/dev/null; then
        local asking
        asking=$(printf '%q ' chroot "$root" /usr/bin/env -i "HOME=$home_in" PATH=/usr/bin:/bin \
            /work/uninstall_nimbla_drive -u)
        rc=0
        : >"$results/err"
        echo n | timeout 60 script -qec "$asking" /dev/null >"$results/out" 2>&1 || rc=$?
        expect_rc 1 "answering no"
        expect_in out "Nothing removed."
        [[ $(snapshot) == "$before" ]] || fail "answering no changed the tree"
        rc=0
        echo y | timeout 60 script -qec "$asking" /dev/null >"$results/out" 2>&1 || rc=$?
        expect_rc 0 "answering yes"
        expect_gone "${user_traces[@]}"
        expect_present "${user_decoys[@]}"
        fresh_tree
        populate_user
    fi

    # An unusable home folder is refused (even as root); the bait under /Library stays.
    for run_home in "" relative/home /Users/nobody-here / /Users; do
        run 0 /work/uninstall_nimbla_drive -u -s
        expect_rc 1 "HOME='$run_home'"
        expect_in err "uninstall_nimbla_drive: "
    done
    run_home=$home_in
    [[ $(snapshot) == "$before" ]] || fail "an unusable home folder changed the tree"

    # A home reached through a link is resolved and cleaned.
    ln -s /Users "$root/Homes"
    run_home=/Homes/alice
    run "$nobody" /work/uninstall_nimbla_drive -u -s
    run_home=$home_in
    rm "$root/Homes"
    expect_rc 0 "home reached through a link"
    expect_gone "${user_traces[@]}"
    expect_present "${user_decoys[@]}"

    # A linked ~/Library cannot redirect the removal: refused, the link's target untouched.
    fresh_tree
    populate_user
    mv "$home/Library" "$root/Outside/Library"
    ln -s /Outside/Library "$home/Library"
    before=$(snapshot)
    run "$nobody" /work/uninstall_nimbla_drive -u -s
    expect_rc 1 "linked Library"
    expect_in err "is a symbolic link"
    expect_empty out
    [[ $(snapshot) == "$before" ]] || fail "a linked Library was followed"

    # A linked folder inside ~/Library is refused too, the rest is still removed.
    fresh_tree
    populate_user
    mv "$home/Library/Logs" "$root/Outside/Logs"
    ln -s /Outside/Logs "$home/Library/Logs"
    run "$nobody" /work/uninstall_nimbla_drive -u -s
    expect_rc 1 "linked Logs folder"
    expect_in err "not removing $home_in/Library/Logs/Nimbla: $home_in/Library/Logs is a symbolic link"
    expect_present /Outside/Logs/Nimbla/nested/folder/file
    expect_gone "$home_in/Library/Application Support/Nimbla" "$home_in/Library/Preferences/com.nimbla.desktop.plist"

    # An entry that cannot be removed (read-only folder) fails with a message, every time.
    fresh_tree
    populate_user
    mount --bind "$home/Library/Logs" "$home/Library/Logs"
    mount -o remount,bind,ro "$home/Library/Logs"
    run "$nobody" /work/uninstall_nimbla_drive -u -s
    expect_rc 1 "read-only Logs folder"
    expect_in err "could not remove $home_in/Library/Logs/Nimbla"
    expect_present "$home_in/Library/Logs/Nimbla"
    expect_gone "$home_in/Library/Application Support/Nimbla" "$home_in/Library/Containers/com.nimbla.desktop.nimblafileprovider"
    run 0 /work/uninstall_nimbla_drive -u -s
    expect_rc 1 "read-only Logs folder, as root, second run"
    expect_in err "could not remove $home_in/Library/Logs/Nimbla"
    umount "$home/Library/Logs"
}

# ---- the privileged script ----

root_traces=(
    /Applications/Nimbla.app
    /Library/LaunchDaemons/com.nimbla.desktop.plist
    /Library/LaunchDaemons/com.nimbla.desktop.helper.plist
    /Library/PrivilegedHelperTools/com.nimbla.desktop
    /Library/PrivilegedHelperTools/com.nimbla.desktop.helper
)
root_decoys=(
    /Applications/Other.app/Contents/Info.plist
    "/Applications/Nimbla Notes.app/Contents/Info.plist"
    /Library/LaunchDaemons/com.other.daemon.plist
    /Library/LaunchDaemons/com.nimbla.desktopcompanion.plist
    /Library/PrivilegedHelperTools/com.other.helper
    "/Library/Application Support/Nimbla/shared.db"
    /Library/Keep/target/keep.txt
    "$home_in/Library/Application Support/Nimbla/user.db"
    "$home_in/Library/CloudStorage/Nimbla-Nimbla/Report.docx"
)

populate_root() {
    local path
    put "$root/Applications/Nimbla.app/Contents/MacOS/Nimbla"
    ln -s /Library/Keep/target "$root/Applications/Nimbla.app/Contents/linked"
    put "$root/Library/LaunchDaemons/com.nimbla.desktop.plist"
    put "$root/Library/LaunchDaemons/com.nimbla.desktop.helper.plist"
    put "$root/Library/PrivilegedHelperTools/com.nimbla.desktop"
    put "$root/Library/PrivilegedHelperTools/com.nimbla.desktop.helper"
    for path in "${root_decoys[@]}"; do
        put "$root$path" "keep $path"
    done
}

# pkgutil and launchctl stand-ins; they log their calls to /tmp in the tree.
install_fake_tools() {
    mount -t tmpfs -o mode=755 nimbla-test-sbin "$root/usr/sbin"
    cat >"$root/usr/sbin/pkgutil" <<'EOF'
#!/bin/sh
case $1 in
--pkgs) printf '%s\n' com.apple.pkg.Core com.nimbla.desktop com.nimbla.desktop.helper \
    com.nimbla.desktopcompanion com.other.app ;;
--forget)
    echo "$2" >>/tmp/pkgutil.log
    [ ! -e /tmp/pkgutil.fail ] || { echo "Unknown package $2" >&2; exit 1; }
    echo "Forgot package '$2' on '/'." ;;
*) exit 1 ;;
esac
EOF
    printf '#!/bin/sh\necho "$*" >>/tmp/launchctl.log\n' >"$root/usr/sbin/launchctl"
    chmod 755 "$root/usr/sbin/pkgutil" "$root/usr/sbin/launchctl"
}

root_cases() {
    local path before

    # Removes the listed parts as root and nothing else; no pkgutil here, so no receipts step.
    fresh_tree
    populate_root
    run 0 /work/uninstall_nimbla_drive_r
    expect_rc 0 "first run"
    expect_gone "${root_traces[@]}"
    expect_present "${root_decoys[@]}"
    for path in "${root_traces[@]}"; do
        expect_output out "Removed $path"
    done
    expect_empty err
    run 0 /work/uninstall_nimbla_drive_r
    expect_rc 0 "second run"
    expect_empty out
    expect_empty err

    # Refuses to run as an ordinary user or with arguments, and removes nothing.
    fresh_tree
    populate_root
    chmod -R a+rwX "$root/Applications" "$root/Library"
    before=$(snapshot)
    run "$nobody" /work/uninstall_nimbla_drive_r
    expect_rc 77 "not root"
    expect_in err "must be run as root"
    run 0 /work/uninstall_nimbla_drive_r -u
    expect_rc 64 "an argument"
    expect_in err "usage: uninstall_nimbla_drive_r"
    [[ $(snapshot) == "$before" ]] || fail "a refused run changed the tree"

    # With pkgutil and launchctl: daemons unloaded, the client's receipts (only those) forgotten.
    install_fake_tools
    fresh_tree
    populate_root
    run 0 /work/uninstall_nimbla_drive_r
    expect_rc 0 "run with pkgutil"
    expect_gone "${root_traces[@]}"
    expect_output out "Forgot package receipt com.nimbla.desktop"
    expect_output out "Forgot package receipt com.nimbla.desktop.helper"
    [[ $(cat "$root/tmp/pkgutil.log") == $'com.nimbla.desktop\ncom.nimbla.desktop.helper' ]] ||
        fail "forgot the wrong receipts: $(cat "$root/tmp/pkgutil.log")"
    [[ $(sort "$root/tmp/launchctl.log") == $'bootout system /Library/LaunchDaemons/com.nimbla.desktop.helper.plist\nbootout system /Library/LaunchDaemons/com.nimbla.desktop.plist' ]] ||
        fail "unexpected launchctl calls: $(cat "$root/tmp/launchctl.log")"

    # A receipt that cannot be forgotten is a failure.
    touch "$root/tmp/pkgutil.fail"
    run 0 /work/uninstall_nimbla_drive_r
    expect_rc 1 "forgetting fails"
    expect_in err "could not forget package receipt com.nimbla.desktop"
    umount "$root/usr/sbin"

    # A linked app is removed as a link; a linked folder of the list is refused.
    fresh_tree
    populate_root
    rm -rf "$root/Applications/Nimbla.app"
    put "$root/Library/Keep/Nimbla.app/Contents/MacOS/Nimbla"
    ln -s /Library/Keep/Nimbla.app "$root/Applications/Nimbla.app"
    mv "$root/Library/PrivilegedHelperTools" "$root/Library/Keep/helpers"
    ln -s /Library/Keep/helpers "$root/Library/PrivilegedHelperTools"
    run 0 /work/uninstall_nimbla_drive_r
    expect_rc 1 "linked helper folder"
    expect_in err "/Library/PrivilegedHelperTools is a symbolic link"
    expect_gone /Applications/Nimbla.app /Library/LaunchDaemons/com.nimbla.desktop.plist
    expect_present /Library/Keep/Nimbla.app/Contents/MacOS/Nimbla /Library/Keep/helpers/com.nimbla.desktop \
        /Library/Keep/helpers/com.nimbla.desktop.helper

    # An entry that cannot be removed fails with a message.
    fresh_tree
    populate_root
    mount --bind "$root/Applications" "$root/Applications"
    mount -o remount,bind,ro "$root/Applications"
    run 0 /work/uninstall_nimbla_drive_r
    expect_rc 1 "read-only Applications"
    expect_in err "could not remove /Applications/Nimbla.app"
    expect_gone /Library/PrivilegedHelperTools/com.nimbla.desktop
}

case $group in
user) user_cases ;;
root) root_cases ;;
esac
if ((failures)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all checks passed"
