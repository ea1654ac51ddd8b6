"""Set-up: fresh X servers, the capture folders of three sizes, the
picture that is copied, and the line that names the machine."""
import os
import platform
import shutil
import struct
import subprocess
import tempfile
import time
import zlib

COUNTER_NAME = "pikcounter.txt"


class XServer:
    """A fresh Xvfb with a private runtime folder and no session bus."""

    def __init__(self):
        self.runtime = tempfile.mkdtemp(prefix="brimlet-bench-rt-")
        os.chmod(self.runtime, 0o700)
        read, write = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=[write], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read, 16)
            if not chunk:
                raise RuntimeError("Xvfb gave no display")
            number += chunk
        os.close(read)
        self.env = dict(os.environ)
        self.env.update(DISPLAY=":" + number.decode().strip(), XDG_RUNTIME_DIR=self.runtime,
                        DBUS_SESSION_BUS_ADDRESS="disabled:")
        self.env.pop("QT_QPA_PLATFORM", None)
        self.env.pop("WAYLAND_DISPLAY", None)

    def close(self):
        self.proc.terminate()
        self.proc.wait()
        shutil.rmtree(self.runtime, ignore_errors=True)


def make_folder(path, texts, pictures, whole=100):
    """Capture files under their real names and a matching counter file.
    Every entry is a real regular file; only the newest `whole` of each kind
    have content (a short text, a 1×1 bitmap). The others are empty and made
    as hard links to a few empty files beside the folder (links are made
    twice as fast as files, and take no inode each), which keeps making a
    folder of 200,000 captures to a few seconds."""
    os.makedirs(path, exist_ok=True)
    folder = os.open(path, os.O_RDONLY | os.O_DIRECTORY)
    flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_CLOEXEC
    bitmap = (b"BM" + struct.pack("<IHHI", 58, 0, 0, 54) +
              struct.pack("<IiiHHIIiiII", 40, 1, 1, 1, 24, 0, 4, 2835, 2835, 0, 0) +
              b"\x80\x80\x80\x00")  # one grey pixel
    blanks = os.path.join(os.path.dirname(os.path.abspath(path)),
                          "." + os.path.basename(path) + "-blank")
    os.makedirs(blanks, exist_ok=True)
    links = 0
    blank = None
    try:
        for count, name, content in ((texts, "text %d.txt", lambda i: b"capture %d\r\n" % i),
                                     (pictures, "picture %d.jpeg", lambda i: bitmap)):
            for i in range(1, count + 1):
                if i > count - whole:
                    fd = os.open(name % i, flags, 0o644, dir_fd=folder)
                    os.write(fd, content(i))
                    os.close(fd)
                    continue
                if links % 60000 == 0:  # ext4 allows 65,000 links to one file
                    blank = os.path.join(blanks, str(links))
                    os.close(os.open(blank, flags, 0o644))
                os.link(blank, name % i, dst_dir_fd=folder)
                links += 1
    finally:
        os.close(folder)
    with open(os.path.join(path, COUNTER_NAME), "wb") as f:
        f.write(b"%d,%d\r\n" % (pictures, texts))


def png_bytes(width, height):
    """A gradient as a PNG (8-bit RGB), without any imaging library."""
    raw = bytearray()
    reds = bytes(x * 255 // width for x in range(width))
    blues = bytes(x & 255 for x in range(width + 256))
    for y in range(height):
        row = bytearray(3 * width)
        row[0::3] = reds
        row[1::3] = bytes([y * 255 // height]) * width
        row[2::3] = blues[y & 255:(y & 255) + width]
        raw.append(0)
        raw += row

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 1)) + chunk(b"IEND", b""))


def bmp_size(width, height):
    return 54 + ((width * 3 + 3) & ~3) * height


def machine_line():
    """The system, CPU, cores, memory, load at the start, Qt and the peer."""
    cpu = "unknown CPU"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    mem = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / 2**30
    copyq = subprocess.run(["copyq", "--version"], stdout=subprocess.PIPE, text=True,
                           stderr=subprocess.DEVNULL).stdout.split("\n")[0]
    qt = "Qt " + subprocess.run(["dpkg-query", "-W", "-f=${Version}", "libqt6core6"],
                                stdout=subprocess.PIPE, text=True,
                                stderr=subprocess.DEVNULL).stdout.split("+")[0]
    with open("/proc/loadavg") as f:
        load = " ".join(f.read().split()[:3])
    return (f"{platform.system()} {platform.release()}, {cpu}, {os.cpu_count()} cores, "
            f"{mem:.0f} GiB, load average {load} at the start; {qt}; peer: {copyq}")


def today():
    return time.strftime("%Y-%m-%d")


def commit(root):
    """The checkout's commit, "+changes" when tracked files differ from it."""
    def git(*args):
        return subprocess.run(["git", "-C", root, *args], stdout=subprocess.PIPE, text=True,
                              stderr=subprocess.DEVNULL).stdout.strip()
    head = git("rev-parse", "--short=7", "HEAD") or "unknown"
    return head + ("+changes" if git("status", "--porcelain", "--untracked-files=no") else "")
