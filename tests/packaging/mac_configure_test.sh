#!/bin/bash
# Configures the whole tree (the window, the command line, every test and the benchmarks) the way
# a Mac does, on this machine: APPLE set, CoreFoundation instead of libplist and ICU (a stand-in
# file: nothing is built), and only the stand-ins in mac-configure/ for what this machine's Qt
# lacks. A target a Mac does not have (PkgConfig::PLIST, ICU::uc, ...) fails the generate step,
# and so does anything else the Mac's branches get wrong.
#   mac_configure_test.sh <source dir> <scratch dir>
set -euo pipefail
source_dir=${1:?usage: $0 <source dir> <scratch dir>}
scratch=${2:?usage: $0 <source dir> <scratch dir>}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
rm -rf "$scratch"
mkdir -p "$scratch"
touch "$scratch/CoreFoundation"
if ! cmake -S "$source_dir" -B "$scratch/build" -G Ninja -Wno-dev \
    -DAPPLE=ON -DCMAKE_PROJECT_INCLUDE="$here/mac-configure/stand-ins.cmake" \
    -DNIMBLA_COREFOUNDATION="$scratch/CoreFoundation" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DNIMBLA_BUILD_BENCH=ON -DNIMBLA_WARNINGS_AS_ERRORS=ON >"$scratch/configure.log" 2>&1; then
    grep -v '^--' "$scratch/configure.log" >&2
    echo "FAIL: the tree does not configure as on a Mac" >&2
    exit 1
fi
# What a Mac must not get: Linux's libraries and the Linux-only tests.
cache=$scratch/build/CMakeCache.txt
problems=()
grep -q '^PLIST_FOUND\|^ICU_' "$cache" && problems+=("looked for libplist or ICU")
tests=$(ctest --test-dir "$scratch/build" -N 2>/dev/null)
grep -Eq ': (e2e\.(reset|uninstall|cli_|mdm_|sim_)|uninstall_scripts\.run|stress\.desktop)' <<<"$tests" && problems+=("registers a Linux-only test")
if ((${#problems[@]} > 0)); then
    printf 'FAIL: the Mac configure %s\n' "${problems[@]}" >&2
    exit 1
fi
rm -rf "$scratch"
echo "The tree configures as on a Mac, without libplist, ICU or the Linux-only tests"
