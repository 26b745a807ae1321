#!/bin/bash
# Reports the Nimbla Drive client's state for a device-management system's inventory (runs as
# root; changes nothing). See docs/deploy.md.
#
# Prints one line: the client's version, with " running" when it runs for the user; "not
# installed"; or "unknown: <why>" (nobody logged in, say). As a Jamf Pro extension attribute, set
# format=jamf below (or NIMBLA_INVENTORY_FORMAT=jamf): the line is then wrapped in
# <result>...</result>.
# The user: $3 when the system passes one (Jamf Pro's policy parameters), else the one at the
# console; with nobody there (the login window, or a service account such as the setup
# assistant's) the machine: the version, with " running" when it runs for any account. Exit
# status 0, so that an inventory never fails on it.
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
format=${NIMBLA_INVENTORY_FORMAT:-plain}
user=${3-}
uid=$(id -u -- "$user" 2>/dev/null) && ((uid < 500)) && user=

# The one-liner of docs/deploy.md, for the user given or the one at the console.
state=$("$nimbla_reset" status --json ${user:+--user="$user"} </dev/null 2>/dev/null |
    perl -MJSON::PP -0777 -ne '$d = decode_json($_); exit 1 if $d->{error}; $c = $d->{client};
        $s = $c->{installed} ? ($c->{version} // "?") . ($c->{running} ? " running" : "") : "not installed";
        print $s =~ s/[\x00-\x1f\x7f]/?/gr' \
        2>/dev/null)
[[ -n $state ]] || state="unknown: no report from nimbla-reset (an unknown user, say)"
if [[ $format == jamf ]]; then
    echo "<result>$state</result>"
else
    echo "$state"
fi
