"""Probes: copies onto the clipboard, captures seen arriving in a folder
(inotify), and a program's processes, CPU time and memory from /proc."""
import ctypes
import os
import re
import select
import struct
import subprocess
import time

from common import QUIET, QUIET_NS, QUIET_STEP, ms, now
from environment import COUNTER_NAME

TEXT_NAME = re.compile(r"^text[ -]\d+\.txt$")
PICTURE_NAME = re.compile(r"^picture[ -]\d+\.jpeg$")


def run(args, env, data=None, timeout=60):
    return subprocess.run(args, env=env, input=data, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, timeout=timeout)


def start_copy(env, data, target="UTF8_STRING"):
    """Puts data on the CLIPBOARD with xclip, which stays behind to serve it
    (holding no pipe of ours). xclip reads all its input before it takes the
    selection, so nothing can be captured before this returns."""
    p = subprocess.Popen(["xclip", "-selection", "clipboard", "-t", target, "-i"], env=env,
                         stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
    p.stdin.write(data)
    p.stdin.close()
    return p


def copy(env, data, target="UTF8_STRING"):
    start_copy(env, data, target).wait(timeout=60)


_libc = ctypes.CDLL(None, use_errno=True)


class FolderWatch:
    """The names that appear whole in a folder (renamed into it, or closed
    after writing), with the time each was seen, through inotify."""
    IN_CLOSE_WRITE = 0x008
    IN_MOVED_TO = 0x080

    def __init__(self, folder):
        self.folder = folder
        self.fd = _libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        if self.fd < 0 or _libc.inotify_add_watch(
                self.fd, os.fsencode(folder), self.IN_CLOSE_WRITE | self.IN_MOVED_TO) < 0:
            raise OSError(ctypes.get_errno(), "inotify")

    def read(self, timeout):
        """The (time, name) events that arrive within timeout seconds (at
        least one unless the time runs out)."""
        ready, _, _ = select.select([self.fd], [], [], max(timeout, 0))
        if not ready:
            return []
        at = now()
        try:
            data = os.read(self.fd, 1 << 16)
        except BlockingIOError:
            return []
        events, offset = [], 0
        while offset + 16 <= len(data):
            _, _, _, length = struct.unpack_from("iIII", data, offset)
            name = data[offset + 16:offset + 16 + length].rstrip(b"\0")
            events.append((at, os.fsdecode(name)))
            offset += 16 + length
        return events

    def drain(self):
        while self.read(0):
            pass

    def close(self):
        os.close(self.fd)


def store_after_copy(watch, env, data, target="UTF8_STRING", picture=False, timeout=None):
    """Copies data and waits until its capture is stored: the capture file
    under its final name and the counter file rewritten. Returns the time in
    ms, the capture's name and the moment it was stored (NaN, None, None when
    it did not come)."""
    pattern = PICTURE_NAME if picture else TEXT_NAME
    if timeout is None:
        timeout = 30 if picture or len(data) > 1 << 20 else 10
    watch.drain()
    t0 = now()
    copier = start_copy(env, data, target)
    name = stored = counted = None
    while (stored is None or counted is None) and now() < t0 + timeout:
        for at, n in watch.read(t0 + timeout - now()):
            if n == COUNTER_NAME:
                counted = at
            elif pattern.match(n) and stored is None:
                stored, name = at, n
    copier.wait(timeout=60)
    if stored is None or counted is None:
        return float("nan"), None, None
    return ms(max(stored, counted) - t0), name, max(stored, counted)


def settle(program, limit=5.0):
    """Waits until the program has used no more than QUIET_NS of CPU in any
    QUIET_STEP for QUIET s; returns the moment of its last busy step."""
    pids = program.pids()
    start = last_busy = now()
    before = thread_cpu(pids)
    while now() - last_busy < QUIET and now() - start < limit:
        time.sleep(QUIET_STEP)
        used = thread_cpu(pids)
        if cpu_since(before, used)[0] > QUIET_NS:
            last_busy = now()
        before = used
    return last_busy


def wait_quiet(watch, quiet=1.0, limit=15.0):
    """Collects the capture names stored until none came for `quiet` s."""
    names, end = [], now() + limit
    last = now()
    while now() < end and now() - last < quiet:
        for at, n in watch.read(min(quiet - (now() - last), end - now())):
            last = at
            if TEXT_NAME.match(n) or PICTURE_NAME.match(n):
                names.append(n)
    return names


def descendants(pid):
    """pid and all processes below it."""
    children = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as f:
                    ppid = int(f.read().rsplit(")", 1)[1].split()[1])
                children.setdefault(ppid, []).append(int(entry))
            except (OSError, IndexError, ValueError):
                pass
    found, todo = [], [pid]
    while todo:
        p = todo.pop()
        found.append(p)
        todo.extend(children.get(p, []))
    return found


def status_kib(pids, field):
    total = 0
    for p in pids:
        try:
            with open(f"/proc/{p}/status") as f:
                for line in f:
                    if line.startswith(field + ":"):
                        total += int(line.split()[1])
        except OSError:
            pass
    return total


def reset_peak(pids):
    """Sets VmHWM of the processes back to their VmRSS (clear_refs 5), so
    that the next reading of VmHWM is the peak since now."""
    for p in pids:
        try:
            with open(f"/proc/{p}/clear_refs", "w") as f:
                f.write("5")
        except OSError:
            pass


def thread_cpu(pids):
    """CPU time in nanoseconds and times put on a CPU of every thread of
    the processes, by thread, from /proc/PID/task/TID/schedstat (exact,
    unlike utime/stime's 10 ms steps)."""
    use = {}
    for p in pids:
        try:
            tasks = os.listdir(f"/proc/{p}/task")
        except OSError:
            continue
        for task in tasks:
            try:
                with open(f"/proc/{p}/task/{task}/schedstat") as f:
                    fields = f.read().split()
                use[(p, task)] = (int(fields[0]), int(fields[2]))
            except (OSError, IndexError, ValueError):
                pass
    return use


def cpu_since(before, after):
    """CPU nanoseconds and times on a CPU between two thread_cpu readings,
    thread by thread: a thread that ended in between (Qt's pooled threads
    end after 30 s without work) takes nothing away, a new one counts
    whole."""
    ns = runs = 0
    for thread, (t_ns, t_runs) in after.items():
        b_ns, b_runs = before.get(thread, (0, 0))
        ns += t_ns - b_ns
        runs += t_runs - b_runs
    return ns, runs


def wait_until(condition, timeout=30.0, step=0.001):
    end = now() + timeout
    while now() < end:
        if condition():
            return True
        time.sleep(step)
    return condition()
