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
if [ "${XQT_NO_NETNS:-}" != 1 ]; then
    for flag in -n -rn; do
        unshare "$flag" true 2>/dev/null || continue
        # unshare and sh both exec: the test keeps this process, so ctest's timeout reaches it.
        exec unshare "$flag" sh -c 'ip link set lo up && ip route add default dev lo && exec "$@"' isolated "$@"
    done
    echo "isolated.sh: network namespaces are not available here; running without isolation" \
        "(the cases that broadcast skip themselves)" >&2
fi
XQT_NO_NETNS=1 exec "$@"
