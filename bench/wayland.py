"""Capture on a Wayland desktop, on one headless sway: copy → stored latency
and rapid copies kept, through data-control (Brimlet with WAYLAND_DISPLAY,
copies by wl-copy while a native Wayland window has the focus) beside the
X11 path (Brimlet without WAYLAND_DISPLAY, so on Xwayland alone, copies by
xclip). Writes its figures as JSON:

    python3 bench/wayland.py [BUILD [OUT]]

sway refuses root: run as root, sway and everything in its session run as
the user brimlet-e2e (made once, as the end-to-end tests do)."""
import json
import os
import pwd
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from common import RAPID_COPIES, RAPID_GAP, log, median, ms, now
from probes import COUNTER_NAME, TEXT_NAME, FolderWatch, wait_quiet, wait_until

USER = "brimlet-e2e"
COPIES = 20


class Sway:
    """Headless sway with Xwayland, and the way to run programs inside it."""

    def __init__(self, scratch):
        self.prefix, owner = [], None
        if os.geteuid() == 0:
            try:
                pwd.getpwnam(USER)
            except KeyError:
                subprocess.run(["useradd", "--system", "--no-create-home", "--shell",
                                "/usr/sbin/nologin", USER], check=True)
            owner = pwd.getpwnam(USER)
            self.prefix = ["setpriv", f"--reuid={owner.pw_uid}", f"--regid={owner.pw_gid}",
                           "--clear-groups"]
            os.chmod(scratch, 0o755)
        self.owner = owner
        runtime = os.path.join(scratch, "run")
        os.mkdir(runtime, 0o700)
        self.give(runtime)
        config = os.path.join(scratch, "sway.conf")
        with open(config, "w") as f:
            f.write("xwayland enable\nexec sh -c 'env > \"$XDG_RUNTIME_DIR/env.part\" && "
                    "mv \"$XDG_RUNTIME_DIR/env.part\" \"$XDG_RUNTIME_DIR/env\"'\n")
        os.chmod(config, 0o644)
        base = {k: v for k, v in os.environ.items()
                if k not in ("DISPLAY", "WAYLAND_DISPLAY", "SWAYSOCK", "XAUTHORITY")}
        base.update(XDG_RUNTIME_DIR=runtime, HOME=runtime, DBUS_SESSION_BUS_ADDRESS="disabled:")
        self.proc = subprocess.Popen(
            ["setsid"] + self.prefix + ["sway", "-c", config], stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
            env=dict(base, WLR_BACKENDS="headless", WLR_RENDERER="pixman",
                     WLR_LIBINPUT_NO_DEVICES="1"))
        env_file = os.path.join(runtime, "env")
        if not wait_until(lambda: os.path.exists(env_file), timeout=30, step=0.05):
            self.close()
            raise RuntimeError("sway did not start")
        with open(env_file) as f:
            found = dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
        self.env = dict(base, **{k: found[k] for k in ("DISPLAY", "WAYLAND_DISPLAY", "SWAYSOCK")})

    def give(self, path):
        if self.owner:
            subprocess.run(["chown", "-R", f"{self.owner.pw_uid}:{self.owner.pw_gid}", path])

    def start(self, args, **kw):
        return subprocess.Popen(self.prefix + args, env=dict(self.env, **kw.pop("env", {})),
                                stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, **kw)

    def run(self, args, timeout=10):
        return subprocess.run(self.prefix + ["timeout", str(timeout)] + args, env=self.env,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).returncode

    def close(self):
        for sig in (signal.SIGTERM, signal.SIGKILL):
            try:
                os.killpg(self.proc.pid, sig)
                self.proc.wait(timeout=5)
                return
            except (ProcessLookupError, subprocess.TimeoutExpired):
                pass


def copier(session, data, wayland):
    args = ["wl-copy"] if wayland else ["xclip", "-selection", "clipboard", "-i"]
    p = session.start(args)
    p.stdin.write(data)
    p.stdin.close()
    return p


def stored_after(session, watch, data, wayland, timeout=5.0):
    """ms from the copy to its capture file and the counter stored; NaN when
    it does not come."""
    watch.drain()
    t0 = now()
    p = copier(session, data, wayland)
    stored = counted = None
    while (stored is None or counted is None) and now() < t0 + timeout:
        for at, n in watch.read(t0 + timeout - now()):
            if n == COUNTER_NAME:
                counted = at
            elif TEXT_NAME.match(n) and stored is None:
                stored = at
    p.wait(timeout=10)
    return float("nan") if stored is None or counted is None else ms(max(stored, counted) - t0)


def figures(values):
    kept = [v for v in values if v == v]
    return {"median": median(values), "min": min(kept, default=float("nan")),
            "max": max(kept, default=float("nan")), "lost": len(values) - len(kept)}


def phase(session, watch, folder, brimlet, wayland):
    """Brimlet on one path: through data-control (a Wayland copier, a native
    window focused), or through X11 alone (no WAYLAND_DISPLAY for it, an X11
    copier)."""
    env = dict(session.env)
    if not wayland:
        env.pop("WAYLAND_DISPLAY")
    running = [subprocess.Popen(session.prefix + [brimlet], cwd=folder, env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)]
    try:
        # Until the first tick, start-up empties the clipboard unread.
        if not wait_until(lambda: stored_after(session, watch, b"probe", wayland, 0.5) > 0,
                          timeout=30, step=0):
            raise RuntimeError("Brimlet captured nothing in sway")
        if wayland:
            running.append(session.start(["mousepad"], env={"GDK_BACKEND": "wayland",
                                                            "GSETTINGS_BACKEND": "memory"}))
            if not wait_until(lambda: session.run(["swaymsg", "[app_id=mousepad] focus"]) == 0,
                              timeout=20, step=0.1):
                raise RuntimeError("mousepad did not come")
        path = "data-control" if wayland else "X11"
        log(f"  sway, {path}: capture latency")
        values = []
        for i in range(COPIES):
            wait_quiet(watch, quiet=0.2, limit=5)
            values.append(stored_after(session, watch, b"latency %d %f" % (i, time.time()),
                                       wayland))
        result = figures(values)
        log(f"  sway, {path}: rapid copies")
        texts = [b"rapid %d %f" % (i, time.time()) for i in range(RAPID_COPIES)]
        wait_quiet(watch, quiet=0.2, limit=5)
        t0, copiers = now(), []
        for i, t in enumerate(texts):
            time.sleep(max(0.0, t0 + i * RAPID_GAP - now()))
            copiers.append(copier(session, t, wayland))
        for c in copiers:
            c.wait(timeout=30)
        got = set()
        for n in wait_quiet(watch, quiet=2.0, limit=30.0):
            if TEXT_NAME.match(n):
                with open(os.path.join(folder, n), "rb") as f:
                    got.add(f.read()[:-2])
        result["rapid_kept"] = sum(1 for t in texts if t in got)
        return result
    finally:
        for p in running:
            p.kill()
            p.wait()


def measure(brimlet):
    scratch = tempfile.mkdtemp(prefix="brimlet-bench-wayland-")
    session = Sway(scratch)
    result = {"compositor": "sway (headless)", "copies": COPIES, "rapid_copies": RAPID_COPIES,
              "rapid_gap_ms": RAPID_GAP * 1000}
    try:
        for key, wayland in (("x11", False), ("data_control", True)):
            folder = os.path.join(scratch, key)
            os.mkdir(folder)
            session.give(folder)
            watch = FolderWatch(folder)
            try:
                result[key] = phase(session, watch, folder, brimlet, wayland)
            finally:
                watch.close()
        return result
    finally:
        session.close()
        shutil.rmtree(scratch, ignore_errors=True)


def without_nan(value):
    if isinstance(value, dict):
        return {k: without_nan(v) for k, v in value.items()}
    return None if isinstance(value, float) and value != value else value


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build"))
    out = sys.argv[2] if len(sys.argv) > 2 else os.path.join(root, "docs",
                                                              "performance-wayland.json")
    if not shutil.which("sway"):
        sys.exit("sway is not installed")
    result = measure(os.path.join(build, "brimlet"))
    with open(out, "w") as f:
        json.dump(without_nan(result), f, indent=1, allow_nan=False)
        f.write("\n")
    print(json.dumps(result, indent=1))


if __name__ == "__main__":
    main()
