#!/bin/bash
# The baseline of P6: Nimbla Drive's state for one user, probed the way administrators' scripts
# do it today (runs as root, in the simulated installation; the Mac's sw_vers is the same one
# process start as the defaults read used here).
#
#   admin-status.sh USER
#
# Prints the client's version, whether it runs, the system version and every trace of the client
# on disk: the fixed targets of both uninstall scripts (their --list), the file-provider domain,
# the package receipts and the folders that hold never-uploaded files.
set -u
PATH=/usr/bin:/bin:/usr/sbin:/sbin
user=$1
uid=$(id -u "$user") || exit 1
home=/Users/$user
library=$home/Library
bundle_id=com.nimbla.desktop

version=$(defaults read /Applications/Nimbla.app/Contents/Info.plist CFBundleShortVersionString 2>/dev/null)
if pgrep -u "$uid" -xf /Applications/Nimbla.app/Contents/MacOS/Nimbla >/dev/null; then
    running=yes
else
    running=no
fi
system=$(defaults read /System/Library/CoreServices/SystemVersion.plist ProductVersion 2>/dev/null)
echo "version=${version:-none} running=$running system=$system"

shopt -s nullglob
for path in \
    "$library/Application Support/Nimbla/Nimbla" \
    "$library/Caches/$bundle_id" \
    "$library/Logs/Nimbla/nimbla.log" \
    "$library/Preferences/$bundle_id.plist" \
    "$library/Saved Application State/$bundle_id.savedState" \
    "$library/HTTPStorages/$bundle_id" \
    "$library/HTTPStorages/$bundle_id.binarycookies" \
    "$library/LaunchAgents/$bundle_id.plist" \
    "$library/Containers/$bundle_id.nimblafileprovider" \
    "$library/Preferences/$bundle_id".*.plist \
    "$library/LaunchAgents/$bundle_id".*.plist \
    "$library/Group Containers/"??????????".$bundle_id" \
    "$library/Group Containers/group.$bundle_id" \
    "$library/Application Support/Nimbla" \
    "$library/Logs/Nimbla" \
    "$library/Application Support/FileProvider/$bundle_id.nimblafileprovider" \
    "$home/Nimbla-Nimbla (Archive)" \
    "$library/CloudStorage/Nimbla-Nimbla ("* \
    /Applications/Nimbla.app \
    "/Library/LaunchDaemons/$bundle_id.plist" \
    "/Library/PrivilegedHelperTools/$bundle_id" \
    "/Library/LaunchDaemons/$bundle_id".*.plist \
    "/Library/PrivilegedHelperTools/$bundle_id".* \
    "/var/db/receipts/$bundle_id".*; do
    if test -e "$path"; then
        echo "$path"
    fi
done
