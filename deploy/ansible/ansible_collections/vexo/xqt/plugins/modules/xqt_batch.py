#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright 2024 Vexo. Licensed as the XQT Firmware Upgrade programs are (packaging/copyright).

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: xqt_batch
short_description: Upgrade the XQT cameras one host reaches with xqt-cli batch
version_added: "1.0.0"
description:
  - Runs C(xqt-cli batch --json) on the target host, which upgrades the cameras of its network
    segment to the firmware image built into xqt-cli, and returns the tool's JSON report.
  - The password goes to the tool in a temporary file of mode 0600 that is removed afterwards;
    it is never put on the command line nor returned.
  - The tool never asks for a password (C(--no-prompt)); without C(password), C(credentials_file)
    or C(XQT_PASSWORD) in the module's environment the module fails before running it.
  - In check mode the tool runs with C(--dry-run), which makes only the start inquiries and writes
    nothing to any camera; C(changed) then says whether a real run would write to some camera.
    Its report is kept in a temporary file and returned; C(report_path) and C(csv_path) are not
    touched.
options:
  discover:
    description:
      - Find the cameras by the broadcast enquiry on the host's networks (suitable cameras only).
    type: bool
    default: false
  targets:
    description:
      - Camera addresses, each C(address) or C(address:port).
    type: list
    elements: str
  targets_file:
    description:
      - Address list file on the host, as xqt-cli reads it.
    type: path
  user:
    description:
      - Administrator user name for the cameras without a line in C(credentials_file).
    type: str
  password:
    description:
      - Password of C(user). Without it the tool reads C(XQT_PASSWORD) from the module's environment.
    type: str
  credentials_file:
    description:
      - File on the host with lines C(address[:port],user,password); must not be readable by others.
    type: path
  retain:
    description:
      - Save each camera's configuration and put it back after the upgrade.
    type: bool
    default: false
  backup:
    description:
      - With C(retain), keep the saved configuration files.
    type: bool
    default: false
  parallel:
    description:
      - Cameras driven at once (1 to 64).
    type: int
    default: 2
  max_failures:
    description:
      - Start no further camera once this many have failed.
    type: int
  retry_offline:
    description:
      - Times a camera that did not answer goes back to the end of the queue.
    type: int
    default: 0
  retry_delay:
    description:
      - Seconds before an unreachable camera is asked again.
    type: float
  resume:
    description:
      - Earlier report on the host; the cameras it lists as upgraded (or current) are skipped.
      - A merged fleet report works too; give C(resume_segment) to use only that segment's rows.
    type: path
  resume_segment:
    description:
      - Segment whose rows of the C(resume) report apply (the report's C(segment) column).
    type: str
  force:
    description:
      - Flash also the cameras that already have the image's version.
    type: bool
    default: false
  time_scale:
    description:
      - Multiply every wait of the tool; for simulated cameras on loopback addresses only.
    type: float
  firmware:
    description:
      - Firmware bundle on the host (folder or tar file) to write instead of the built-in image, which
        is only for simulated cameras on loopback addresses. See C(xqt-cli firmware).
    type: path
  trusted_keys:
    description:
      - Ed25519 public keys (PEM files on the host) the bundle must be signed with.
      - Keys in C(/etc/xqt/trusted-keys/) on the host are trusted too.
    type: list
    elements: path
  executable:
    description:
      - The xqt-cli program, a path or a name looked up on PATH.
    type: str
    default: xqt-cli
  report_path:
    description:
      - Where the JSON report is kept on the host. Without it the report is written to a temporary
        file that is removed once it has been read; the report is returned either way.
    type: path
  allow_empty:
    description:
      - Succeed also when the run has no camera at all (an empty list, or discovery found none).
    type: bool
    default: false
  csv_path:
    description:
      - Where a CSV copy of the report is written on the host.
    type: path
notes:
  - Exactly one of C(discover), C(targets) and C(targets_file) is given.
  - Supports check mode (the tool's dry run).
  - C(discover) sends a UDP broadcast on the host's networks.
author:
  - XQT upgrade tool developers
"""

EXAMPLES = r"""
- name: Upgrade the cameras of this segment
  vexo.xqt.xqt_batch:
    targets:
      - 192.168.10.21
      - 192.168.10.22:8080
    user: admin
    password: "{{ vault_camera_password }}"
    retain: true
    parallel: 4
    report_path: /var/tmp/xqt/report.json
  register: upgrade

- name: Continue a rollout, skipping what the merged fleet report lists as done
  vexo.xqt.xqt_batch:
    targets_file: /etc/xqt/cameras.txt
    user: admin
    password: "{{ vault_camera_password }}"
    resume: /var/tmp/xqt/fleet-report.json
    resume_segment: "{{ inventory_hostname }}"
"""

RETURN = r"""
changed:
  description: Some camera was written to (row outcome upgraded, unconfirmed or settings-not-restored); in check mode, some camera would be (outcome suitable).
  returned: always
  type: bool
rc:
  description: Exit code of xqt-cli (0 done, 12 some cameras failed or not started, 13 stopped by max_failures, 14 no targets, 15 a report could not be written, 2 usage, 1 internal).
  returned: when the tool ran
  type: int
  sample: 12
report:
  description: The tool's JSON report (tool, imageVersion, started, ended, cameras, summary).
  returned: when the tool wrote one
  type: dict
summary:
  description: Counts of the run (total, completed, current, failed, notStarted, skipped, exitCode).
  returned: when the tool ran
  type: dict
  sample: {"total": 3, "completed": 2, "current": 0, "failed": 1, "notStarted": 0, "skipped": 0, "exitCode": 12}
report_path:
  description: Path of the JSON report on the host.
  returned: when report_path was given and this was not a check run
  type: str
cmd:
  description: The command run (it never holds the password).
  returned: when the tool ran
  type: list
  elements: str
stderr:
  description: What the tool printed on standard error.
  returned: when the tool ran
  type: str
"""

import json
import os
import tempfile

EXIT_NO_TARGETS = 14
# Row outcomes of a camera that was written to, and of one a real run would write to.
WRITTEN = ("upgraded", "unconfirmed", "settings-not-restored")
WOULD_WRITE = ("suitable",)

from ansible.module_utils.basic import AnsibleModule

FAILURE_TEXTS = {
    12: "some cameras failed, were not confirmed or were not started",
    13: "stopped by max_failures",
    14: "no camera to upgrade (set allow_empty to accept that)",
    15: "a report could not be written",
    2: "xqt-cli refused its options or input",
    1: "xqt-cli ended with an internal error",
}


def write_private(directory, prefix, text):
    """A new file of mode 0600 holding text; its path."""
    fd, path = tempfile.mkstemp(prefix=prefix, dir=directory)
    with os.fdopen(fd, "w") as out:
        out.write(text)
    os.chmod(path, 0o600)
    return path


def segment_rows(module, path, segment):
    """The rows of a (merged) report that belong to segment, as a report xqt-cli reads."""
    try:
        with open(path) as source:
            report = json.load(source)
    except (OSError, ValueError) as e:
        module.fail_json(msg="cannot read the resume report %s: %s" % (path, e))
    cameras = [row for row in report.get("cameras", []) if row.get("segment", segment) == segment]
    return json.dumps(dict(report, cameras=cameras))


def wrote(row, check_mode):
    """Whether the row's camera was written to (in check mode: would be)."""
    outcome = row.get("outcome")
    if outcome is not None:
        return outcome in (WOULD_WRITE if check_mode else WRITTEN)
    # Reports written before rows had an outcome: status code 9 is a completed upgrade; their dry
    # runs said nothing a prediction can rest on.
    return not check_mode and row.get("statusCode") == 9


def main():
    module = AnsibleModule(
        argument_spec=dict(
            discover=dict(type="bool", default=False),
            targets=dict(type="list", elements="str"),
            targets_file=dict(type="path"),
            user=dict(type="str"),
            password=dict(type="str", no_log=True),
            credentials_file=dict(type="path"),
            retain=dict(type="bool", default=False),
            backup=dict(type="bool", default=False),
            parallel=dict(type="int", default=2),
            max_failures=dict(type="int"),
            retry_offline=dict(type="int", default=0),
            retry_delay=dict(type="float"),
            resume=dict(type="path"),
            resume_segment=dict(type="str"),
            force=dict(type="bool", default=False),
            time_scale=dict(type="float"),
            firmware=dict(type="path"),
            trusted_keys=dict(type="list", elements="path"),
            executable=dict(type="str", default="xqt-cli"),
            report_path=dict(type="path"),
            csv_path=dict(type="path"),
            allow_empty=dict(type="bool", default=False),
        ),
        mutually_exclusive=[["targets", "targets_file"]],
        required_by={"resume_segment": "resume"},
        supports_check_mode=True,
    )
    p = module.params
    # discover has a default, so AnsibleModule's own checks would count it as always given.
    sources = [name for name in ("discover", "targets", "targets_file") if p[name]]
    if len(sources) != 1:
        module.fail_json(msg="give exactly one of discover, targets and targets_file (got %s)"
                         % (", ".join(sources) or "none"))

    if p["password"] is None and not p["credentials_file"] and "XQT_PASSWORD" not in os.environ:
        module.fail_json(msg="no login for the cameras: give password (or credentials_file, or XQT_PASSWORD "
                         "in the module's environment); xqt-cli is never left to ask for one")

    executable = p["executable"]
    if os.sep not in executable:
        executable = module.get_bin_path(executable, required=True)
    # The module's own temporary folder, removed when it ends: the password file, the resume rows
    # and a report nobody asked to keep (also every check run's, so a real run's report survives).
    scratch = module.tmpdir
    keep_report = bool(p["report_path"]) and not module.check_mode
    if keep_report:
        report_path = p["report_path"]
        if os.path.isfile(report_path):
            os.unlink(report_path)  # a report left from an earlier run must not pass for this one's
    else:
        fd, report_path = tempfile.mkstemp(prefix="xqt-report-", suffix=".json", dir=scratch)
        os.close(fd)
        os.unlink(report_path)
    result = dict(changed=False)
    if keep_report:
        result["report_path"] = report_path

    cmd = [executable, "batch", "--json", "--no-prompt", "--report", report_path]
    stdin = ""  # no prompt can wait on a terminal
    if p["discover"]:
        cmd.append("--discover")
    elif p["targets"] is not None:
        cmd += ["--targets", "-"]
        stdin = "".join(t.strip() + "\n" for t in p["targets"] if t.strip())
    else:
        cmd += ["--targets", p["targets_file"]]
    if p["user"]:
        cmd += ["--user", p["user"]]
    if p["credentials_file"]:
        cmd += ["--credentials", p["credentials_file"]]
    for flag in ("retain", "backup", "force"):
        if p[flag]:
            cmd.append("--" + flag)
    cmd += ["--parallel", str(p["parallel"]), "--retry-offline", str(p["retry_offline"])]
    if p["max_failures"] is not None:
        cmd += ["--max-failures", str(p["max_failures"])]
    if p["retry_delay"] is not None:
        cmd += ["--retry-delay", repr(p["retry_delay"])]
    if p["time_scale"] is not None:
        cmd += ["--time-scale", repr(p["time_scale"])]
    if p["firmware"]:
        cmd += ["--firmware", p["firmware"]]
    for key in p["trusted_keys"] or []:
        cmd += ["--trusted-key", key]
    if p["csv_path"] and not module.check_mode:
        cmd += ["--csv", p["csv_path"]]
    if p["resume"]:
        resume = p["resume"]
        if p["resume_segment"]:
            resume = write_private(scratch, "resume-", segment_rows(module, resume, p["resume_segment"]))
        cmd += ["--resume", resume]
    if module.check_mode:
        cmd.append("--dry-run")

    password_file = None
    try:
        if p["password"] is not None:
            password_file = write_private(scratch, "login-", p["password"] + "\n")
            cmd += ["--password-file", password_file]
        rc, out, err = module.run_command(cmd, data=stdin, binary_data=True)
    finally:
        if password_file:
            os.unlink(password_file)

    summary = None
    for line in out.splitlines():
        try:
            event = json.loads(line)
        except ValueError:
            continue
        if isinstance(event, dict) and event.get("event") == "summary":
            summary = {k: v for k, v in event.items() if k != "event"}
    report = None
    try:
        with open(report_path) as source:
            report = json.load(source)
    except (OSError, ValueError):
        pass
    if not keep_report and os.path.exists(report_path):
        os.unlink(report_path)
    if summary is None and report is not None:
        summary = dict(report.get("summary", {}), exitCode=rc)

    result.update(rc=rc, cmd=cmd, stderr=err.strip(), summary=summary or {})
    if report is not None:
        result["report"] = report
        rows = report.get("cameras", [])
        result["changed"] = any(wrote(row, module.check_mode) for row in rows)

    # An empty run: the tool's own code, or a summary of no camera from a tool without that code.
    empty = rc == EXIT_NO_TARGETS or (rc == 0 and summary is not None and summary.get("total") == 0)
    if empty and p["allow_empty"]:
        # Ansible fails any result whose rc is not 0 unless the module says otherwise.
        module.exit_json(failed=False, **result)
    if empty:
        rc = EXIT_NO_TARGETS
    if rc != 0:
        counts = ""
        if summary:
            counts = " (%s)" % ", ".join(
                "%s %s" % (summary.get(k, 0), k) for k in ("total", "completed", "current", "failed", "notStarted", "skipped")
            )
        text = FAILURE_TEXTS.get(rc, "xqt-cli ended with exit code %d" % rc)
        if rc in (1, 2) or not summary:
            text += ": " + (err.strip() or "no message")
        module.fail_json(msg="xqt-cli batch: %s%s" % (text, counts), **result)
    module.exit_json(**result)


if __name__ == "__main__":
    main()
