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
# system's own collection, naming what is left over when the uninstall could not remove it all,
# the step that failed, whose client runs when that stopped it, and the report's error code.
# Exit status: nimbla-reset's (0 uninstalled, 1 failed or leftovers remain, 2 usage, 3 the client
# runs, 4 cannot run: unknown user, a service account, a run in progress).
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
user=${3-} wait=${4:-30} scope=$(printf '%s' "${5-}" | tr '[:upper:]' '[:lower:]')

# Any name the system has an account for (spaces, dots, "@"), as one argument; a service account
# (the setup assistant's during enrolment, say) is nobody.
if [[ -n $user ]] && ! uid=$(id -u -- "$user" 2>/dev/null); then
    echo "no such user (parameter 3): $user" >&2
    exit 2
fi
[[ -n $user ]] && ((uid < 500)) && user=
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
# From the report: what remains ("leftovers"), the first step that failed, the error's code and
# whose client runs; a control character in any of them shown as "?" (a name never starts a line
# of its own).
IFS=$'\x1f' read -r leftovers failed code accounts < <(perl -MJSON::PP -0777 -ne '$d = eval { decode_json($_) } || {};
    sub shown { ($_[0] // "") =~ s/[\x00-\x1f\x7f]/?/gr } $e = $d->{error} || {};
    print join("\x1f", shown(join(", ", map { ref ? encode_json($_) : $_ } @{$d->{leftovers} || []})),
    shown($d->{failedStep}), shown($e->{code}), shown(join(", ", @{$e->{accounts} || []}))), "\n"' "$report" 2>/dev/null)
case $status in
0) outcome="uninstalled" ;;
1) outcome="failed${failed:+ at \"$failed\"}${leftovers:+; left over: $leftovers}; see $results/nimbla-reset.log" ;;
3) outcome="not uninstalled: Nimbla Drive is running${accounts:+ for $accounts}; try again later" ;;
4) outcome="not run: unknown user, a service account, or a run in progress; try again later" ;;
*) outcome="not run (exit status $status)" ;;
esac
echo "Nimbla Drive uninstall $whom: $outcome${code:+ (error $code)}"
exit "$status"
