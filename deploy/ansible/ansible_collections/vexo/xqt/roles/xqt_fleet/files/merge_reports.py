#!/usr/bin/env python3
"""Merge the xqt-cli batch reports of several segments into one fleet report.

usage: merge_reports.py --json OUT.json [--csv OUT.csv] [--previous EARLIER.json]
                        --segments A,B,C  SEGMENT=REPORT.json ...

Every camera row gets a "segment" column (the host that ran xqt-cli for it). Segments named in
--segments without a report are listed as not run. With --previous (the merged report a rollout
was resumed from), the cameras the tool skipped keep their earlier row, marked "resumed": true,
and the segments not run this time keep all their earlier rows, so the merged report always tells
which cameras are done and can be resumed from again.
Rows are counted by their "outcome" word; reports written before it existed by their status.
The summary counts the rows as they stand; it is printed too, one line per segment.
"""

import argparse
import csv
import json
import os
import sys
import tempfile

COUNTS = ("total", "completed", "current", "suitable", "failed", "notStarted", "skipped")
COLUMNS = ("segment", "address", "mac", "model", "serial", "versionBefore", "versionAfter", "confirmed",
           "outcome", "status", "statusCode", "message", "attempts", "started", "ended", "configFile", "detail",
           "imageVersion", "imageSha256", "plannedVersion", "plannedSha256", "resumed")
OUTCOME_COUNT = {"upgraded": "completed", "current": "current", "suitable": "suitable", "skipped": "skipped",
                 "not-started": "notStarted", "unconfirmed": "failed", "settings-not-restored": "failed",
                 "unsuitable": "failed", "failed": "failed"}
STATUS_COUNT = {"current": "current", "suitable": "suitable", "skipped": "skipped", "unsuitable": "failed",
                "not started": "notStarted"}


def count_of(row):
    """The summary count a row adds to, as xqt-cli counts it."""
    if row.get("outcome") in OUTCOME_COUNT:
        return OUTCOME_COUNT[row["outcome"]]
    status = row.get("status")
    if status in STATUS_COUNT:
        return STATUS_COUNT[status]
    if status == "Completed":
        return "completed" if row.get("confirmed") else "failed"
    return "notStarted" if row.get("statusCode") is None else "failed"


def write_atomically(path, write):
    folder = os.path.dirname(os.path.abspath(path))
    fd, temp = tempfile.mkstemp(dir=folder, prefix=".merge-")
    try:
        with os.fdopen(fd, "w", newline="") as out:
            write(out)
        os.chmod(temp, 0o644)
        os.replace(temp, path)
    except BaseException:
        os.unlink(temp)
        raise


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--json", required=True, help="merged JSON report to write")
    parser.add_argument("--csv", help="merged CSV report to write")
    parser.add_argument("--previous", help="merged report the rollout was resumed from")
    parser.add_argument("--segments", default="", help="every segment of the rollout, comma-separated")
    parser.add_argument("reports", nargs="*", metavar="SEGMENT=REPORT")
    args = parser.parse_args()

    earlier = {}
    earlier_rows = []  # in their order, for the segments not run this time
    if args.previous and os.path.exists(args.previous):
        with open(args.previous) as source:
            for row in json.load(source).get("cameras", []):
                earlier[(row.get("segment"), row.get("address"))] = row
                earlier_rows.append(row)

    merged = {"tool": None, "imageVersion": None, "started": None, "ended": None, "segments": [], "cameras": []}
    reported = set()
    for item in args.reports:
        segment, sep, path = item.partition("=")
        if not sep or not segment:
            parser.error("expected SEGMENT=REPORT, got %r" % item)
        if not os.path.exists(path):
            continue
        with open(path) as source:
            report = json.load(source)
        reported.add(segment)
        for key in ("tool", "imageVersion"):
            merged[key] = merged[key] or report.get(key)
        if report.get("started") and (merged["started"] is None or report["started"] < merged["started"]):
            merged["started"] = report["started"]
        if report.get("ended") and (merged["ended"] is None or report["ended"] > merged["ended"]):
            merged["ended"] = report["ended"]
        merged["segments"].append({"segment": segment, "ran": True, "started": report.get("started"),
                                   "ended": report.get("ended"), "summary": report.get("summary", {})})
        for row in report.get("cameras", []):
            before = earlier.get((segment, row.get("address")))
            if row.get("status") == "skipped" and before is not None:
                row = dict(before, resumed=True)
            row = dict(row, segment=segment)
            row.setdefault("resumed", False)
            merged["cameras"].append(row)
    not_run = [segment for segment in filter(None, args.segments.split(",")) if segment not in reported]
    for row in earlier_rows:
        segment = row.get("segment")
        if segment and segment not in reported:
            if segment not in not_run:
                not_run.append(segment)  # a segment of the earlier rollout left out of this one
            merged["cameras"].append(dict(row, resumed=bool(row.get("resumed"))))
    for segment in not_run:
        merged["segments"].append({"segment": segment, "ran": False})

    summary = {key: 0 for key in COUNTS}
    for row in merged["cameras"]:
        summary["total"] += 1
        summary[count_of(row)] += 1
    summary["resumed"] = sum(1 for row in merged["cameras"] if row["resumed"])
    summary["segments"] = len(merged["segments"])
    summary["segmentsNotRun"] = [s["segment"] for s in merged["segments"] if not s["ran"]]
    merged["summary"] = summary

    write_atomically(args.json, lambda out: json.dump(merged, out, indent=2))
    if args.csv:
        def write_csv(out):
            table = csv.DictWriter(out, fieldnames=COLUMNS, extrasaction="ignore")
            table.writeheader()
            for row in merged["cameras"]:
                table.writerow({k: ("" if row.get(k) is None else row.get(k)) for k in COLUMNS})
        write_atomically(args.csv, write_csv)

    for entry in merged["segments"]:
        if not entry["ran"]:
            kept = sum(1 for r in merged["cameras"] if r["segment"] == entry["segment"])
            print("%s: not run" % entry["segment"] + (" (%d earlier row(s) kept)" % kept if kept else ""))
            continue
        rows = [r for r in merged["cameras"] if r["segment"] == entry["segment"]]
        counts = {}
        for row in rows:
            counts[count_of(row)] = counts.get(count_of(row), 0) + 1
        print("%s: %d camera(s): %s" % (entry["segment"], len(rows),
                                        ", ".join("%d %s" % (counts[k], k) for k in COUNTS if k in counts) or "none"))
    print("fleet: " + ", ".join("%d %s" % (summary[k], k) for k in COUNTS if summary[k] or k == "total")
          + ("; not run: " + ", ".join(summary["segmentsNotRun"]) if summary["segmentsNotRun"] else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
