#!/usr/bin/env bash
# The Ansible collection vexo.xqt (deploy/ansible) on three simulated segments, each host run
# locally: segment-a clean, segment-b with a camera refusing the login, segment-c unreachable
# until its simulator starts. One scenario:
#   1. --check over all segments: dry-run reports merged, nothing written to any camera;
#   2. the rollout with serial 1 and max_fail_percentage 0: a and b run, b fails, c is not run;
#   3. the rollout resumed from the merged report once c is up: nothing is flashed twice;
#   4. the module on its own: check mode leaves report_path alone, no login fails before the tool
#      runs, an empty run fails unless allowed; and a merge keeps the segments not run.
# The login password never shows in the output (-vvv) or the reports.
# usage: ansible-test.sh BUILD_DIR   (exit 77: ansible-playbook is not installed)
set -uo pipefail
BUILD=$(readlink -f "${1:?usage: ansible-test.sh BUILD_DIR}")
SRC=$(readlink -f "$(dirname "$0")/../..")
CLI=$BUILD/cli/xqt-cli
CAMSIM=$BUILD/sim/xqt-camsim
SCALE=0.02
PW="Kv7-unlikely-Qz4-pw"
# The system's Python, which ansible-core's packages (and python3-yaml) belong to.
PYTHON=/usr/bin/python3
[ -x "$PYTHON" ] || PYTHON=$(command -v python3)

if ! command -v ansible-playbook >/dev/null || ! command -v ansible-doc >/dev/null; then
    echo "ansible-test: ansible-playbook is not installed; skipped"
    exit 77
fi
# The simulated cameras and xqt-cli must only ever see loopback.
# (netlink, not /sys/class/net: sysfs still shows the host's interfaces inside unshare -n)
foreign=$(ip -o link show | awk -F': ' '{ sub(/@.*/, "", $2); if ($2 != "lo") printf "%s ", $2 }')
if [ -n "$foreign" ]; then
    echo "ansible-test: network interfaces other than lo are present ($foreign); run inside:" \
        "unshare -rn bash -c 'ip link set lo up; ip route add default dev lo; $0 $BUILD'" >&2
    [ "${XQT_NO_NETNS:-}" = 1 ] && exit 77
    exit 1
fi
[ -x "$CLI" ] && [ -x "$CAMSIM" ] || { echo "ansible-test: $CLI or $CAMSIM missing" >&2; exit 1; }

WORK=$(mktemp -d /tmp/xqt-ansible-test.XXXXXX)
SIMS=()
cleanup() {
    local pid
    for pid in "${SIMS[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    if [ "${failed:-1}" = 0 ]; then rm -rf "$WORK"; else echo "ansible-test: files kept in $WORK" >&2; fi
}
trap cleanup EXIT
failed=1
fail() {
    echo "ansible-test: FAILED: $*" >&2
    exit 1
}

# Nothing of Ansible's is written outside the test's folder.
export HOME=$WORK/home ANSIBLE_LOCAL_TEMP=$WORK/home/tmp ANSIBLE_REMOTE_TEMP=$WORK/home/remote-tmp
export ANSIBLE_COLLECTIONS_PATH=$SRC/deploy/ansible ANSIBLE_CONFIG=$WORK/ansible.cfg
export ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0 ANSIBLE_HOST_KEY_CHECKING=0
mkdir -p "$HOME" "$WORK/reports"
: >"$ANSIBLE_CONFIG"
cd "$WORK" || exit 1

# fleet NAME SUBNET COUNT [REFUSING_HOST]: a fleet file of COUNT cameras 127.0.SUBNET.1..COUNT on
# port 80, whose administrator is admin with the test's password.
fleet() {
    "$PYTHON" - "$@" "$PW" "$SCALE" <<'EOF'
import json, sys
name, subnet, count, refusing, pw, scale = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], sys.argv[5], float(sys.argv[6])
cameras = [{"ipText": "127.0.%d.%d" % (subnet, i), "webPort": 80, "model": "XQT-TR60", "serial": "%d%03d" % (subnet, i),
            "mac": "08:00:46:%02X:00:%02X" % (subnet, i), "softVersion": "1.10",
            "users": [{"name": "admin", "password": pw, "administrator": True}],
            **({"http": {"refuseLogin": True}} if str(i) == refusing else {})} for i in range(1, count + 1)]
json.dump({"timeScale": scale, "cameras": cameras}, open(name + ".json", "w"), indent=1)
EOF
}
# start_sim NAME: serves NAME.json until the test ends; waits for its "ready" line.
start_sim() {
    "$CAMSIM" --fleet "$1.json" --time-scale "$SCALE" >"$1.sim.log" 2>&1 &
    local pid=$!
    SIMS+=($pid)
    # Until it is ready or has given up: no guess at how long a busy machine takes to start it.
    while kill -0 "$pid" 2>/dev/null && ! grep -q ready "$1.sim.log"; do
        sleep 0.1
    done
    grep -q ready "$1.sim.log" || fail "xqt-camsim did not start $1: $(cat "$1.sim.log")"
}
fleet fleet-a 40 3 -
fleet fleet-b 41 2 2
fleet fleet-c 42 2 -
start_sim fleet-a
start_sim fleet-b

PY=$PYTHON
cat >inventory.yml <<EOF
all:
  children:
    xqt_segments:
      vars:
        ansible_connection: local
        ansible_python_interpreter: $PY
        xqt_install_package: false
        xqt_executable: $CLI
        xqt_time_scale: $SCALE
        xqt_user: admin
        xqt_password: $PW
        xqt_parallel: 4
        xqt_retain: false
        xqt_remote_dir: $WORK/hosts   # shared by the three local hosts
      hosts:
        segment-a:
          xqt_targets: [127.0.40.1, 127.0.40.2, 127.0.40.3]
        segment-b:
          xqt_targets: [127.0.41.1, 127.0.41.2]
        segment-c:
          xqt_targets: [127.0.42.1, 127.0.42.2]
EOF

# playbook LOG [ARGS...]: runs site.yml on the inventory, the output in LOG; its exit code.
playbook() {
    local log=$1
    shift
    ansible-playbook -i inventory.yml "$SRC/deploy/ansible/site.yml" -e xqt_report_dir="$WORK/reports" "$@" \
        >"$log" 2>&1
}

# The playbook parses, and the module's documentation matches the options it accepts.
ansible-playbook -i inventory.yml --syntax-check "$SRC/deploy/ansible/site.yml" >syntax.log 2>&1 ||
    fail "syntax check: $(cat syntax.log)"
ansible-doc -t module vexo.xqt.xqt_batch >doc.log 2>&1 && grep -q "resume_segment" doc.log ||
    fail "ansible-doc: $(cat doc.log)"
"$PYTHON" - "$SRC/deploy/ansible/ansible_collections/vexo/xqt/plugins/modules/xqt_batch.py" <<'EOF' || fail "module documentation"
import ast, sys, yaml
tree = ast.parse(open(sys.argv[1]).read())
texts = {n.targets[0].id: n.value.value for n in tree.body if isinstance(n, ast.Assign) and isinstance(n.value, ast.Constant)}
documented = yaml.safe_load(texts["DOCUMENTATION"])["options"]
yaml.safe_load(texts["EXAMPLES"]), yaml.safe_load(texts["RETURN"])
call = next(n for n in ast.walk(tree) if isinstance(n, ast.Call) and getattr(n.func, "id", "") == "AnsibleModule")
arguments_node = next(k.value for k in call.keywords if k.arg == "argument_spec")
accepted = {k.arg: {kw.arg: ast.literal_eval(kw.value) for kw in k.value.keywords} for k in arguments_node.keywords}
bad = [name for name in set(accepted) | set(documented)
       if name not in accepted or name not in documented
       or any(accepted[name].get(key) != documented[name].get(key) for key in ("type", "default", "elements"))]
sys.exit("documentation and accepted options differ for: %s" % ", ".join(sorted(bad)) if bad else 0)
EOF

# check PHASE: the assertions on the merged reports after each run (python; exits non-zero on a fault).
check() {
    "$PYTHON" - "$WORK/reports" "$1" <<'EOF'
import csv, json, os, sys
folder, phase = sys.argv[1], sys.argv[2]
faults = []
def expect(condition, what):
    if not condition:
        faults.append(what)
def load(name):
    return json.load(open(os.path.join(folder, name)))
def rows_of(report):
    return {(r["segment"], r["address"]): r for r in report["cameras"]}

if phase == "check":
    dry = load("dry-run.json")
    rows = rows_of(dry)
    expect(not os.path.exists(os.path.join(folder, "fleet-report.json")), "a dry run wrote the fleet report")
    expect([s["segment"] for s in dry["segments"]] == ["segment-a", "segment-b", "segment-c"], "segments %s" % dry["segments"])
    expect(all(rows[("segment-a", a)]["status"] == "suitable" for a in ("127.0.40.1", "127.0.40.2", "127.0.40.3")), "segment-a not suitable")
    expect(rows[("segment-b", "127.0.41.1")]["status"] == "suitable", "127.0.41.1 not suitable")
    expect(rows[("segment-b", "127.0.41.2")]["status"] == "Error3", "refused login not reported")
    expect(all(rows[("segment-c", a)]["status"] == "Error1" for a in ("127.0.42.1", "127.0.42.2")), "segment-c not unreachable")
    s = dry["summary"]
    expect((s["total"], s["suitable"], s["failed"], s["completed"]) == (7, 4, 3, 0), "dry-run summary %s" % s)
elif phase == "rollout":
    fleet = load("fleet-report.json")
    rows = rows_of(fleet)
    expect(sorted(rows) == sorted([("segment-a", "127.0.40.1"), ("segment-a", "127.0.40.2"), ("segment-a", "127.0.40.3"),
                                   ("segment-b", "127.0.41.1"), ("segment-b", "127.0.41.2")]), "rows %s" % sorted(rows))
    for key, row in rows.items():
        # the check run before wrote nothing: every camera still had the version it started with
        expect(row["versionBefore"] in ("1.10", ""), "%s had %s before the rollout" % (key, row["versionBefore"]))
        ok = key != ("segment-b", "127.0.41.2")
        expect((row["status"], row["confirmed"]) == (("Completed", True) if ok else ("Error3", False)), "%s: %s" % (key, row["status"]))
        expect(not ok or row["versionAfter"] == fleet["imageVersion"], "%s: after %s" % (key, row["versionAfter"]))
    s = fleet["summary"]
    expect((s["total"], s["completed"], s["failed"], s["segmentsNotRun"]) == (5, 4, 1, ["segment-c"]), "summary %s" % s)
    table = list(csv.DictReader(open(os.path.join(folder, "fleet-report.csv"))))
    expect(sorted((r["segment"], r["address"], r["status"]) for r in table)
           == sorted((k[0], k[1], r["status"]) for k, r in rows.items()), "CSV rows %s" % table)
    expect(not os.path.exists(os.path.join(folder, "fleet-report-segments", "segment-c.json")), "segment-c ran")
elif phase == "resume":
    fleet = load("fleet-report.json")
    rows = rows_of(fleet)
    done_before = [k for k in rows if k[0] == "segment-a"] + [("segment-b", "127.0.41.1")]
    for key in done_before:  # skipped by the tool, their earlier rows kept
        expect((rows[key]["status"], rows[key]["resumed"]) == ("Completed", True), "%s: %s" % (key, rows[key]))
    per_segment = {s["segment"]: s.get("summary", {}) for s in fleet["segments"]}
    expect((per_segment["segment-a"].get("skipped"), per_segment["segment-b"].get("skipped")) == (3, 1),
           "the tool did not skip the upgraded cameras: %s" % per_segment)
    expect(rows[("segment-b", "127.0.41.2")]["status"] == "Error3", "refused login")
    for key in (("segment-c", "127.0.42.1"), ("segment-c", "127.0.42.2")):
        expect((rows[key]["status"], rows[key]["resumed"], rows[key]["versionBefore"]) == ("Completed", False, "1.10"),
               "%s: %s" % (key, rows[key]))
    s = fleet["summary"]
    expect((s["total"], s["completed"], s["resumed"], s["failed"], s["segmentsNotRun"]) == (7, 6, 4, 1, []), "summary %s" % s)
if faults:
    sys.exit("\n".join(faults))
EOF
}

started=$SECONDS
# 1. Check mode over every segment at once (no stop on failures): the dry run's reports only.
playbook check.log --check -v -e xqt_serial=3 -e xqt_max_fail_percentage=100
rc=$?
[ $rc -eq 2 ] || fail "check run: exit $rc, expected 2 (segments b and c fail): $(tail -30 check.log)"
grep -q '^changed: \[segment-a\] => {"changed": true, "cmd": \["[^"]*xqt-cli", "batch"' check.log ||
    fail "check run: segment-a's batch not predicted as a change: $(grep 'segment-a' check.log)"
check check || fail "check run's reports"

# 2. The rollout, one segment at a time, stopping at the first failed segment.
playbook rollout.log -vvv -e xqt_serial=1 -e xqt_max_fail_percentage=0
rc=$?
[ $rc -ne 0 ] || fail "rollout: exit 0 although segment-b failed"
grep -q '^fatal: \[segment-b\]' rollout.log && grep -q '"msg": "xqt-cli batch: some cameras failed' rollout.log ||
    fail "rollout: segment-b did not fail with the tool's message"
grep -q "^segment-c *:" rollout.log && fail "rollout: segment-c ran after segment-b failed"
check rollout || fail "rollout's reports"

# 3. Segment c comes up; resume from the merged report.
start_sim fleet-c
cp reports/fleet-report.json rollout-report.json
playbook resume.log -v -e xqt_serial=3 -e xqt_max_fail_percentage=100 -e xqt_resume_report="$WORK/reports/fleet-report.json"
rc=$?
[ $rc -eq 2 ] || fail "resume: exit $rc, expected 2 (segment-b's refused login): $(tail -30 resume.log)"
check resume || fail "resumed run's reports"

# 4. The module alone, on segment-a (all upgraded by now) and on an empty list.
# module LOG ARGS_JSON [ansible options]: runs vexo.xqt.xqt_batch on localhost; its exit code.
module() {
    local log=$1 args=$2
    shift 2
    ansible localhost -i localhost, -c local -e ansible_python_interpreter="$PY" -m vexo.xqt.xqt_batch \
        -a "$args" "$@" >"$log" 2>&1
}
base="\"executable\": \"$CLI\", \"time_scale\": $SCALE, \"user\": \"admin\""
echo '{"kept": true}' >kept-report.json
module check-alone.log "{$base, \"password\": \"$PW\", \"force\": true, \"targets\": [\"127.0.40.1\"],
    \"report_path\": \"$WORK/kept-report.json\", \"csv_path\": \"$WORK/kept.csv\"}" --check ||
    fail "module check run: $(cat check-alone.log)"
grep -q '"changed": true' check-alone.log || fail "module check run: a forced camera not predicted: $(cat check-alone.log)"
[ "$(cat kept-report.json)" = '{"kept": true}' ] && [ ! -e kept.csv ] || fail "a check run touched report_path or csv_path"
(unset XQT_PASSWORD; module nologin.log "{$base, \"targets\": [\"127.0.40.1\"]}") && fail "the module ran without a login"
grep -q "no login for the cameras" nologin.log || fail "no early failure without a login: $(cat nologin.log)"
: >empty.txt
module empty.log "{$base, \"password\": \"$PW\", \"targets_file\": \"$WORK/empty.txt\"}" &&
    fail "an empty run passed: $(cat empty.log)"
grep -q "no camera to upgrade" empty.log || fail "empty run: $(cat empty.log)"
module empty-allowed.log "{$base, \"password\": \"$PW\", \"targets_file\": \"$WORK/empty.txt\", \"allow_empty\": true}" ||
    fail "an allowed empty run failed: $(cat empty-allowed.log)"
# The module's temporary reports are gone.
[ -z "$(find home -name 'xqt-report-*' 2>/dev/null)" ] || fail "temporary reports left: $(find home -name 'xqt-report-*')"
# A merge of one segment's report on top of the fleet report keeps the others' earlier rows.
"$PYTHON" "$SRC/deploy/ansible/ansible_collections/vexo/xqt/roles/xqt_fleet/files/merge_reports.py" \
    --json partial.json --previous reports/fleet-report.json --segments segment-a,segment-b,segment-c \
    segment-a=reports/fleet-report-segments/segment-a.json >partial.log || fail "merge: $(cat partial.log)"
"$PYTHON" - <<'EOF' || fail "partial merge"
import json, sys
merged = json.load(open("partial.json"))
rows = sorted({(r["segment"], r["address"]) for r in merged["cameras"]})
sys.exit(0 if len(rows) == 7 and merged["summary"]["segmentsNotRun"] == ["segment-b", "segment-c"]
         else "rows %s, summary %s" % (rows, merged["summary"]))
EOF

# The password is nowhere in what Ansible printed or wrote, nor in any report. (The simulators'
# own logs list their cameras' logins, as the simulator does for a first run.)
leaks=$(grep -rlF --exclude='*.sim.log' -- "$PW" ./*.log reports hosts home 2>/dev/null)
[ -z "$leaks" ] || fail "the password shows in: $leaks"
grep -q "VALUE_SPECIFIED_IN_NO_LOG_PARAMETER" rollout.log || fail "rollout -vvv does not show the masked password argument"

failed=0
echo "ansible-test: passed in $((SECONDS - started)) s"
