#!/usr/bin/env bash
# The demonstration that `./run demo` starts: the demo fleet of simulated cameras and the wizard,
# together in an isolated network namespace, so the wizard's discovery broadcast reaches the
# simulator and nothing else. The wizard opens on the user's display; closing it stops the
# simulator.
#
#   sim/demo.sh BUILD_DIR
#   XQT_SCREENSHOT=/tmp/wizard.png sim/demo.sh BUILD_DIR   # also save a picture of the wizard each second
#
# Without a display (DISPLAY and WAYLAND_DISPLAY both empty) it says so and exits with 1. Under
# Xvfb: `Xvfb :99 & DISPLAY=:99 ./run demo`.
set -euo pipefail

die() {
    echo "demo: $*" >&2
    exit 1
}

[ $# -ge 1 ] || die "usage: sim/demo.sh BUILD_DIR"
BUILD=$(readlink -f "$1")
ROOT=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
FLEET=$ROOT/sim/fleets/demo.json
CAMSIM=$BUILD/sim/xqt-camsim
WIZARD=$BUILD/gui/xqt-upgrade

[ -x "$CAMSIM" ] || die "$CAMSIM is missing; build first (./run build)"
[ -x "$WIZARD" ] || die "$WIZARD is missing; build first (./run build)"
[ -r "$FLEET" ] || die "the fleet file $FLEET is missing"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    die "no display: the wizard needs one, and neither DISPLAY nor WAYLAND_DISPLAY is set." \
        "On a machine without a screen run it under Xvfb: Xvfb :99 & DISPLAY=:99 ./run demo"
fi
# Inside the namespace only local sockets reach the display: an X server over TCP (host:N, as ssh
# forwarding gives) is on the other side.
case "${DISPLAY:-}" in
    "" | :* | unix:* | /*) ;;
    *) [ -n "${WAYLAND_DISPLAY:-}" ] ||
        die "DISPLAY=$DISPLAY is reached over the network, which the isolated namespace cuts off;" \
            "use a local display (:N)" ;;
esac

if [ "${XQT_DEMO_NETNS:-}" != 1 ]; then
    if unshare -n true 2>/dev/null; then
        flag=-n
    elif unshare -rn true 2>/dev/null; then
        flag=-rn
    else
        die "cannot make an isolated network namespace (unshare -n as root, unshare -rn otherwise);" \
            "the demo will not send its discovery broadcast into the real network"
    fi
    exec unshare "$flag" env XQT_DEMO_NETNS=1 XQT_DEMO_USERNS="$([ "$flag" = -rn ] && echo 1 || echo 0)" \
        "$0" "$BUILD"
fi

# ---- inside the namespace ----
ip link set lo up
ip route add default dev lo

# The abstract X socket belongs to the machine's network namespace; the X libraries then use the
# socket file in /tmp/.X11-unix, which is shared.
if [ "${XQT_DEMO_USERNS:-0}" = 1 ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    # Seen from a user namespace the runtime folder belongs to nobody, which Qt complains about.
    XDG_RUNTIME_DIR=$(mktemp -d)
    export XDG_RUNTIME_DIR
fi

TMP=$(mktemp -d)
SIM_PID=
cleanup() {
    if [ -n "$SIM_PID" ]; then
        kill "$SIM_PID" 2>/dev/null || true
        wait "$SIM_PID" 2>/dev/null || true
    fi
    rm -rf "$TMP"
    if [ "${XQT_DEMO_USERNS:-0}" = 1 ] && [ -n "${XDG_RUNTIME_DIR:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        rm -rf "$XDG_RUNTIME_DIR"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

"$CAMSIM" --fleet "$FLEET" --discovery >"$TMP/camsim.log" 2>&1 &
SIM_PID=$!
for _ in $(seq 100); do
    grep -q "ready" "$TMP/camsim.log" && break
    kill -0 "$SIM_PID" 2>/dev/null || break
    sleep 0.1
done
if ! grep -q "ready" "$TMP/camsim.log"; then
    cat "$TMP/camsim.log" >&2
    die "the simulated fleet did not start"
fi

# The fleet's time scale: the wizard's own waits are at full length, so only a fleet at 1 lets it
# follow an upgrade as it would a real camera.
SCALE=$(sed -n 's/^xqt-camsim: time scale \([^ ]*\).*/\1/p' "$TMP/camsim.log")
echo "== simulated cameras and their administrator logins (xqt-camsim, fleet $FLEET, time scale ${SCALE:-unknown})"
grep -v "ready" "$TMP/camsim.log" | grep -v "^xqt-camsim: answering" | grep -v "^xqt-camsim: time scale" || true
echo
echo "Automatic mode lists the cameras that discovery finds (models the firmware suits); manual mode"
echo "takes any address above. Closing the wizard stops the simulator."
[ -n "${XQT_SCREENSHOT:-}" ] && echo "A picture of the wizard goes to $XQT_SCREENSHOT every second."

status=0
"$WIZARD" || status=$?
exit "$status"
