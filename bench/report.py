#!/usr/bin/env python3
"""Makes docs/performance.md from a record of measurements (written by
bench/measure.py) and the targets (bench/targets.json), without measuring.

Usage: bench/report.py [RECORD [TARGETS]] > docs/performance.md
       (defaults: docs/performance.json, bench/targets.json)
The record names the file holding Google Benchmark's JSON report of the
in-process micro-benchmarks (docs/performance-micro.json), read from beside it.
"""
import json
import math
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

METHOD = """\
## Method

- Every program runs on a fresh Xvfb (1280×1024×24, private runtime folder, no
  session bus) with no window manager; copies are made with `xclip -selection
  clipboard -t TARGET -i`, and each clock starts just before `xclip` starts.
- **Folders.** Empty; {captures_many:,} captures ({many:,} "text N.txt" and {many:,} "picture
  N.jpeg"); full: {full:,} of each, about five years at 100 copies a day. Every entry is a
  regular file under its real name, made once per run in the temporary folder
  (`$TMPDIR`, else /tmp; the same file system for every folder); the newest 100
  of each kind hold a short text or a 1×1 bitmap, the others are empty, made as
  hard links to a few empty files beside the folder; `pikcounter.txt` holds the
  matching "{many},{many}" or "{full},{full}"; the whole file system is synced
  once they are made, before anything is timed.
- **First paint.** `build/bench/first_paint` (C, XCB Damage) starts the program
  and watches the X server: *mapped* is when its first top-level window is mapped,
  *drawn* when the drawing into that window has covered its whole area (the
  Damage bounding box). Median of {paint_launches} launches per folder, each
  ended (SIGTERM) once drawn; the minimal Qt program (`build/bench/minimal_qt`, a
  QLabel of 523×335 and a 500 ms QTimer) is launched the same way as the floor.
  The launches take turns: empty folder, 10,000, full, minimal Qt, and again.
- **Capture latency.** From the copy to the capture being *stored*: the capture
  file under its final name and `pikcounter.txt` rewritten, both seen through
  inotify (IN_MOVED_TO or IN_CLOSE_WRITE) in the folder, with the size of the
  file checked. Median, minimum and maximum of {latency_copies} short texts per
  folder, made one at a time, alternating between the three Brimlets (one per
  folder, each on its own server) so that all meet the same load: each copy once
  the program has been quiet (at most
  {quiet_cpu_ms:.1f} ms of CPU in any {quiet_step_ms:.0f} ms, read from schedstat) for
  {quiet_ms:.0f} ms. *Still busy* is the time from stored until it went quiet
  again (to within {quiet_step_ms:.0f} ms): work done after each capture, during which
  the next copy waits. Each Brimlet is first primed with a probe copy (its first
  tick empties the clipboard). A copy not stored within 10 s (30 s for 10 MiB and
  the picture) counts as not stored; after three in a row a program gets no more.
- **Rapid copies.** {rapid_copies} distinct texts, the i-th `xclip` started i × {rapid_gap_ms:.0f} ms
  after the first (the mean gap achieved between starts is shown), once the program
  is quiet; the C reference gets the same burst in its empty folder; then the captures stored until
  none came for 2 s are read, and a copy counts as kept when a text file holds
  exactly it (plus CR LF).
- **C reference.** `build/bench/reference_capture` (C, libxcb, XFixes, libpng):
  on each change of the CLIPBOARD owner it asks for TARGETS, reads `image/png`
  (decoded by libpng's simplified API straight into a 24-bit bottom-up BMP,
  composited on white) or else `UTF8_STRING` (plus CR LF), INCR transfers
  included; writes the bytes to a temporary file with fsync, rewrites
  `pikcounter.txt` through a temporary file, fsync and rename, renames the capture
  to its numbered name without replacing (`renameat2` RENAME_NOREPLACE), and gives
  up the selection as of the owner's time. That is the file work Brimlet does, in
  Brimlet's order; PNG was chosen because Brimlet itself prefers `image/png` when
  offered, so both decode the same bytes. Beside them, the same program with
  `--no-decode` does the **bare work**: a picture's rows are left blank instead
  of decoded, so only the transfer and writing and syncing a bitmap of its size
  remain, which no decoder can take away. All are measured alike (stored, as
  above), each in an empty folder on its own server, their copies alternating
  so that all meet the same load, each copy once both are quiet: 1 KiB text ×{size_copies[1 KiB]}, 10 MiB text
  (lines of 16 bytes) ×{size_copies[10 MiB]}, a 3840×2160 gradient PNG (8.6 MB)
  ×{size_copies[picture]}, each copy a little different from the last (a number
  in front, a PNG comment); medians.
- **Idle CPU and memory.** Brimlet (empty and full folder), the minimal Qt program
  and CopyQ run at once, each on its own server; {idle_settle_s} s after start the
  resident memory (VmRSS of the process and its children) is read, then CPU time
  over the next {idle_s} s is the sum of the first field of
  `/proc/PID/task/*/schedstat` (nanoseconds) over all threads, and the times put
  on a CPU the sum of its third field, each taken thread by thread (a thread
  that ends meanwhile, as Qt's pooled threads do after 30 s without work, is
  left out instead of taking its whole past away from the sum).
- **Peak memory of a capture.** For each copy of the sizes above, VmHWM of all
  the program's processes is set back to VmRSS (`/proc/PID/clear_refs` 5) just
  before the copy, and read once the program has gone quiet after it; the
  figure is that peak less VmRSS before the first copy of that size, so that
  memory kept from one copy to the next counts (median). It is set against
  the copy as stored (10 MiB text: the text plus CR LF; picture: its 24-bit
  bitmap, {picture_mib:.1f} MiB): at most 1.5× that plus {peak_constant_mib} MiB.
- **Memory in a full folder.** VmRSS and VmHWM of the full-folder Brimlet after
  its idle time, {latency_copies} latency copies and {rapid_copies} rapid copies.
- **CopyQ** (peer) is measured with the same copies; its latencies are polled with
  its client (`copyq read 0`, `copyq size`), one call of which takes
  {poll} here; its texts are medians of {peer_size_copies[1 KiB]}, its picture one copy
  given 10 s.
- **In-process** figures are Google Benchmark's real time from
  `build/bench/brimlet_bench` (offscreen platform, no X server).
- The machine is shared: the load average at the start is given above; rerun
  `scripts/bench.sh` on a quiet machine before comparing figures across runs.
"""


class Figures:
    """A record, its figures found by path ("folders.full.latency.median";
    "micro.NAME" is a micro-benchmark's real time in ms)."""

    def __init__(self, record, micro):
        self.record = dict(record, micro=micro)
        # A record from before a number was part of the method states it
        # as it then was.
        self.method = dict({"peak_constant_mib": 8}, **record["method"])

    def get(self, path):
        value = self.record
        for part in path.split("."):
            if not isinstance(value, dict) or part not in value:
                return None
            value = value[part]
        return value

    def ratio(self, path, peer):
        """path / peer; a record transcribed from a report keeps the ratios
        it showed, as its rounded figures no longer give them exactly."""
        shown = self.record.get("ratios", {}).get(f"{path} / {peer}")
        return shown if shown is not None else ratio(self.get(path), self.get(peer))


def micro_times(path):
    """Real time in ms by benchmark name, from Google Benchmark's JSON."""
    with open(path) as f:
        report = json.load(f)
    factor = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
    return {b["name"]: b["real_time"] * factor[b.get("time_unit", "ns")]
            for b in report["benchmarks"] if "real_time" in b}


def missing(v):
    return v is None or (isinstance(v, float) and math.isnan(v))


def fmt(v, unit="ms", digits=1):
    if missing(v):
        return "n/a"
    return f"{v:.{digits}f} {unit}" if unit else f"{v:.{digits}f}"


def ratio(a, b):
    return a / b if not missing(a) and not missing(b) and b > 0 else float("nan")


def times(r):
    return "n/a×" if missing(r) else f"{r:.2f}×"


def table(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    lines += ["| " + " | ".join(str(c) for c in row) + " |" for row in rows]
    return "\n".join(lines)


# ------------------------------------------------------------------ targets

def bound(t, fig, key="bound"):
    """The bound (or what is added to it, key "plus"): a number, or the name
    of one of the method's numbers."""
    b = t.get(key, 0)
    return fig.method[b] if isinstance(b, str) else b


def bound_text(t, fig):
    unit, b = t.get("unit", "ms"), bound(t, fig)
    peer = t["peers"][0]["name"] if t.get("peers") else ""
    return {"at_most": lambda: f"≤ {b:g} {unit}",
            "ratio_at_most": lambda: f"≤ {b:g}× {peer}",
            "share_at_most": lambda: f"≤ {b * 100:g} % of {peer}",
            "scaled_at_most": lambda: f"≤ {b:g}× {peer} + {bound(t, fig, 'plus'):g} {unit}",
            "below": lambda: f"below {peer}",
            "all_of": lambda: f"{b:g} of {b:g}"}[t["judge"]]()


def figures_of(t, fig):
    paths = t["figure"] if isinstance(t["figure"], list) else [t["figure"]]
    return [fig.get(p) for p in paths]


def met(t, fig):
    values = figures_of(t, fig)
    if any(missing(v) for v in values):
        return False
    peer = fig.get(t["peers"][0]["figure"]) if t.get("peers") else None
    b = bound(t, fig)
    if t["judge"] == "at_most":
        return all(v <= b for v in values)
    if t["judge"] == "all_of":
        return all(v == b for v in values)
    if missing(peer):
        return False
    if t["judge"] == "ratio_at_most":
        return fig.ratio(t["figure"], t["peers"][0]["figure"]) <= b
    if t["judge"] == "share_at_most":
        return all(v <= b * peer for v in values)
    if t["judge"] == "scaled_at_most":
        return all(v <= b * peer + bound(t, fig, "plus") for v in values)
    return all(v < peer for v in values)  # below


def shown(fig, figure, count, unit, digits):
    """A figure as the report shows it, with its count in brackets."""
    if isinstance(figure, list):
        values = [fig.get(p) for p in figure]
        if any(missing(v) for v in values):
            return "n/a"
        return " / ".join(f"{v:.{digits}f}" for v in values) + (f" {unit}" if unit else "")
    text = fmt(fig.get(figure), unit, digits)
    return f"{text} ({fig.get(count)})" if count else text


def target_row(t, fig):
    unit, digits = t.get("unit", "ms"), t.get("digits", 1 if t.get("unit", "ms") else 0)
    value = shown(fig, t["figure"], t.get("count"), unit, digits)
    if t["judge"] == "all_of":
        value = f"{value} of {bound(t, fig):g}"
    beside = []
    for i, p in enumerate(t.get("peers", [])):
        text = f"{p['name']} {shown(fig, p['figure'], p.get('count'), unit, digits)}"
        if i == 0 and t["judge"] == "ratio_at_most":
            r = times(fig.ratio(t["figure"], p["figure"]))
            text += f", {r}" if p.get("count") else f" ({r})"
        beside.append(text)
    return (t["name"].format(**fig.method), value, "; ".join(beside), bound_text(t, fig),
            "yes" if met(t, fig) else "**no**")


def target_for(targets, fig, section, figure):
    for t in targets:
        if t["section"] == section and t["figure"] == figure:
            return bound_text(t, fig)
    return ""


# ------------------------------------------------------------------- report

def report(record, targets, micro):
    fig = Figures(record, micro)
    m = fig.method
    g = fig.get
    sizes = ("empty", "many", "full")

    def each(path, unit="ms", digits=1):
        return tuple(fmt(g(f"folders.{s}.{path}"), unit, digits) for s in sizes)

    def extremes(s):
        lat = g(f"folders.{s}.latency") or {}
        text = f"{fmt(lat.get('min'), '', 1)} – {fmt(lat.get('max'), 'ms', 1)}"
        return text + (f", {lat['lost']} not stored" if lat.get("lost") else "")

    def launches(s):
        return ", ".join("n/a" if missing(v) else f"{v:.0f}"
                         for v in g(f"folders.{s}.paint.drawn_all") or [])

    def empty_full(path, unit, digits):
        return (fmt(g(f"folders.empty.{path}"), unit, digits), "",
                fmt(g(f"folders.full.{path}"), unit, digits))

    by_size = [
        (f"Window mapped (launch → mapped), median of {m['paint_launches']}", *each("paint.mapped")),
        (f"First paint (launch → mapped and drawn), median of {m['paint_launches']}",
         *each("paint.drawn")),
        ("First paint, every launch", *(launches(s) for s in sizes)),
        (f"Capture latency (copy → stored), median of {m['latency_copies']}",
         *each("latency.median")),
        (f"Capture latency, minimum and maximum of {m['latency_copies']}",
         *(extremes(s) for s in sizes)),
        ("Still busy after a capture is stored (list refresh, repaint), median",
         *each("latency.busy", "ms", 0)),
        (f"Rapid copies kept of {m['rapid_copies']} ({m['rapid_gap_ms']:.0f} ms apart)",
         *each("rapid.kept", "", 0)),
        ("Mean gap achieved between rapid copies", *each("rapid.gap")),
        (f"Idle CPU over {m['idle_s']} s", *empty_full("idle_cpu_ms", "ms", 2)),
        (f"Times put on a CPU over those {m['idle_s']} s (all threads)",
         *empty_full("idle_cpu_runs", "", 0)),
        (f"Resident memory (VmRSS) {m['idle_settle_s']} s after start",
         *empty_full("rss_mib", "MiB", 1)),
    ]
    against_reference = []
    for key, label in (("1 KiB", "1 KiB text"), ("10 MiB", "10 MiB text"),
                       ("picture", "3840×2160 picture offered as PNG")):
        mine, ref = f"folders.empty.sizes.{key}", f"reference.sizes.{key}"
        against_reference.append((f"{label}, median of {m['size_copies'][key]}", fmt(g(mine)),
                                  fmt(g(ref)), times(fig.ratio(mine, ref))))
    for key, label in (("1 KiB", "1 KiB text"), ("10 MiB", "10 MiB text"),
                       ("picture", "3840×2160 picture")):
        mine, ref = f"folders.empty.sizes.peak_mib.{key}", f"reference.sizes.peak_mib.{key}"
        against_reference.append((f"{label}, peak memory beyond what was resident before",
                                  fmt(g(mine), "MiB"), fmt(g(ref), "MiB"),
                                  times(fig.ratio(mine, ref))))
    peer_picture = g("copyq.sizes.picture")
    against_peer = [
        (label, fmt(g(mine), unit, digits), peer_text or fmt(g(peer), unit, digits),
         target_for(targets, fig, "Beside CopyQ", mine))
        for label, mine, peer, unit, digits, peer_text in (
            ("Window mapped (peer: server answering its client)", "folders.empty.paint.mapped",
             "copyq.startup", "ms", 1, None),
            (f"Idle resident memory after {m['idle_settle_s']} s (all processes)",
             "folders.empty.rss_mib", "copyq.rss_mib", "MiB", 1, None),
            (f"Idle CPU over {m['idle_s']} s", "folders.empty.idle_cpu_ms", "copyq.idle_cpu_ms",
             "ms", 2, None),
            (f"Capture latency, median of {m['latency_copies']}", "folders.empty.latency.median",
             "copyq.latency.median", "ms", 1, None),
            (f"Rapid copies kept of {m['rapid_copies']}", "folders.empty.rapid.kept",
             "copyq.rapid.kept", "", 0, None),
            ("1 KiB text, copy to stored", "folders.empty.sizes.1 KiB", "copyq.sizes.1 KiB",
             "ms", 1, None),
            ("10 MiB text, copy to stored", "folders.empty.sizes.10 MiB", "copyq.sizes.10 MiB",
             "ms", 1, None),
            ("3840×2160 picture (PNG), copy to stored", "folders.empty.sizes.picture",
             "copyq.sizes.picture", "ms", 1,
             "not kept within 10 s" if missing(peer_picture) else None))]
    in_process = [
        (label, fmt(g("micro." + name) * scale if not missing(g("micro." + name)) else None,
                    unit, digits),
         target_for(targets, fig, "In-process", "micro." + name))
        for label, name, unit, digits, scale in (
            ("One capture: 1 KiB text", "BM_TextCaptureTick/size:1024/line:80", "ms", 2, 1),
            ("One capture: 10 MiB text in lines", "BM_TextCaptureTick/size:10485760/line:80",
             "ms", 1, 1),
            ("One capture: 10 MiB text, one line", "BM_TextCaptureTick/size:10485760/line:0",
             "ms", 1, 1),
            ("One capture: 3840×2160 picture", "BM_PictureCaptureTick", "ms", 1, 1),
            ("Both lists filled from one read, 10,000 captures", "BM_FillListsFromFolder/5000",
             "ms", 1, 1),
            ("Both lists filled from one read, full folder (200,000)",
             "BM_FillListsFromFolder/100000", "ms", 1, 1),
            ("A list brought up to date after a capture, full folder (200,000)",
             "BM_ListRefreshAfterCapture/100000", "ms", 2, 1),
            ("Selecting a 1 MiB text, one line", "BM_SelectText/size:1048576/line:0", "ms", 1, 1),
            ("Selecting a 1 MiB text in lines of 200", "BM_SelectText/size:1048576/line:200",
             "ms", 1, 1),
            ("Selecting a 10 MiB text in lines", "BM_SelectText/size:10485760/line:80", "ms", 1, 1),
            ("Counter file write", "BM_CounterFileWrite", "µs", 0, 1000),
            ("Idle tick", "BM_IdleTick", "µs", 3, 1000))]

    method = METHOD.format(**m, captures_many=2 * m["many"],
                           poll=fmt(g("copyq.poll")),
                           picture_mib=(g("copy_mib.picture") or 3840 * 2160 * 3 / 2**20))
    machine = f"{record['machine']}; {record['date']}; everything measured ran {record['priority']}"
    doc = ["# Performance", "",
           "Measured by `scripts/bench.sh` (bench/measure.py, build/bench/brimlet_bench) "
           f"at commit {record['commit']} on:", "",
           machine, "",
           "## Targets", "",
           table(("measure", "Brimlet", "beside", "target", "met"),
                 [target_row(t, fig) for t in targets if t["section"] == "Targets"]), "",
           "## By folder size", "",
           table(("measure", "empty", f"{2 * m['many']:,} captures", f"full ({2 * m['full']:,})"),
                 by_size), "",
           "## Beside the C reference (copy → stored)", "",
           table(("copy", "Brimlet", "C reference", "Brimlet / reference"), against_reference), "",
           "## Beside CopyQ (empty folder)", "",
           table(("measure", "Brimlet", "CopyQ", "target"), against_peer), "",
           "## In-process micro-benchmarks", "",
           table(("measure", "Brimlet", "target"), in_process), "",
           re.sub(r"\n  (?=\S)", " ", method)]  # one line per item
    if record.get("duration_s") is not None:
        doc.append(f"The whole run took {record['duration_s']:.0f} s.")
    return "\n".join(doc) + "\n"


def main():
    record_path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "docs", "performance.json")
    targets_path = sys.argv[2] if len(sys.argv) > 2 else os.path.join(ROOT, "bench", "targets.json")
    with open(record_path) as f:
        record = json.load(f)
    with open(targets_path) as f:
        targets = json.load(f)["targets"]
    micro = micro_times(os.path.join(os.path.dirname(os.path.abspath(record_path)), record["micro"]))
    sys.stdout.write(report(record, targets, micro))


if __name__ == "__main__":
    main()
