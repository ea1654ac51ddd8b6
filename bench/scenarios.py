"""Scenarios: first paint, capture latency, rapid copies, copies of three
sizes, and idle CPU and memory. Each takes running programs (drivers.py) and
returns its figures in ms (memory in MiB); where several programs take part,
their copies alternate so that a change in the machine's load falls on all
alike."""
import struct
import time
import zlib

from common import (IDLE_SECONDS, IDLE_SETTLE, LATENCY_COPIES, PAINT_LAUNCHES, RAPID_COPIES,
                    RAPID_GAP, SIZE_COPIES, log, median, ms, now)
from drivers import Brimlet, CopyQ, Launched
from environment import XServer, bmp_size
from probes import cpu_since, reset_peak, settle, start_copy, status_kib, thread_cpu


def first_paints(tools, env, launches_of, launches=PAINT_LAUNCHES):
    """First paint of each (folder, program) in `launches_of` (by name), the
    launches taking turns, so that a change in the machine's load (the
    writeback of the folders just made, say) falls on all alike."""
    mapped = {name: [] for name in launches_of}
    drawn = {name: [] for name in launches_of}
    for _ in range(launches):
        for name, (folder, program) in launches_of.items():
            p = Launched(tools, env, folder, program)
            mapped[name].append(p.mapped)
            drawn[name].append(p.drawn)
            p.stop()
    return {name: {"mapped": median(mapped[name]), "drawn": median(drawn[name]),
                   "drawn_all": drawn[name]} for name in launches_of}


def latencies(programs, copies=LATENCY_COPIES):
    """Copies made one at a time, each once the program has gone quiet: the
    time to stored, and how long the program kept working after it. With
    several programs (each on its own server) the copies alternate between
    them, so a change in the machine's load falls on all alike."""
    log(f"  {', '.join(p.name for p in programs)}: capture latency")
    values = {p.name: [] for p in programs}
    busy = {p.name: [] for p in programs}
    for i in range(copies):
        for p in programs:
            if values[p.name][-3:] and all(v != v for v in values[p.name][-3:]):
                continue  # three lost in a row: this one does not capture
            settle(p)
            values[p.name].append(p.latency(b"latency %d %f" % (i, time.time())))
            quiet_from = settle(p)
            if p.stored_at is not None:
                busy[p.name].append(ms(max(0.0, quiet_from - p.stored_at)))
    results = {}
    for name, v in values.items():
        stored = [x for x in v if x == x] or [float("nan")]
        results[name] = {"median": median(v), "min": min(stored), "max": max(stored),
                         "lost": copies - len([x for x in v if x == x]),
                         "busy": median(busy[name])}
    return results


def rapid(program, copies=RAPID_COPIES, gap=RAPID_GAP):
    """copies texts, the i-th started i × gap after the first (each xclip
    takes the clipboard from the one before); how many of them end up kept,
    and the mean gap achieved between the starts."""
    log(f"  {program.name}: rapid copies")
    texts = [b"rapid %d %f" % (i, time.time()) for i in range(copies)]
    if hasattr(program, "watch"):
        program.watch.drain()
    settle(program)
    copiers, starts = [], []
    t0 = now()
    for i, t in enumerate(texts):
        delay = t0 + i * gap - now()
        if delay > 0:
            time.sleep(delay)
        starts.append(now())
        copiers.append(start_copy(program.env, t))
    for c in copiers:
        c.wait(timeout=60)
    achieved = ms(starts[-1] - starts[0]) / (copies - 1)
    return {"kept": program.kept(texts), "gap": achieved}


def size_samples(picture, i):
    """The i-th copy of each size; every copy differs from the one before
    (a peer may drop a repeat), the picture only in a comment chunk."""
    comment = b"Comment\0copy %d" % i
    tagged = (picture[:-12] + struct.pack(">I", len(comment)) + b"tEXt" + comment +
              struct.pack(">I", zlib.crc32(b"tEXt" + comment)) + picture[-12:])
    return {"1 KiB": (b"%08d" % i + b"k" * 1015 + b"\n", "UTF8_STRING", False),
            "10 MiB": (b"%08d" % i + TEN_MIB[8:], "UTF8_STRING", False),
            "picture": (tagged, "image/png", True)}


TEN_MIB = (b"0123456789abcde\n" * 65536) * 10


def sizes(programs, picture, counts=SIZE_COPIES):
    """Median time from copy to stored for each size, per program, and the
    memory each copy took at its peak (VmHWM once the program has settled
    again, less VmRSS before the first copy of that size; all its processes) as
    "peak_mib". With several programs (each on its own server) the copies
    alternate between them, so a change in the machine's load falls on all
    alike."""
    values = {p.name: {key: [] for key in counts} for p in programs}
    peaks = {p.name: {key: [] for key in counts} for p in programs}
    before = {}
    for key, count in counts.items():
        log(f"  {', '.join(p.name for p in programs)}: {key}")
        for i in range(count):
            data, target, is_picture = size_samples(picture, i)[key]
            for p in programs:
                if values[p.name][key][-2:] and all(v != v for v in values[p.name][key][-2:]):
                    continue  # two lost in a row: this one does not capture this size
                settle(p)
                pids = p.pids()
                # Memory kept from one copy to the next (a buffer, the shown
                # entry) counts: each peak is set against what the program
                # held before the first copy of this size.
                if i == 0:
                    before[p.name] = status_kib(pids, "VmRSS")
                reset_peak(pids)
                values[p.name][key].append(p.latency(data, target, is_picture))
                settle(p)
                peaks[p.name][key].append((status_kib(pids, "VmHWM") - before[p.name]) / 1024)
    return {name: dict({key: median(v) for key, v in by_key.items()},
                       peak_mib={key: median(v) for key, v in peaks[name].items()})
            for name, by_key in values.items()}


def copy_mib():
    """The size of each copy as stored (the text plus CR LF, the picture as
    the bitmap it becomes), in MiB: what the peak memory targets scale."""
    return {"1 KiB": 1026 / 2**20, "10 MiB": (len(TEN_MIB) + 2) / 2**20,
            "picture": bmp_size(3840, 2160) / 2**20}


def idle_phase(tools, folders, servers, running):
    """Brimlet in an empty and in a full folder, the minimal Qt program and
    CopyQ, each on its own server, idle over the same 30 s: for each, CPU
    time and times put on a CPU over those seconds, all threads taken thread
    by thread, and the resident memory before them. What it starts is added
    to servers and running; the minimal program is stopped."""
    def server():
        servers.append(XServer())
        return servers[-1].env

    def started(program):
        running.append(program)
        return program
    b_empty = started(Brimlet(tools, server(), folders["empty"], "Brimlet (empty)"))
    b_full = started(Brimlet(tools, server(), folders["full"], "Brimlet (full)"))
    minimal = started(Launched(tools, server(), folders["minimal"], tools["minimal_qt"]))
    peer = started(CopyQ(server(), folders["copyq"]))
    time.sleep(IDLE_SETTLE)
    everyone = {"empty": b_empty, "full": b_full, "minimal_qt": minimal, "copyq": peer}
    memory = {k: status_kib(p.pids(), "VmRSS") for k, p in everyone.items()}
    before = {k: thread_cpu(p.pids()) for k, p in everyone.items()}
    time.sleep(IDLE_SECONDS)
    after = {k: thread_cpu(p.pids()) for k, p in everyone.items()}
    idle = {}
    for k in everyone:
        ns, runs = cpu_since(before[k], after[k])
        idle[k] = {"idle_cpu_ms": ns / 1e6, "idle_cpu_runs": runs, "rss_mib": memory[k] / 1024}
    minimal.stop()
    return (b_empty, b_full, peer), idle
