#!/usr/bin/env python3
"""One history on two machines: two Syncthing instances on loopback share a
folder pair, a Brimlet runs on each of two fresh X servers, and 2 x 100
copies alternate between them every 100 ms. Prints copies kept, duplicates,
conflict names left, and the time from the last copy until both folders
hold the same files (with Syncthing idle and in sync on both sides).

    bench/syncthing.py [BRIMLET_BINARY]      (default: build/brimlet)

Needs syncthing, Xvfb and xclip; stops everything it started.

    bench/syncthing.py --pair FOLDER_A FOLDER_B

only runs the two Syncthing instances for the end-to-end test: it says
"started", then answers each line "sync?" on its input with "yes" when both
are idle and in sync and the folders hold the same files, else "no", and
stops both at the end of its input."""
import hashlib
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from environment import XServer  # noqa: E402

COPIES = int(os.environ.get("BENCH_SYNC_COPIES", 100))  # per machine
GAP = 0.100           # s between two copies, alternating machines
SETTLE_LIMIT = int(os.environ.get("BENCH_SYNC_LIMIT", 300))    # s at most from the last copy until both folders agree
TEXT_NAME = re.compile(r"^text [1-9][0-9]*\.txt$")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Syncthing:
    """One instance on loopback only, sharing the folder "brimlet"."""

    def __init__(self, root, name, folder):
        self.home, self.folder = os.path.join(root, "st-" + name), folder
        self.gui, self.listen, self.proc = free_port(), free_port(), None
        subprocess.run(["syncthing", "generate", "--home=" + self.home, "--no-default-folder",
                        "--skip-port-probing"], capture_output=True, check=True)
        self.id = subprocess.run(["syncthing", "--home=" + self.home, "--device-id"],
                                 capture_output=True, check=True, text=True).stdout.strip()
        os.makedirs(os.path.join(folder, ".stfolder"), exist_ok=True)

    def start(self, peer, dials):
        # Only one side dials: when both do at once, each may keep a
        # different one of the two connections and close the other, and the
        # pair then waits for the next round of dialling.
        device = '<device id="{}"><address>{}</address></device>'
        address = f"tcp://127.0.0.1:{peer.listen}" if dials else "dynamic"
        with open(os.path.join(self.home, "config.xml"), "w") as f:
            f.write(f'''<configuration version="36">
<folder id="brimlet" path="{self.folder}" rescanIntervalS="10" fsWatcherEnabled="true"
 fsWatcherDelayS="1"><device id="{self.id}"/><device id="{peer.id}"/>
 <maxConflicts>10</maxConflicts><pullerPauseS>1</pullerPauseS></folder>
{device.format(self.id, "dynamic")}
{device.format(peer.id, address)}
<gui enabled="true" tls="false"><address>127.0.0.1:{self.gui}</address>
 <apikey>bench</apikey></gui>
<options><listenAddress>tcp://127.0.0.1:{self.listen}</listenAddress>
 <globalAnnounceEnabled>false</globalAnnounceEnabled>
 <localAnnounceEnabled>false</localAnnounceEnabled><relaysEnabled>false</relaysEnabled>
 <natEnabled>false</natEnabled><reconnectionIntervalS>1</reconnectionIntervalS>
 <startBrowser>false</startBrowser><urAccepted>-1</urAccepted>
 <crashReportingEnabled>false</crashReportingEnabled>
 <autoUpgradeIntervalH>0</autoUpgradeIntervalH></options></configuration>''')
        log = open(os.path.join(self.home, "log"), "w")
        self.proc = subprocess.Popen(["syncthing", "serve", "--home=" + self.home, "--no-browser",
                                      "--no-restart", "--no-upgrade"], stdout=log, stderr=log)

    def rest(self, path):
        request = urllib.request.Request(f"http://127.0.0.1:{self.gui}{path}",
                                         headers={"X-API-Key": "bench"})
        try:
            with urllib.request.urlopen(request, timeout=5) as answer:
                return json.load(answer)
        except OSError:
            return {}

    def in_sync(self, peer):
        status = self.rest("/rest/db/status?folder=brimlet")
        sent = self.rest(f"/rest/db/completion?folder=brimlet&device={peer.id}")
        return (status.get("state") == "idle" and status.get("needTotalItems") == 0
                and sent.get("completion") == 100 and sent.get("needItems") == 0)

    def stop(self):
        if self.proc:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


def files_of(folder):
    files = {}
    for name in os.listdir(folder):
        path = os.path.join(folder, name)
        if not name.startswith(".") and os.path.isfile(path):
            content = read(path)
            if content is not None:
                files[name] = hashlib.sha1(content).hexdigest()
    return files


def read(path):
    """A file's bytes; None when the synchroniser moved it away meanwhile."""
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


def copy(env, text):
    subprocess.run(["xclip", "-selection", "clipboard", "-i"], input=text, env=env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=10)


def texts_in(folder):
    found = []
    for name in os.listdir(folder):
        content = read(os.path.join(folder, name)) if TEXT_NAME.match(name) else None
        if content is not None:
            found.append(content[:-2])
    return found


def wait(condition, limit):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(0.1)
    return condition()


class Pair:
    """Two instances sharing one folder pair."""

    def __init__(self, root, folders):
        self.folders = folders
        self.sync = [Syncthing(root, "a", folders[0]), Syncthing(root, "b", folders[1])]
        self.sync[1].start(self.sync[0], dials=False)
        self.sync[0].start(self.sync[1], dials=True)

    def agreed(self):
        return (self.sync[0].in_sync(self.sync[1]) and self.sync[1].in_sync(self.sync[0])
                and files_of(self.folders[0]) == files_of(self.folders[1]))

    def stop(self):
        for instance in self.sync:
            instance.stop()


def serve_pair(folders):
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))  # stops the pair on the way out
    root = tempfile.mkdtemp(prefix="brimlet-sync-")
    pair = None
    try:
        pair = Pair(root, [os.path.abspath(f) for f in folders])
        print("started", flush=True)
        for line in sys.stdin:
            if line.strip() == "sync?":
                print("yes" if pair.agreed() else "no", flush=True)
    finally:
        if pair:
            pair.stop()
        shutil.rmtree(root, ignore_errors=True)


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--pair":
        serve_pair(sys.argv[2:])
        return
    binary = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/brimlet")
    root = tempfile.mkdtemp(prefix="brimlet-bench-sync-")
    folders = [os.path.join(root, "a"), os.path.join(root, "b")]
    for folder in folders:
        os.makedirs(folder)
    with open(os.path.join(folders[0], "text 1.txt"), "wb") as f:
        f.write(b"before\r\n")
    with open(os.path.join(folders[0], "pikcounter.txt"), "wb") as f:
        f.write(b"0,1\r\n")
    started, brimlets = [], []
    try:
        pair = Pair(root, folders)
        started.append(pair)
        sync, agreed = pair.sync, pair.agreed

        if not wait(agreed, 60):
            raise RuntimeError("the folders never came in sync")
        servers = []
        for folder in folders:
            servers.append(XServer())
            brimlets.append(subprocess.Popen([binary], cwd=folder, env=servers[-1].env,
                                             stdout=subprocess.DEVNULL,
                                             stderr=subprocess.DEVNULL))
        started += servers
        # Until its first tick, start-up empties the clipboard: a probe is
        # copied until it is captured.
        for side, (server, folder) in enumerate(zip(servers, folders)):
            probe = b"probe %d" % side
            for _ in range(60):
                if probe in texts_in(folder):
                    break
                copy(server.env, probe)
                time.sleep(0.5)
            else:
                raise RuntimeError("Brimlet did not capture")
            wait(agreed, 60)
        sent = []
        begin = time.monotonic()
        for i in range(2 * COPIES):
            text = b"bench copy %d" % i
            copy(servers[i % 2].env, text)
            sent.append(text)
            time.sleep(max(0.0, begin + (i + 1) * GAP - time.monotonic()))
        last = time.monotonic()

        def settled():
            conflicts = [n for f in folders for n in files_of(f) if ".sync-conflict-" in n]
            present = set(texts_in(folders[0]))
            return not conflicts and all(t in present for t in sent) and agreed()

        identical = wait(settled, SETTLE_LIMIT)
        seconds = time.monotonic() - last
        kept = texts_in(folders[0])
        figures = {
            "copies": len(sent),
            "copies kept": sum(1 for t in sent if t in kept),
            "duplicates": sum(kept.count(t) - 1 for t in sent if kept.count(t) > 1),
            "conflict names left": sum(1 for f in folders for n in files_of(f)
                                       if ".sync-conflict-" in n),
            "folders identical": identical,
            "seconds from the last copy until identical": round(seconds, 1),
        }
        print(json.dumps(figures, indent=2))
        if not identical:
            for side in range(2):
                print(f"{'ab'[side]}:", sync[side].rest("/rest/db/status?folder=brimlet"),
                      file=sys.stderr)
    finally:
        for process in brimlets:
            process.terminate()
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        for thing in reversed(started):
            try:
                thing.stop() if isinstance(thing, Pair) else thing.close()
            except Exception:  # stopping the rest matters more
                pass
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
