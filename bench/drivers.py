"""Drivers: the programs measured, each started and spoken to the same
way: Brimlet and the minimal Qt program through the first-paint clock, the C
reference capture, CopyQ through its client, and the in-process
micro-benchmarks (Google Benchmark, whose own JSON output is kept)."""
import json
import os
import signal
import subprocess
import sys
import time

from common import log, median, ms, now
from environment import bmp_size
from probes import (TEXT_NAME, FolderWatch, copy, descendants, run, store_after_copy,
                    wait_quiet, wait_until)


class Launched:
    """A program started through first_paint, which reports when its window
    was mapped and when it was drawn over its whole area."""
    name = "program"

    def __init__(self, tools, env, folder, program, timeout_ms=20000):
        self.folder = folder
        self.proc = subprocess.Popen([tools["first_paint"], str(timeout_ms), program], cwd=folder,
                                     env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        fields = self.proc.stdout.readline().split()
        if len(fields) != 3:
            self.proc.kill()
            self.proc.wait()
            raise RuntimeError(f"first_paint gave no answer for {program}")
        self.pid = int(fields[0])
        self.mapped, self.drawn = (float(v) if float(v) >= 0 else float("nan") for v in fields[1:])

    def pids(self):
        return descendants(self.pid)

    def stop(self):
        try:
            os.kill(self.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            os.kill(self.pid, signal.SIGKILL)
            self.proc.wait()
        self.proc.stdout.close()
        # As when Brimlet ends normally: no lock is left behind.
        try:
            os.remove(os.path.join(self.folder, ".brimlet.lock"))
        except FileNotFoundError:
            pass


class Brimlet(Launched):
    def __init__(self, tools, env, folder, name):
        super().__init__(tools, env, folder, tools["brimlet"])
        self.name = name
        self.env = env
        self.watch = FolderWatch(folder)

    def prime(self):
        """Until the first tick, start-up and that tick empty the clipboard
        without capturing: copies a probe until one is stored."""
        for _ in range(50):
            _, name, _ = store_after_copy(self.watch, self.env, b"probe", timeout=0.3)
            if name:
                wait_quiet(self.watch, quiet=0.3)
                return True
        return False

    def latency(self, data, target="UTF8_STRING", picture=False):
        value, name, self.stored_at = store_after_copy(self.watch, self.env, data, target, picture)
        expected = bmp_size(3840, 2160) if picture else len(data) + 2
        if name and os.path.getsize(os.path.join(self.folder, name)) != expected:
            log(f"  {name} holds {os.path.getsize(os.path.join(self.folder, name))} bytes, "
                f"not {expected}")
        return value

    def kept(self, texts):
        names = wait_quiet(self.watch, quiet=2.0, limit=30.0)
        got = set()
        for n in names:
            if TEXT_NAME.match(n):
                with open(os.path.join(self.folder, n), "rb") as f:
                    got.add(f.read()[:-2])
        return sum(1 for t in texts if t in got)

    def stop(self):
        if self.watch:
            self.watch.close()
            self.watch = None
        super().stop()


class Reference:
    """The C program doing the same file work as Brimlet for each copy."""
    name = "C reference"

    def __init__(self, tools, env, folder, *options, name=None):
        self.env, self.folder = env, folder
        self.name = name or self.name
        self.watch = FolderWatch(folder)
        self.proc = subprocess.Popen([tools["reference_capture"], *options], cwd=folder, env=env,
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        if self.proc.stdout.readline().strip() != b"ready":
            raise RuntimeError("reference_capture did not start")

    latency = Brimlet.latency
    kept = Brimlet.kept

    def pids(self):
        return [self.proc.pid]

    def stop(self):
        self.watch.close()
        self.proc.terminate()
        self.proc.wait()
        self.proc.stdout.close()


class CopyQ:
    name = "CopyQ"

    def __init__(self, env, home):
        self.env = dict(env, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                        XDG_DATA_HOME=os.path.join(home, ".local/share"))
        t0 = now()
        self.proc = subprocess.Popen(["copyq"], env=self.env, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        up = wait_until(lambda: self.client("size").returncode == 0)
        self.startup = ms(now() - t0) if up else float("nan")
        self.poll_cost = median([self._timed_client() for _ in range(5)])

    def client(self, *args, timeout=60):
        return run(["copyq", *args], self.env, timeout=timeout)

    def _timed_client(self):
        t0 = now()
        self.client("size")
        return ms(now() - t0)

    def size(self):
        out = self.client("size").stdout.strip()
        return int(out) if out.isdigit() else -1

    def pids(self):
        return descendants(self.proc.pid)

    def latency(self, data, target="UTF8_STRING", picture=False):
        """From the copy to the item being in the history (polled with the
        client, whose own cost is reported beside)."""
        before = self.size()
        t0 = now()
        self.stored_at = None  # not seen: its client is polled
        copy(self.env, data, target)
        if picture or len(data) > 4096:
            # It keeps no picture offered as image/png alone: a short wait.
            ok = wait_until(lambda: self.size() > before, timeout=10 if picture else 60)
        else:
            ok = wait_until(lambda: self.client("read", "0").stdout == data, timeout=60)
        return ms(now() - t0) if ok else float("nan")

    def kept(self, texts):
        time.sleep(2)
        items = self.client("eval", "--", "var out = []; for (var i = 0; i < size(); ++i) "
                            "out.push(str(read(i))); JSON.stringify(out)").stdout
        got = {item.encode() for item in json.loads(items or b"[]")}
        return sum(1 for t in texts if t in got)

    def stop(self):
        self.client("exit")
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()


def micro(tools, out):
    """Runs the in-process micro-benchmarks, Google Benchmark writing its JSON
    report to out; their console output goes to stderr."""
    subprocess.run([tools["brimlet_bench"], f"--benchmark_out={out}",
                    "--benchmark_out_format=json", "--benchmark_min_time=0.2"],
                   stdout=sys.stderr, stderr=subprocess.DEVNULL, check=True,
                   env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
