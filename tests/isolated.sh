#!/usr/bin/env bash
# Runs one test entry in a network namespace of its own, with only loopback up and a default route
# over it: the discovery broadcast reaches the simulators of this entry and nothing else, and the
# entries ctest runs side by side never meet on an address, a port or UDP 2380. Every ctest entry
# goes through here, so `ctest` run by hand is as isolated as `./run test`.
#   unshare -n as root, unshare -rn otherwise; where neither is allowed the entry runs as it is
#   with XQT_NO_NETNS=1, and the cases that broadcast skip themselves.
# usage: isolated.sh PROGRAM [ARGS...]
set -u
[ $# -gt 0 ] || {
    echo "usage: isolated.sh PROGRAM [ARGS...]" >&2
    exit 2
}
# Camera locks live in a runtime folder of the entry's own: entries side by side run simulated
# cameras that may share MACs and addresses, and must never see each other's locks.
if [ -z "${XQT_RUNTIME_DIR:-}" ]; then
    XQT_RUNTIME_DIR=$(mktemp -d "${TMPDIR:-/tmp}/xqt-runtime.XXXXXX") || exit 1
    export XQT_RUNTIME_DIR
fi
# The entry's hang guard: XQT_HANG_GUARD seconds (set beside the entry in CMake, enough for the
# slowest tree on the machine the trees were measured on) stretched by XQT_MACHINE_SLOWDOWN, which
# ./run measures: a slower or busier machine gets more time, and a hang still ends the entry with
# a message instead of holding the run.
guard=()
if [ -n "${XQT_HANG_GUARD:-}" ]; then
    limit=$(awk -v s="$XQT_HANG_GUARD" -v f="${XQT_MACHINE_SLOWDOWN:-1}" \
        'BEGIN { if (f + 0 < 1) f = 1; printf "%d", s * f + 0.999 }')
    guard=(timeout -k 10 "$limit")
fi
run() {
    local status=0
    "${guard[@]}" "$@" || status=$?
    if [ ${#guard[@]} -gt 0 ] && { [ $status -eq 124 ] || [ $status -eq 137 ]; }; then
        echo "isolated.sh: the entry ran past its hang guard of $limit s and was stopped" >&2
    fi
    return $status
}
if [ "${XQT_NO_NETNS:-}" != 1 ]; then
    for flag in -n -rn; do
        unshare "$flag" true 2>/dev/null || continue
        run unshare "$flag" sh -c 'ip link set lo up && ip route add default dev lo && exec "$@"' isolated "$@"
        exit
    done
    echo "isolated.sh: network namespaces are not available here; running without isolation" \
        "(the cases that broadcast skip themselves)" >&2
fi
XQT_NO_NETNS=1 run "$@"
