#!/usr/bin/env python3
"""Times the engines against GNU tools on one test file; started by bench/run.

Each operation of ours runs in tfs_bench (the engine library with a
QCoreApplication, the window's block sizes, a progress hook and one
processEvents per block) and is paired with a GNU tool on the same data. The
pairs run interleaved, round after round; the table shows medians of the wall
time of whole processes, the ratio of the medians and the median of the
per-round ratios, plus the longest and 99th-percentile gap between two
event-loop turns and the peak resident memory that tfs_bench measured itself.
"""

import argparse
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

BLOCK = 10_000_000
GIB = 1 << 30


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


def rotate(items, r):
    """The contenders of a group in the order of round r: each goes first in turn."""
    r %= len(items)
    return items[r:] + items[:r]


def run(cmd, stdout=subprocess.PIPE, env=None, cwd=None):
    """Runs one command; returns (wall seconds, RESULT fields or {})."""
    start = time.perf_counter()
    proc = subprocess.run(cmd, stdout=stdout, stderr=subprocess.PIPE, env=env, cwd=cwd)
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

    def field_max(self, key):
        values = [float(r[key]) for r in self.reports if key in r]
        return max(values) if values else None

    def field_median(self, key):
        values = [float(r[key]) for r in self.reports if key in r]
        return statistics.median(values) if values else None


def ratio_rounds(a, b):
    return statistics.median(x / y for x, y in zip(a.wall, b.wall))


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


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("size", nargs="?", type=parse_size, default=2 * GIB,
                    help="test file size, e.g. 2G (default), 512M, 1073741824")
    ap.add_argument("--runs", type=int, default=5, help="rounds per operation (at least 5)")
    ap.add_argument("--bin", required=True, help="folder holding tfs_bench and tfs_window_bench")
    ap.add_argument("--dir", default=None, help="where to put the test files (default: /tmp)")
    args = ap.parse_args()
    runs = max(args.runs, 5)
    size = args.size
    bench = os.path.join(args.bin, "tfs_bench")
    window_bench = os.path.join(args.bin, "tfs_window_bench")

    parent = args.dir or tempfile.gettempdir()
    free = shutil.disk_usage(parent).free
    parts_total = size + size + size + size + size  # source, copy, join set, one split, one join
    if free < parts_total + (1 << 30):
        raise SystemExit(f"not enough free space in {parent}: {free} bytes, "
                         f"{parts_total + (1 << 30)} needed")
    available = mem_available()
    if available is not None and available < 4 * size + GIB:
        log(f"warning: {available} bytes of memory available; the source, its copy, the part "
            f"set and one output ({4 * size} bytes) may not all stay in the page cache, and "
            f"runs that read from the disk are slower")
    work = tempfile.mkdtemp(prefix="tfs-bench-", dir=parent)
    xvfb = Xvfb()
    try:
        return measure(work, size, runs, bench, window_bench, xvfb)
    finally:
        xvfb.stop()
        shutil.rmtree(work, ignore_errors=True)


def measure(work, size, runs, bench, window_bench, xvfb):
    src = os.path.join(work, "file.bin")
    copy = os.path.join(work, "copy.bin")
    joinset = os.path.join(work, "set")
    out = os.path.join(work, "out")
    joined = os.path.join(work, "joined.bin")
    os.mkdir(joinset)

    log(f"making {size} bytes of random data in {work}")
    make_random_file(src, size)
    shutil.copyfile(src, copy)
    run([bench, "split", src, joinset])
    count = -(-size // BLOCK)
    parts = part_paths(joinset, "file.bin", count)
    assert all(os.path.exists(p) for p in parts), "the join set is incomplete"
    drop_dirty()
    warm([src, copy] + parts)
    warm([src, copy] + parts)
    loads = [load()]

    have_window = xvfb.start()
    if not have_window:
        log("no Xvfb: the window's figures are left out")

    def fresh_out():
        shutil.rmtree(out, ignore_errors=True)
        os.mkdir(out)

    series = {}

    def s(name):
        return series.setdefault(name, Series(name))

    # The rounds: every contender of a group once per round, in turn.
    log(f"{runs} rounds; load average {load():.2f}")
    for r in range(runs):
        log(f"round {r + 1}/{runs}, load {load():.2f}")
        loads.append(load())
        # Split
        for who in rotate(["split-ours", "split-ours-nochecks", "split-gnu", "split-window"], r):
            fresh_out()
            drop_dirty()
            warm([src])
            if who == "split-ours":
                s(who).add(*run([bench, "split", src, out]))
            elif who == "split-ours-nochecks":
                s(who).add(*run([bench, "split", src, out],
                                env=dict(os.environ, TFS_BENCH_CHECKS="off")))
            elif who == "split-gnu":
                s(who).add(*run(["split", "-b", str(BLOCK), "-d", "-a", "3", src,
                                 os.path.join(out, "file.bin.")]))
            elif have_window:
                s(who).add(*run([window_bench, "split", src, out], env=xvfb.env()))
        shutil.rmtree(out, ignore_errors=True)
        # Join, and what the event-loop turn costs in it
        for who in rotate(["join-ours", "join-gnu", "join-ours-qtdispatcher", "join-ours-noturn",
                           "join-ours-checked"], r):
            drop_dirty()
            warm(parts)
            if who == "join-gnu":
                with open(joined, "wb") as f:
                    s(who).add(*run(["cat"] + parts, stdout=f))
            else:
                env = dict(os.environ)
                if who.endswith("qtdispatcher"):
                    env["QT_NO_GLIB"] = "1"
                if who.endswith("noturn"):
                    env["TFS_BENCH_YIELD"] = "none"
                if who.endswith("checked"):
                    env["TFS_BENCH_CHECKS"] = "on"
                s(who).add(*run([bench, "join", parts[-1], joined], env=env))
                if len(s(who).wall) == 1 and who == "join-ours":
                    assert subprocess.run(["cmp", "-s", src, joined]).returncode == 0, \
                        "the joined file differs from the source"
            os.remove(joined)
        # CRC-32 and the read ceiling
        for who in rotate(["crc-ours", "crc-zlib", "read-dd", "crc-reference"], r):
            warm([src])
            if who == "crc-ours":
                s(who).add(*run([bench, "crc", src]))
            elif who == "crc-zlib":
                code = ("import sys,zlib\nc=0\nf=open(sys.argv[1],'rb',buffering=0)\n"
                        "while True:\n b=f.read(1<<20)\n if not b: break\n c=zlib.crc32(b,c)\n"
                        "print('RESULT crc=%08x'%c)")
                s(who).add(*run([sys.executable, "-c", code, src]))
            elif who == "read-dd":
                s(who).add(*run(["dd", f"if={src}", "of=/dev/null", "bs=1M"]))
            elif r < 3 or size <= GIB:  # slow: three rounds on big files
                s(who).add(*run([bench, "crc-reference", src]))
        # Comparison
        for who in rotate(["compare-ours", "compare-gnu"], r):
            warm([src, copy])
            if who == "compare-ours":
                s(who).add(*run([bench, "compare", src, copy]))
            else:
                s(who).add(*run(["cmp", src, copy]))
        # Start-up to the first paint
        if have_window:
            started = time.time()
            seconds, fields = run([window_bench, "startup"], env=xvfb.env())
            fields["startup_ms"] = (int(fields["first_paint_epoch_us"]) / 1e6 - started) * 1000
            s("startup").add(seconds, fields)
    loads.append(load())

    # Sanity: the same CRC from all three, both comparisons "identical".
    crcs = {series[n].reports[0].get("crc") for n in ("crc-ours", "crc-zlib", "crc-reference")}
    assert len(crcs) == 1, f"CRC values differ: {crcs}"
    assert all(r.get("identical") == "1" for r in series["compare-ours"].reports)

    report(series, size, runs, loads, have_window)
    return 0


def report(series, size, runs, loads, have_window):
    def row(op, ours, theirs, label):
        a, b = series[ours], series[theirs]
        gap_max = a.field_max("gap_max_ms")
        gap_p99 = a.field_max("gap_p99_ms")
        rss = a.field_max("peak_rss_kib")
        print(f"{op:<9} {'ours':<16} {a.median():8.3f} {gbps(size, a.median()):7.2f} "
              f"{a.median() / b.median():6.2f}x {ratio_rounds(a, b):6.2f}x "
              f"{gap_max:9.2f} {gap_p99:9.3f} {rss / 1024:8.1f}")
        print(f"{'':<9} {label:<16} {b.median():8.3f} {gbps(size, b.median()):7.2f}")

    print()
    print(f"Test file: {size} bytes of random data ({size / GIB:.2f} GiB), hot in the page cache; "
          f"{runs} interleaved rounds, medians of whole-process wall times.")
    print(f"Load average during the runs: {min(loads):.2f} to {max(loads):.2f} "
          f"(2 cores; others may be compiling).")
    print()
    print(f"{'operation':<9} {'who':<16} {'seconds':>8} {'GB/s':>7} {'ratio':>7} {'rounds':>7} "
          f"{'gap max':>9} {'gap p99':>9} {'peak RSS':>8}")
    print(f"{'':<9} {'':<16} {'':>8} {'':>7} {'med/med':>7} {'med':>7} "
          f"{'ms':>9} {'ms':>9} {'MiB':>8}")
    row("split", "split-ours", "split-gnu", "split -b")
    row("join", "join-ours", "join-gnu", "cat")
    row("crc-32", "crc-ours", "crc-zlib", "python zlib")
    ref = series["crc-reference"]
    print(f"{'':<9} {'Crc32Update':<16} {ref.median():8.3f} {gbps(size, ref.median()):7.2f}")
    dd = series["read-dd"]
    print(f"{'':<9} {'dd bs=1M':<16} {dd.median():8.3f} {gbps(size, dd.median()):7.2f}")
    row("compare", "compare-ours", "compare-gnu", "cmp")
    print()
    crc = series["crc-ours"]
    kernel = crc.reports[0].get("kernel", "?")
    print(f"CRC-32 ({kernel}): {gbps(size, crc.median()) / gbps(size, dd.median()):.2f}x the dd "
          f"read speed (target >= 0.6); {ref.median() / crc.median():.1f}x faster than "
          f"Crc32Update; {series['crc-zlib'].median() / crc.median():.2f}x faster than zlib.")
    print()
    print("The engine's own time (inside tfs_bench, no process start), medians:")
    for name in ("split-ours", "join-ours", "crc-ours", "compare-ours"):
        a = series[name]
        secs = a.field_median("seconds")
        print(f"  {name[:-5]:<8} {secs:7.3f} s  {gbps(size, secs):6.2f} GB/s  "
              f"{int(a.field_median('turns'))} event-loop turns, "
              f"{int(a.field_median('progress_changes'))} gauge changes")
    print()
    print("What the join's 10,000-byte event-loop turns cost (engine time, medians):")
    base = series["join-ours-noturn"].field_median("seconds")
    for name, label in (("join-ours", "processEvents, glib dispatcher (default)"),
                        ("join-ours-qtdispatcher", "processEvents, QT_NO_GLIB=1"),
                        ("join-ours-noturn", "no event-loop turn at all")):
        secs = series[name].field_median("seconds")
        print(f"  {label:<42} {secs:7.3f} s  ({(secs - base) * 1e6 / max(1, int(series[name].field_median('turns'))):5.2f} "
              f"us per turn over none)")
    print()
    print("Check files (engine time, medians; target <= 1.1 each):")
    for name, without, label in (("split-ours", "split-ours-nochecks", "split taking each part's CRC-32"),
                                 ("join-ours-checked", "join-ours", "join checking each part's CRC-32")):
        w, wo = series[name].field_median("seconds"), series[without].field_median("seconds")
        print(f"  {label:<34} {w:7.3f} s vs {wo:7.3f} s without: {w / wo:.2f}x "
              f"(rounds {ratio_rounds(series[name], series[without]):.2f}x)")
    joined_crc = series["join-ours-checked"].reports[0].get("crc")
    assert joined_crc == crc.reports[0].get("crc"), "the join's combined CRC-32 differs from the file's"
    if have_window:
        print()
        st = series["startup"]
        ms = [r["startup_ms"] for r in st.reports]
        print(f"Window start-up, process start to the first paint (Xvfb): median "
              f"{statistics.median(ms):.0f} ms, longest {max(ms):.0f} ms (target <= 300 ms)")
        w = series["split-window"]
        wsecs = w.field_median("seconds")
        osecs = series["split-ours"].field_median("seconds")
        print(f"Split from the window (TForm1::splitfile, Xvfb): {wsecs:.3f} s vs "
              f"{osecs:.3f} s in tfs_bench: {wsecs / osecs:.2f}x (target <= 1.1); whole "
              f"process {w.median():.3f} s; peak RSS {w.field_max('peak_rss_kib') / 1024:.1f} MiB")


if __name__ == "__main__":
    sys.exit(main())
