#!/bin/bash
# Uninstalls Nimbla Drive, from a device-management system or as a packaged-software tool's
# uninstall script (runs as root). See docs/deploy.md.
#
# Parameters as Jamf Pro passes them to a policy script: $1 mount point, $2 computer name, $3 the
# user (empty when nobody is logged in), then the administrator's own:
#   $4  seconds to wait for the client to quit when it runs (default 30; 0: refuse instead)
#   $5  "user": uninstall for the user in $3 only (Self Service), leaving the app and the other
#       accounts alone
# Otherwise it removes the client from the machine, whoever is logged in (the login window
# included): every account's file-provider domain and Library traces, then the machine-wide parts
# (nimbla-reset uninstall --all-users). Tools that pass no parameters run it bare.
#
# Results go where only root can write: the JSON report to
# /var/log/nimbla-reset/uninstall-all-users.json (uninstall-<user>.json for one user), the log
# lines to /var/log/nimbla-reset/nimbla-reset.log; one summary line on standard output for the
# system's own collection, naming what is left over when the uninstall could not remove it all.
# Exit status: nimbla-reset's (0 uninstalled, 1 failed or leftovers remain, 2 usage, 3 the client
# runs, 4 cannot run: unknown user, a service account, a run in progress).
set -u
PATH=/usr/bin:/bin:/usr/sbin:/sbin
nimbla_reset=${NIMBLA_RESET:-/usr/local/bin/nimbla-reset}
[[ -x $nimbla_reset ]] || nimbla_reset=/Applications/NimblaResetTool.app/Contents/MacOS/nimbla-reset
results=/var/log/nimbla-reset
user=${3-} wait=${4:-30} scope=$(printf '%s' "${5-}" | tr '[:upper:]' '[:lower:]')

# Any name the system has an account for (spaces, dots, "@"), as one argument; a service account
# (the setup assistant's during enrolment, say) is nobody.
uid=$(id -u -- "$user" 2>/dev/null) && ((uid < 500)) && user=
[[ $scope == user && -z $user ]] && { echo "parameter 5 is \"user\" but nobody is named in parameter 3" >&2; exit 2; }
[[ $wait =~ ^[0-9]+$ ]] || { echo "bad number of seconds (parameter 4): $wait" >&2; exit 2; }
umask 077
if [[ -L $results ]] || ! mkdir -p "$results" || [[ ! -O $results ]] || ! chmod 0700 "$results"; then
    echo "cannot use $results (not a folder of root's)" >&2
    exit 1
fi

options=(--json --log "$results/nimbla-reset.log")
if [[ $scope == user ]]; then
    options+=(--user="$user")
    whom="for $user" report=$results/uninstall-${user//[!A-Za-z0-9_.@-]/_}.json
else
    options+=(--all-users)
    whom="from this Mac" report=$results/uninstall-all-users.json
fi
((wait > 0)) && options+=(--quit-client="$wait")
"$nimbla_reset" uninstall "${options[@]}" >"$report" </dev/null
status=$?
# What remains after a failed uninstall: the report's "leftovers" (when nimbla-reset reports them).
leftovers=$(perl -MJSON::PP -0777 -ne '$d = eval { decode_json($_) } || {};
    print join(", ", map { ref ? encode_json($_) : $_ } @{$d->{leftovers} || []})' "$report" 2>/dev/null)
case $status in
0) outcome="uninstalled" ;;
1) outcome="failed${leftovers:+; left over: $leftovers}; see $results/nimbla-reset.log" ;;
3) outcome="not uninstalled: Nimbla Drive is running; try again later" ;;
4) outcome="not run: unknown user, a service account, or a run in progress; try again later" ;;
*) outcome="not run (exit status $status)" ;;
esac
echo "Nimbla Drive uninstall $whom: $outcome"
exit "$status"
