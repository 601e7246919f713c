# SPDX-License-Identifier: GPL-3.0-or-later
"""What the benchmark's parts share: running and timing commands, the series of
runs of one contender, the page cache, and the X server of the window's runs."""

import argparse
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import time

BLOCK = 10_000_000
GIB = 1 << 30
# No single command of the benchmark may take longer than this (a hung run
# must not hold the whole benchmark).
COMMAND_TIMEOUT = 600


def parse_size(text):
    m = re.fullmatch(r"\s*(\d+(?:\.\d+)?)\s*([KMGT]?)(i?B)?\s*", text, re.I)
    if not m:
        raise argparse.ArgumentTypeError(f"not a size: {text}")
    scale = {"": 1, "K": 1 << 10, "M": 1 << 20, "G": 1 << 30, "T": 1 << 40}[m.group(2).upper()]
    return int(float(m.group(1)) * scale)


def log(text):
    print(text, file=sys.stderr, flush=True)


def load():
    return os.getloadavg()[0]


def drop_dirty():
    """Writes back what earlier runs left dirty, so that no run pays for another."""
    os.sync()


def can_drop_cache():
    return os.geteuid() == 0 and os.access("/proc/sys/vm/drop_caches", os.W_OK)


def drop_cache(programs):
    """Empties the page cache (dirty pages written back first), then starts each
    program once, so that the run that follows reads its data from the disk
    but finds the programs and their libraries (Qt's are large) loaded."""
    os.sync()
    with open("/proc/sys/vm/drop_caches", "w") as f:
        f.write("3")
    for p in programs:
        subprocess.run(p, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def rotate(items, r):
    """The contenders of a group in the order of round r: each goes first in turn."""
    r %= len(items)
    return items[r:] + items[:r]


def run(cmd, stdout=subprocess.PIPE, env=None, cwd=None):
    """Runs one command; returns (wall seconds, RESULT fields or {})."""
    start = time.perf_counter()
    try:
        proc = subprocess.run(cmd, stdout=stdout, stderr=subprocess.PIPE, env=env, cwd=cwd,
                              timeout=COMMAND_TIMEOUT)
    except subprocess.TimeoutExpired:
        raise SystemExit(f"{' '.join(map(str, cmd))} took longer than {COMMAND_TIMEOUT} s")
    seconds = time.perf_counter() - start
    if proc.returncode != 0:
        raise SystemExit(f"{' '.join(map(str, cmd))} failed ({proc.returncode}): "
                         f"{proc.stderr.decode(errors='replace').strip()}")
    fields = {}
    if stdout is subprocess.PIPE:
        for line in proc.stdout.decode().splitlines():
            if line.startswith("RESULT "):
                fields.update(kv.split("=", 1) for kv in line.split()[1:])
    return seconds, fields


class Series:
    """The runs of one contender: wall seconds and what it reported."""

    def __init__(self, name):
        self.name = name
        self.wall = []
        self.reports = []

    def add(self, seconds, fields):
        self.wall.append(seconds)
        self.reports.append(fields)
        inner = f", {float(fields['seconds']):.3f} s inside" if "seconds" in fields else ""
        log(f"  {self.name:<24} {seconds:7.3f} s{inner}")

    def median(self):
        return statistics.median(self.wall)

    def fastest(self):
        return min(self.wall)

    def slowest(self):
        return max(self.wall)

    def field_max(self, key):
        values = [float(r[key]) for r in self.reports if key in r]
        return max(values) if values else None

    def field_min(self, key):
        values = [float(r[key]) for r in self.reports if key in r]
        return min(values) if values else None

    def field_median(self, key):
        values = [float(r[key]) for r in self.reports if key in r]
        return statistics.median(values) if values else None


class Runs(dict):
    """The series of a benchmark by contender name, made on first use."""

    def __call__(self, name):
        return self.setdefault(name, Series(name))


def ratio_rounds(a, b):
    return statistics.median(x / y for x, y in zip(a.wall, b.wall))


def spread(series):
    """The median with the fastest and slowest run beside it."""
    return f"{series.median():8.3f} {series.fastest():8.3f} {series.slowest():8.3f}"


SPREAD_HEADER = f"{'median':>8} {'fastest':>8} {'slowest':>8}"


class Xvfb:
    """One X server for the window's runs, started and stopped by us."""

    def __init__(self):
        self.proc = None
        self.display = None

    def start(self):
        if not shutil.which("Xvfb"):
            return False
        for n in range(91, 120):
            if not os.path.exists(f"/tmp/.X11-unix/X{n}") and not os.path.exists(f"/tmp/.X{n}-lock"):
                self.display = f":{n}"
                break
        else:
            return False
        self.proc = subprocess.Popen(["Xvfb", self.display, "-screen", "0", "800x600x24",
                                      "-nolisten", "tcp"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(100):
            if os.path.exists(f"/tmp/.X11-unix/X{self.display[1:]}"):
                time.sleep(0.2)
                return True
            time.sleep(0.05)
        self.stop()
        return False

    def env(self):
        env = dict(os.environ, DISPLAY=self.display, QT_QPA_PLATFORM="xcb")
        env.pop("WAYLAND_DISPLAY", None)
        return env

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            self.proc.wait(timeout=10)
        self.proc = None


def make_random_file(path, size):
    chunk = 16 << 20
    with open(path, "wb") as f:
        left = size
        while left > 0:
            n = min(chunk, left)
            f.write(os.urandom(n))
            left -= n


def warm(paths):
    """Reads the files, so that they are in the page cache for the next run.

    This machine pages out memory it sees unused for a while (page cache
    included), so the inputs are read again right before every run, untimed.
    """
    for p in paths:
        with open(p, "rb", buffering=0) as f:
            while f.read(8 << 20):
                pass


def part_paths(folder, base, count):
    def digits(i):
        return f"{i:03d}" if i <= 100 else f"0{i}"
    return [os.path.join(folder, f"{base}.{digits(i)}") for i in range(1, count + 1)]


def mem_available():
    try:
        with open("/proc/meminfo") as f:
            for line in f:
                if line.startswith("MemAvailable:"):
                    return int(line.split()[1]) * 1024
    except OSError:
        pass
    return None


def gbps(size, seconds):
    return size / seconds / 1e9


def fresh_folder(path):
    shutil.rmtree(path, ignore_errors=True)
    os.mkdir(path)


def split_or_join(who, bench, src, out, parts, joined, part=BLOCK):
    """Runs one split or join contender: ours (tfs_bench) or GNU's (split -b,
    cat) at the part size `part`, from src into the folder out, or from parts
    into joined. Returns run()'s result."""
    if who == "split-ours":
        return run([bench, "split", src, out] + ([] if part == BLOCK else [str(part)]))
    if who == "split-gnu":
        return run(["split", "-b", str(part), "-d", "-a", "3", src, os.path.join(out, "file.bin.")])
    if who == "join-ours":
        return run([bench, "join", parts[-1], joined])
    assert who == "join-gnu", who
    with open(joined, "wb") as f:
        return run(["cat"] + parts, stdout=f)
