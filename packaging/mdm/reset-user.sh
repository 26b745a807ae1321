#!/bin/bash
# Resets Nimbla Drive for one user, from a device-management system (runs as root).
# See docs/deploy.md.
#
# Parameters as Jamf Pro passes them to a policy script: $1 mount point, $2 computer name, $3 the
# user (empty when nobody is logged in), then the administrator's own:
#   $4  seconds to wait for the client to quit when it runs (default 30; 0: refuse instead)
#   $5  "relaunch": reopen the client after the reset (nimbla-reset with --relaunch)
# Systems that pass no parameters run it bare: the user is then the one at the console.
#
# Results go where only root can write: the JSON report to /var/log/nimbla-reset/reset-<user>.json
# ("console" for the user at the console), the log lines to /var/log/nimbla-reset/nimbla-reset.log;
# one summary line on standard output for the system's own collection. Exit status: nimbla-reset's
# (0 reset, 1 failed, 2 usage, 3 the client runs, 4 cannot run: nobody logged in, unknown user,
# a run in progress).
set -u
PATH=/usr/bin:/bin:/usr/sbin:/sbin
nimbla_reset=${NIMBLA_RESET:-/usr/local/bin/nimbla-reset}
[[ -x $nimbla_reset ]] || nimbla_reset=/Applications/NimblaResetTool.app/Contents/MacOS/nimbla-reset
results=/var/log/nimbla-reset
user=${3-} wait=${4:-30} relaunch=${5-}

# Any name the system has an account for (spaces, dots, "@"), as one argument; a service account
# (the setup assistant's during enrolment, say) is nobody.
uid=$(id -u -- "$user" 2>/dev/null) && ((uid < 500)) && user=
[[ $wait =~ ^[0-9]+$ ]] || { echo "bad number of seconds (parameter 4): $wait" >&2; exit 2; }
umask 077
if [[ -L $results ]] || ! mkdir -p "$results" || [[ ! -O $results ]] || ! chmod 0700 "$results"; then
    echo "cannot use $results (not a folder of root's)" >&2
    exit 1
fi

options=(--json --log "$results/nimbla-reset.log")
[[ -n $user ]] && options+=(--user="$user")
((wait > 0)) && options+=(--quit-client="$wait")
[[ $relaunch == relaunch ]] && options+=(--relaunch)
safe=${user//[!A-Za-z0-9_.@-]/_}
"$nimbla_reset" reset "${options[@]}" >"$results/reset-${safe:-console}.json" </dev/null
status=$?
case $status in
0) outcome="reset" ;;
1) outcome="failed; see $results/nimbla-reset.log" ;;
3) outcome="not reset: Nimbla Drive is running; try again later" ;;
4) outcome="not run: nobody logged in, unknown user, or a run in progress; try again later" ;;
*) outcome="not run (exit status $status)" ;;
esac
echo "Nimbla Drive reset for ${user:-the user at the console}: $outcome"
exit "$status"
