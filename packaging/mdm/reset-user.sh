#!/bin/bash
# Resets Nimbla Drive for one user, from a device-management system (runs as root).
# See docs/deploy.md.
#
# Parameters as Jamf Pro passes them to a policy script: $1 mount point, $2 computer name, $3 the
# user (empty when nobody is logged in), then the administrator's own:
#   $4  seconds to wait for the client to quit when it runs (default 30; 0: refuse instead)
#   $5  "relaunch" (any case): reopen the client the run quit, whatever became of the reset
#       (nimbla-reset with --relaunch)
# Systems that pass no parameters run it bare: the user is then the one at the console.
#
# Results go where only root can write: the JSON report to /var/log/nimbla-reset/reset-<user>.json
# ("console" for the user at the console), the log lines to /var/log/nimbla-reset/nimbla-reset.log;
# one summary line on standard output for the system's own collection, with the report's error
# code and, when it failed, the step that failed. Exit status: nimbla-reset's
# (0 reset, 1 failed, 2 usage, 3 the client runs, 4 cannot run: nobody logged in, unknown user,
# a run in progress).
set -u
PATH=/usr/bin:/bin:/usr/sbin:/sbin
# The nimbla-reset to run as root: $NIMBLA_RESET or /usr/local/bin/nimbla-reset only when it and
# every folder above it are root's and writable by nobody else (by the group only when that is
# 0 or 80, admin; a link on the way only root's, its target alike); else the app's own.
nimbla_reset=${NIMBLA_RESET:-/usr/local/bin/nimbla-reset}
perl -MCwd=realpath -e 'sub ok { my ($p, $n) = @_; return 0 if $n > 16 || $p !~ m{^/};
    my @n = grep { length } split m{/}, $p;
    for my $at ("/", map { "/" . join("/", @n[0 .. $_]) } 0 .. $#n) {
        my @s = lstat $at or return 0;
        if (-l _) { return 0 if $s[4] or !ok(realpath($at), $n + 1); next }
        return 0 if $s[4] or $s[2] & 2 or $s[2] & 16 and $s[5] != 0 and $s[5] != 80 }
    1 } exit !(ok($ARGV[0], 0) && -f $ARGV[0] && -x _)' "$nimbla_reset" 2>/dev/null ||
    nimbla_reset=/Applications/NimblaResetTool.app/Contents/MacOS/nimbla-reset
results=/var/log/nimbla-reset
user=${3-} wait=${4:-30} relaunch=${5-}

# Any name the system has an account for (spaces, dots, "@"), as one argument; a service account
# (the setup assistant's during enrolment, say) is nobody.
uid=$(id -u -- "$user" 2>/dev/null) && ((uid < 500)) && user=
[[ $wait =~ ^[0-9]+$ ]] || { echo "bad number of seconds (parameter 4): $wait" >&2; exit 2; }
relaunch=$(printf '%s' "$relaunch" | tr '[:upper:]' '[:lower:]')
[[ -z $relaunch || $relaunch == relaunch ]] || { echo "parameter 5 is \"relaunch\" or empty, not: ${5-}" >&2; exit 2; }
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
# From the report: the error's code, whose client runs, the first step that failed.
IFS=$'\x1f' read -r code accounts failed < <(perl -MJSON::PP -0777 -ne '$d = eval { decode_json($_) } || {};
    $e = $d->{error} || {}; print join("\x1f", $e->{code} // "", join(", ", @{$e->{accounts} || []}),
    $d->{failedStep} // ""), "\n"' "$results/reset-${user:-console}.json" 2>/dev/null)
case $status in
0) outcome="reset" ;;
1) outcome="failed${failed:+ at \"$failed\"}; see $results/nimbla-reset.log" ;;
3) outcome="not reset: Nimbla Drive is running${accounts:+ for $accounts}; try again later" ;;
4) outcome="not run: nobody logged in, unknown user, or a run in progress; try again later" ;;
*) outcome="not run (exit status $status)" ;;
esac
echo "Nimbla Drive reset for ${user:-the user at the console}: $outcome${code:+ (error $code)}"
exit "$status"
