#!/usr/bin/env bash
# Runs a test program with NIMBLA_TEST_HOME set to a home folder whose Desktop is unusable,
# inside a private mount namespace so nothing outside it sees the mounts:
#
#   in_mount_namespace.sh readonly|full|writable <program> [argument...]
#
#   readonly   the Desktop is a read-only bind mount (root ignores permission bits, not this)
#   full       the Desktop is a one-page tmpfs, filled up
#   writable   an ordinary Desktop (the control case): the program must find its log there
#
# Exit 77 (skipped) without root or mount namespaces, except when CI is set: then it fails.
set -euo pipefail
PATH=/usr/sbin:/usr/bin:/sbin:/bin:$PATH

mode=${1:-}
shift || true
if [[ ! $mode =~ ^(readonly|full|writable)$ ]]; then
    echo "usage: in_mount_namespace.sh readonly|full|writable <program> [argument...]" >&2
    exit 64
fi

unavailable() {
    if [[ -n ${CI:-} ]]; then
        echo "in_mount_namespace: $* (required in CI)" >&2
        exit 1
    fi
    echo "in_mount_namespace: skipped: $*" >&2
    exit 77
}

if [[ ${NIMBLA_IN_MOUNT_NAMESPACE:-} != 1 ]]; then
    ((EUID == 0)) || unavailable "needs root for a private mount namespace"
    command -v unshare >/dev/null || unavailable "unshare is missing"
    unshare --mount --propagation private true 2>/dev/null ||
        unavailable "mount namespaces are not available here"
    NIMBLA_IN_MOUNT_NAMESPACE=1 exec unshare --mount --propagation private "$0" "$mode" "$@"
fi

home=$(mktemp -d /tmp/nimbla-stress-home-XXXXXX)
desktop=$home/Desktop
mkdir "$desktop"
# shellcheck disable=SC2317 # run by the trap
cleanup() {
    umount "$desktop" 2>/dev/null || true
    rm -rf "$home"
}
trap cleanup EXIT

case $mode in
readonly)
    mount --bind "$desktop" "$desktop"
    mount -o remount,bind,ro "$desktop"
    if touch "$desktop/probe" 2>/dev/null; then
        echo "in_mount_namespace: the Desktop is still writable" >&2
        exit 1
    fi
    ;;
full)
    mount -t tmpfs -o size=4k,mode=0755 tmpfs "$desktop"
    dd if=/dev/zero of="$desktop/filler" bs=4096 count=64 2>/dev/null || true
    if printf x >>"$desktop/probe" 2>/dev/null; then
        echo "in_mount_namespace: the Desktop is not full" >&2
        exit 1
    fi
    ;;
writable)
    export NIMBLA_STRESS_EXPECT_LOG=1
    ;;
esac

NIMBLA_TEST_HOME=$home "$@"  # its status is the script's; the trap keeps it
