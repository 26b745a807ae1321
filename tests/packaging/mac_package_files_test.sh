#!/bin/bash
# The Mac's package files as macOS reads them, checked here: each property list well-formed and
# read whole by libplist (plistutil; an XML-only check takes a key without its value), the
# package's component not relocatable and the product for both architectures, the privacy
# profile granting Full Disk Access and App Management to the signed app and command line, and
# every text macOS shows from Info.plist translated into each language of translations/.
#   mac_package_files_test.sh <source dir> <scratch dir>
set -euo pipefail
source_dir=${1:?usage: $0 <source dir> <scratch dir>}
scratch=${2:?usage: $0 <source dir> <scratch dir>}
rm -rf "$scratch" && mkdir -p "$scratch"
failures=()
fail() { failures+=("$*"); }

# The same elements after libplist has read the file and written it again.
elements() { grep -o '<\(key\|string\|integer\|real\|true\|false\|date\|data\|dict\|array\)\b' | sort | uniq -c; }
read_whole() {
    local file=$1
    xmllint --noout "$file" 2>/dev/null || { fail "$file is not well-formed XML" && return 1; }
    rm -f "$scratch/plist.bin" "$scratch/plist.xml"
    if plistutil -i "$file" -f bin -o "$scratch/plist.bin" >/dev/null 2>&1; then
        plistutil -i "$scratch/plist.bin" -f xml -o "$scratch/plist.xml" >/dev/null 2>&1 || true
    fi
    [[ -s $scratch/plist.xml ]] || { fail "libplist cannot read $file" && return 1; }
    [[ $(elements <"$file") == "$(elements <"$scratch/plist.xml")" ]] ||
        { fail "libplist does not read $file whole" && return 1; }
}
# The value of an XPath expression in file $2.
xpath() { xmllint --xpath "$1" "$2" 2>/dev/null || true; }

# The check itself takes no key without its value.
printf '<?xml version="1.0"?>\n<plist version="1.0"><dict><key>a</key><key>b</key><true/></dict></plist>\n' >"$scratch/bad.plist"
if read_whole "$scratch/bad.plist"; then
    echo "FAIL: the property-list check took a key without its value" >&2
    exit 1
fi
failures=()

mac=$source_dir/packaging/macos
profile=$source_dir/packaging/mdm/nimbla-reset-pppc.mobileconfig
info=$source_dir/resources/Info.plist.in
for plist in "$mac/components.plist" "$profile" "$info"; do
    read_whole "$plist" || true
done
[[ $(xpath 'count(//dict/key[.="BundleIsRelocatable"]/following-sibling::*[1][self::false])' "$mac/components.plist") == 1 ]] ||
    fail "the component is relocatable"
[[ $(xpath 'string(//options/@hostArchitectures)' "$mac/distribution.xml.in") == "arm64,x86_64" ]] ||
    fail "the product does not say hostArchitectures arm64,x86_64"
[[ $(xpath 'string(//allowed-os-versions/os-version/@min)' "$mac/distribution.xml.in") == "11.0" ]] ||
    fail "the product does not allow macOS 11.0"

# Each service grants the app by bundle identifier and the command line by path, both with a
# code requirement naming the team.
for service in SystemPolicyAllFiles SystemPolicyAppBundles; do
    entries="//dict[string='com.apple.TCC.configuration-profile-policy']/dict/key[.='$service']/following-sibling::array[1]/dict"
    for who in com.nimbla.resettool /Applications/NimblaResetTool.app/Contents/MacOS/nimbla-reset; do
        entry="${entries}[key='Identifier']/string[1][.='$who']/.."
        [[ $(xpath "string($entry/key[.='Authorization']/following-sibling::string[1])" "$profile") == Allow ]] ||
            fail "$service does not allow $who"
        [[ $(xpath "string($entry/key[.='CodeRequirement']/following-sibling::string[1])" "$profile") == *'certificate leaf[subject.OU] = "TEAM_ID"'* ]] ||
            fail "$service names $who without the team's code requirement"
    done
done

# Every *UsageDescription key of Info.plist, in each language.
keys=$(grep -o '<key>[A-Za-z]*UsageDescription</key>' "$info" | sed 's/<[^>]*>//g' || true)
[[ -n $keys ]] || fail "Info.plist says why it needs no folder (no NSDesktopFolderUsageDescription)"
for ts in "$source_dir"/translations/*.ts; do
    strings=$scratch/$(basename "$ts" .ts).strings
    if ! cmake -DTS="$ts" -DOUTPUT="$strings" -P "$source_dir/cmake/InfoPlistStrings.cmake" >/dev/null 2>"$scratch/err"; then
        fail "$(basename "$ts"): $(cat "$scratch/err")"
        continue
    fi
    for key in $keys; do
        grep -q "^\"$key\" = \"[^\"]" "$strings" || fail "$(basename "$ts") does not translate $key"
    done
done
grep -q NSDesktopFolderUsageDescription <<<"$keys" || fail "Info.plist has no NSDesktopFolderUsageDescription"

if ((${#failures[@]} > 0)); then
    printf 'FAIL: %s\n' "${failures[@]}" >&2
    exit 1
fi
rm -rf "$scratch"
echo "The Mac's package files, privacy profile and Info.plist texts are as macOS needs them"
