#!/bin/bash
# Uninstalls Nimbla Drive, from a device-management system or as a packaged-software tool's
# uninstall script (runs as root). See docs/deploy.md.
#
# Parameters as Jamf Pro passes them to a policy script: $1 mount point, $2 computer name, $3 the
# user (empty when nobody is logged in), then the administrator's own:
#   $4  seconds to wait for the client to quit when it runs (default 30; 0: refuse instead)
# Tools that pass no parameters run it bare: the user is then the one at the console, whose
# file-provider domain and Library traces go with the machine-wide parts.
#
# Results go where only root can write: the JSON report to
# /var/log/nimbla-reset/uninstall-<user>.json ("console" for the user at the console), the log
# lines to /var/log/nimbla-reset/nimbla-reset.log; one summary line on standard output for the
# system's own collection, naming what is left over when the uninstall could not remove it all,
# the step that failed, whose client runs when that stopped it, and the report's error code.
# Exit status: nimbla-reset's (0 uninstalled, 1 failed or leftovers remain, 2 usage, 3 the client
# runs, 4 cannot run: nobody logged in, unknown user, a run in progress).
set -u
PATH=/usr/bin:/bin:/usr/sbin:/sbin
nimbla_reset=${NIMBLA_RESET:-/usr/local/bin/nimbla-reset}
[[ -x $nimbla_reset ]] || nimbla_reset=/Applications/NimblaResetTool.app/Contents/MacOS/nimbla-reset
results=/var/log/nimbla-reset
user=${3-} wait=${4:-30}

[[ -z $user || $user =~ ^[A-Za-z0-9_][A-Za-z0-9_.@-]*$ ]] || { echo "bad user name: $user" >&2; exit 2; }
[[ $wait =~ ^[0-9]+$ ]] || { echo "bad number of seconds (parameter 4): $wait" >&2; exit 2; }
umask 077
if [[ -L $results ]] || ! mkdir -p "$results" || [[ ! -O $results ]] || ! chmod 0700 "$results"; then
    echo "cannot use $results (not a folder of root's)" >&2
    exit 1
fi

options=(--json --log "$results/nimbla-reset.log")
[[ -n $user ]] && options+=(--user "$user")
((wait > 0)) && options+=(--quit-client="$wait")
report=$results/uninstall-${user:-console}.json
"$nimbla_reset" uninstall "${options[@]}" >"$report" </dev/null
status=$?
# From the report: what remains ("leftovers"), the first step that failed, the error's code and
# whose client runs.
IFS=$'\x1f' read -r leftovers failed code accounts < <(perl -MJSON::PP -0777 -ne '$d = eval { decode_json($_) } || {};
    $e = $d->{error} || {}; print join("\x1f", join(", ", map { ref ? encode_json($_) : $_ } @{$d->{leftovers} || []}),
    $d->{failedStep} // "", $e->{code} // "", join(", ", @{$e->{accounts} || []})), "\n"' "$report" 2>/dev/null)
case $status in
0) outcome="uninstalled" ;;
1) outcome="failed${failed:+ at \"$failed\"}${leftovers:+; left over: $leftovers}; see $results/nimbla-reset.log" ;;
3) outcome="not uninstalled: Nimbla Drive is running${accounts:+ for $accounts}; try again later" ;;
4) outcome="not run: nobody logged in, unknown user, or a run in progress; try again later" ;;
*) outcome="not run (exit status $status)" ;;
esac
echo "Nimbla Drive uninstall for ${user:-the user at the console}: $outcome${code:+ (error $code)}"
exit "$status"
