# The log lines the tool writes for the simulated installation's default scenario, shared by the
# window's cases (e2e-case) and the command line's (cli-case): both must write the same log.
# Sourced inside the simulation; $library is the simulated user's ~/Library.
# shellcheck shell=bash disable=SC2034 # used by the scripts that source it

library=/Users/alex/Library
version_read() { # the runner's lines for the version read of client 2.40.1
    printf 'Reading tolu version from defaults output: %s\n\nReading tolu version from defaults done.\n' "${1:-2.40.1}"
}
removal_by_client_tool() { # $1: the folder the unsynced files went to
    printf 'Removing Nimbla domain output: Saved the unsynced files of domain Nimbla to %s\nRemoved domain Nimbla\n\nRemoving Nimbla domain done.\n' "$1"
}
reset_tail='Deleting com.nimbla.desktop defaults output: 
Deleting com.nimbla.desktop defaults done.
Removing Application Support Nimbla folder output: 
Removing Application Support Nimbla folder done.
Reset Succeeded
'
user_script_output() {
    local path
    printf 'uninstall_nimbla_drive -u -s output: '
    for path in "Application Support/Nimbla/Nimbla" Caches/com.nimbla.desktop Logs/Nimbla/nimbla.log \
        Preferences/com.nimbla.desktop.plist "Saved Application State/com.nimbla.desktop.savedState" \
        HTTPStorages/com.nimbla.desktop HTTPStorages/com.nimbla.desktop.binarycookies \
        LaunchAgents/com.nimbla.desktop.plist Containers/com.nimbla.desktop.nimblafileprovider \
        Preferences/com.nimbla.desktop.nimblafileprovider.plist \
        "Group Containers/ABCDE12345.com.nimbla.desktop" "Application Support/Nimbla" Logs/Nimbla; do
        printf 'Removed %s\n' "$library/$path"
    done
    printf '\nuninstall_nimbla_drive -u -s done.\n'
}
