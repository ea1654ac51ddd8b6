"""What every part of the benchmark shares: the method's numbers, the clock
and the log. The numbers are written into docs/performance.json with the
figures, so the report states the method the figures were taken with."""
import statistics
import sys
import time

LATENCY_COPIES = 20     # copies per folder for the capture latency
QUIET = 0.05            # s without CPU use (over QUIET_STEP steps) before a copy
QUIET_STEP = 0.01
QUIET_NS = 200_000      # CPU ns per step that still counts as quiet
RAPID_COPIES = 50       # copies made RAPID_GAP apart
RAPID_GAP = 0.020
PAINT_LAUNCHES = 9      # launches per folder for the first paint
IDLE_SETTLE = 5         # s after start before idle is measured
IDLE_SECONDS = 30
SIZE_COPIES = {"1 KiB": 9, "10 MiB": 9, "picture": 9}
PEER_SIZE_COPIES = {"1 KiB": 3, "10 MiB": 3, "picture": 1}
MANY = 5000             # texts and pictures each: 10,000 captures
PEAK_CONSTANT_MIB = 8   # what a capture may take beyond 1.5 x its copy (peak memory targets)
FULL = 100000           # texts and pictures each: a full folder, about 5 years


def method():
    """The numbers above, as recorded beside the figures."""
    return {"latency_copies": LATENCY_COPIES, "quiet_ms": QUIET * 1000,
            "quiet_step_ms": QUIET_STEP * 1000, "quiet_cpu_ms": QUIET_NS / 1e6,
            "rapid_copies": RAPID_COPIES, "rapid_gap_ms": RAPID_GAP * 1000,
            "paint_launches": PAINT_LAUNCHES, "idle_settle_s": IDLE_SETTLE,
            "idle_s": IDLE_SECONDS, "size_copies": dict(SIZE_COPIES),
            "peer_size_copies": dict(PEER_SIZE_COPIES), "many": MANY, "full": FULL,
            "peak_constant_mib": PEAK_CONSTANT_MIB}


def now():
    return time.perf_counter()  # CLOCK_MONOTONIC


def ms(seconds):
    return seconds * 1000.0


def median(values):
    values = [v for v in values if v == v]
    return statistics.median(values) if values else float("nan")


STARTED = time.perf_counter()


def log(text):
    print(f"[{time.perf_counter() - STARTED:5.0f} s] {text}", file=sys.stderr, flush=True)
