#!/usr/bin/env python3
"""Measures Brimlet on fresh Xvfb servers, in one run, beside three
yardsticks: a C program that does the same file work for one copy
(build/bench/reference_capture), a Qt Widgets program with a window and a
500 ms timer and nothing else (build/bench/minimal_qt), and Debian's CopyQ.
Folders of three sizes are used: empty, 10,000 captures and a full one
(100,000 texts and 100,000 pictures, about five years at 100 copies a
day).

Writes the figures, with the machine, the date, the commit and the method's
numbers, to OUT (default docs/performance.json), and Google Benchmark's own
JSON report of the in-process micro-benchmarks beside it (OUT's name with
-micro: docs/performance-micro.json). bench/report.py makes
docs/performance.md from them.

Usage: bench/measure.py [BUILD_DIR [OUT]]   (default: build docs/performance.json)
The C helpers need libxcb-xfixes0-dev, libxcb-damage0-dev and libpng-dev;
scripts/bench.sh installs them, builds, runs this and then the report.
"""
import json
import math
import os
import shutil
import sys
import tempfile

import common
from common import FULL, IDLE_SECONDS, MANY, PEER_SIZE_COPIES, log, now
from drivers import Brimlet, Reference, micro
from environment import XServer, commit, machine_line, make_folder, png_bytes, today
from probes import status_kib
from scenarios import copy_mib, first_paints, idle_phase, latencies, rapid, sizes

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def measure(tools, micro_out):
    """Every figure of one run, as a dict that becomes the JSON record."""
    # On a shared machine other work disturbs the timing less when everything
    # measured (inherited by every program started here) runs at a higher
    # priority; all of it alike, so the comparisons stay fair.
    try:
        os.nice(-10)
        priority = "at nice -10"
    except PermissionError:
        priority = "at normal priority (nice -10 needs root)"
    r = {"machine": machine_line(), "date": today(), "commit": commit(ROOT),
         "priority": priority, "method": common.method(),
         "micro": os.path.basename(micro_out), "copy_mib": copy_mib()}
    log("micro-benchmarks ...")
    micro(tools, micro_out)
    picture = png_bytes(3840, 2160)
    scratch = tempfile.mkdtemp(prefix="brimlet-bench-")
    folders = {k: os.path.join(scratch, k) for k in
               ("empty", "paint-empty", "many", "full", "minimal", "reference", "bare",
                "copyq")}
    servers, running = [], []
    try:
        log("making folders ...")
        for k in ("empty", "paint-empty", "minimal", "reference", "bare", "copyq"):
            os.makedirs(folders[k])
        make_folder(folders["many"], MANY, MANY)
        make_folder(folders["full"], FULL, FULL)
        # The 210,000 new entries reach the disk now, not while something is
        # timed (an fsync would otherwise wait for them, and their writeback
        # competes with the launches).
        os.sync()

        log("first paint ...")
        server = XServer()
        servers.append(server)
        brimlet = tools["brimlet"]
        paints = first_paints(tools, server.env, {
            "empty": (folders["paint-empty"], brimlet), "many": (folders["many"], brimlet),
            "full": (folders["full"], brimlet), "minimal": (folders["minimal"], tools["minimal_qt"])})
        r["folders"] = {k: {"paint": paints[k]} for k in ("empty", "many", "full")}
        r["minimal_qt"] = {"paint": paints["minimal"]}

        log(f"idle, {IDLE_SECONDS} s ...")
        (b_empty, b_full, peer), idle = idle_phase(tools, folders, servers, running)
        r["folders"]["empty"].update(idle["empty"])
        r["folders"]["full"].update(idle["full"])
        r["minimal_qt"].update(idle["minimal_qt"])

        log("captures ...")
        server = XServer()
        servers.append(server)
        b_many = Brimlet(tools, server.env, folders["many"], "Brimlet (10,000)")
        running.append(b_many)
        brimlets = {"empty": b_empty, "many": b_many, "full": b_full}
        for b in brimlets.values():
            b.prime()
        lat = latencies(list(brimlets.values()))
        for key, b in brimlets.items():
            r["folders"][key]["latency"] = lat[b.name]
            r["folders"][key]["rapid"] = rapid(b)
        pids = b_full.pids()
        r["folders"]["full"]["memory_after"] = {k: status_kib(pids, k) / 1024
                                                for k in ("VmRSS", "VmHWM")}

        server = XServer()
        servers.append(server)
        reference = Reference(tools, server.env, folders["reference"])
        running.append(reference)
        server = XServer()
        servers.append(server)
        bare = Reference(tools, server.env, folders["bare"], "--no-decode", name="bare work")
        running.append(bare)
        both = sizes([b_empty, reference, bare], picture)
        r["folders"]["empty"]["sizes"] = both[b_empty.name]
        r["reference"] = {"sizes": both[reference.name], "rapid": rapid(reference)}
        r["bare"] = {"sizes": both[bare.name]}

        log("CopyQ ...")
        r["copyq"] = dict(idle["copyq"], startup=peer.startup, poll=peer.poll_cost,
                          latency=latencies([peer])[peer.name], rapid=rapid(peer),
                          sizes=sizes([peer], picture, PEER_SIZE_COPIES)[peer.name])
    finally:
        log("stopping ...")
        for p in running:
            try:
                p.stop()
            except Exception as error:  # keep cleaning up
                log(f"stopping {p.name}: {error}")
        for s in servers:
            s.close()
        shutil.rmtree(scratch, ignore_errors=True)
    log("done")
    r["duration_s"] = round(now() - common.STARTED)
    return r


def without_nan(value):
    """A figure that could not be taken (NaN) is written as null."""
    if isinstance(value, float) and math.isnan(value):
        return None
    if isinstance(value, dict):
        return {k: without_nan(v) for k, v in value.items()}
    if isinstance(value, list):
        return [without_nan(v) for v in value]
    return value


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build"))
    out = os.path.abspath(sys.argv[2] if len(sys.argv) > 2
                          else os.path.join(ROOT, "docs", "performance.json"))
    stem, ext = os.path.splitext(out)
    micro_out = stem + "-micro" + ext
    tools = {"brimlet": os.path.join(build, "brimlet")}
    for name in ("brimlet_bench", "minimal_qt", "reference_capture", "first_paint"):
        tools[name] = os.path.join(build, "bench", name)
    missing = [p for p in tools.values() if not os.access(p, os.X_OK)]
    if missing:
        sys.exit("missing: " + ", ".join(missing) + " (scripts/bench.sh builds them)")

    # Both files are replaced only once the whole run has succeeded, so the
    # last record stays whole when a run fails.
    with tempfile.TemporaryDirectory(prefix="brimlet-bench-out-") as work:
        new_micro = os.path.join(work, os.path.basename(micro_out))
        record = without_nan(measure(tools, new_micro))
        new_out = os.path.join(work, os.path.basename(out))
        with open(new_out, "w") as f:
            json.dump(record, f, indent=1, ensure_ascii=False, allow_nan=False)
            f.write("\n")
        shutil.move(new_micro, micro_out)
        shutil.move(new_out, out)
    log(f"wrote {os.path.relpath(out)} and {os.path.relpath(micro_out)}")


if __name__ == "__main__":
    main()
