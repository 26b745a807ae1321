#!/bin/bash
# The shipped scripts run under the Mac's /bin/bash, which is 3.2: fails on what bash 3.2 lacks
# or does differently, in each script given:
#   associative arrays (declare/local/typeset -A), namerefs (-n), mapfile and readarray,
#   case changes (${x,,} ${x^^} ${x,} ${x^}), ${x@Q}-style transformations, [[ -v ]], &>> and |&,
#   ;& and ;;& in case, coproc, {fd}> redirections, negative array indices, shopt globstar and
#   lastpipe, $BASHPID and $EPOCHSECONDS, and under set -u an array that may be empty expanded
#   without the ${a[@]+"${a[@]}"} guard (bash before 4.4 calls it unbound). An array counts as
#   never empty only when every assignment of it in the script lists at least one word.
# Comment lines are not read. First it checks itself on a sample of every construct.
#   bash32_test.sh SCRIPT...
set -euo pipefail

# Prints "<file>:<line>: <what>" for each finding in file $1.
findings() {
    local file=$1
    awk -v file="$file" '
    function report(what) { printf "%s:%d: %s\n", file, FNR, what }
    # Arrays that may be empty: assigned an empty list, or only appended to or read into.
    FNR == NR {
        line = $0
        while (match(line, /[A-Za-z_][A-Za-z0-9_]*\+?=\(/)) {
            name = substr(line, RSTART, RLENGTH - 2)
            rest = substr(line, RSTART + RLENGTH)
            if (name ~ /\+$/) { sub(/\+$/, "", name); if (!(name in full)) maybe[name] = 1 }
            else if (rest ~ /^[ \t]*\)/) maybe[name] = 1
            else if (rest ~ /^[ \t]*$/) pending = name
            else full[name] = 1
            line = rest
        }
        if (pending != "" && $0 !~ /=\($/) {
            if ($0 ~ /^[ \t]*\)/) maybe[pending] = 1; else full[pending] = 1
            pending = ""
        }
        if (match($0, /read[ \t]+(-[a-z]+[ \t]+)*-a[ \t]*[A-Za-z_][A-Za-z0-9_]*/)) {
            n = split(substr($0, RSTART, RLENGTH), words, /[ \t]+/)
            maybe[words[n]] = 1
        }
        next
    }
    /^[ \t]*#/ { next }
    /(^|[;&|[:space:]])set[ \t]+-[a-zA-Z]*u|set[ \t]+-o[ \t]+nounset/ { nounset = 1 }
    /(declare|local|typeset|readonly)[ \t]+-[a-zA-Z]*A/ { report("associative array") }
    /(declare|local|typeset)[ \t]+-[a-zA-Z]*n[a-zA-Z]*[ \t]/ { report("nameref") }
    /(^|[;&|[:space:]])(mapfile|readarray)([[:space:]]|$)/ { report("mapfile/readarray") }
    /\$\{[#!]?[A-Za-z_][A-Za-z0-9_]*(\[[^]]*\])?(,|\^)/ { report("case change in an expansion") }
    /\$\{[A-Za-z_][A-Za-z0-9_]*(\[[^]]*\])?@[QEPAaUuLK]\}/ { report("@ transformation") }
    /\[\[[ \t]+(![ \t]+)?-v[ \t]/ { report("[[ -v ]]") }
    /&>>/ { report("&>>") }
    /\|&/ { report("|&") }
    /[^;];&|;;&/ { report(";& or ;;& in case") }
    /(^|[;&|[:space:]])coproc[[:space:]]/ { report("coproc") }
    /\{[A-Za-z_][A-Za-z0-9_]*\}[<>]/ { report("{fd} redirection") }
    /\$\{[A-Za-z_][A-Za-z0-9_]*\[-[0-9]/ { report("negative array index") }
    /shopt[ \t]+-s[ \t].*(globstar|lastpipe)/ { report("globstar/lastpipe") }
    /\$\{?(BASHPID|EPOCHSECONDS|EPOCHREALTIME)/ { report("variable newer than bash 3.2") }
    nounset {
        line = $0
        # The guarded form first, so what is left is unguarded.
        gsub(/\$\{[A-Za-z_][A-Za-z0-9_]*\[[@*]\]\+"\$\{[A-Za-z_][A-Za-z0-9_]*\[[@*]\]\}"\}/, "", line)
        while (match(line, /\$\{[A-Za-z_][A-Za-z0-9_]*\[[@*]\]\}/)) {
            name = substr(line, RSTART + 2, RLENGTH - 6)
            if (!(name in full) || (name in maybe))
                report("array " name " may be empty: expand it as ${" name "[@]+\"${" name "[@]}\"}")
            line = substr(line, RSTART + RLENGTH)
        }
    }
    ' "$file" "$file"
}

sample=$(mktemp)
trap 'rm -f "$sample"' EXIT
cat >"$sample" <<'EOF'
set -euo pipefail
declare -A map
local -n ref=x
mapfile -t lines <file
echo "${x,,} ${x^^}" "${x@Q}"
[[ -v x ]] && echo
echo &>>log
echo |& cat
case $x in a) echo ;& b) echo ;;& esac
coproc cat
exec {fd}>file
echo "${a[-1]}" "$BASHPID"
shopt -s globstar
maybe=()
maybe+=(x)
appended+=(x)
full=(x y)
# "${skipped[@]}" is in a comment
echo "${maybe[@]}" "${appended[@]}" "${full[@]}" ${maybe[@]+"${maybe[@]}"}
EOF
expected=16
found=$(findings "$sample" | wc -l | tr -d ' ')
if ((found != expected)); then
    echo "FAIL: the check found $found of the sample's $expected constructs:" >&2
    findings "$sample" >&2
    exit 1
fi

(($# > 0)) || { echo "usage: $0 <script>..." >&2 && exit 2; }
problems=$(for script in "$@"; do findings "$script"; done)
if [[ -n $problems ]]; then
    echo "FAIL: newer than bash 3.2:" >&2
    echo "$problems" >&2
    exit 1
fi
echo "bash 3.2: $# script(s) use nothing newer"
