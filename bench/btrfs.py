# SPDX-License-Identifier: GPL-3.0-or-later
"""The btrfs rows: a split at a part size that is a multiple of the file
system's block size, and the join of such a set, on a loop-mounted btrfs
image, against GNU split and cat at the same size and a real copy
(cp --reflink=never); wall time and the growth of the used space. Needs root
and mkfs.btrfs; the image and its mount point are removed at the end."""

import os
import shutil
import statistics
import subprocess
import tempfile
import time

from benchlib import (GIB, SPREAD_HEADER, Runs, fresh_folder, log, part_paths, rotate, run,
                      ratio_rounds, split_or_join, spread, warm)

# 10 MiB: a multiple of every block size btrfs uses (4 KiB up to 64 KiB).
PART = 10 << 20

CONTENDERS = ("split-ours", "split-gnu", "join-ours", "join-gnu", "copy")
LABELS = {"split-ours": "ours", "split-gnu": "split -b", "join-ours": "ours",
          "join-gnu": "cat", "copy": "cp (a real copy)"}


def used_bytes(folder):
    os.sync()  # btrfs counts freed and shared space at the commit
    st = os.statvfs(folder)
    return (st.f_blocks - st.f_bfree) * st.f_frsize


class LoopBtrfs:
    """A btrfs file system in a sparse image file, mounted on a fresh folder."""

    def __init__(self, parent, size):
        self.image = None
        self.mount = None
        fd, self.image = tempfile.mkstemp(prefix="tfs-bench-btrfs-", suffix=".img", dir=parent)
        os.ftruncate(fd, size)
        os.close(fd)
        subprocess.run(["mkfs.btrfs", "-q", "-f", self.image], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        mount = tempfile.mkdtemp(prefix="tfs-bench-btrfs-")
        try:
            subprocess.run(["mount", "-o", "loop", self.image, mount], check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        except subprocess.CalledProcessError:
            os.rmdir(mount)
            raise
        self.mount = mount

    def close(self):
        if self.mount:
            for attempt in range(10):
                if subprocess.run(["umount", self.mount], stderr=subprocess.DEVNULL).returncode == 0:
                    break
                time.sleep(0.5)
            else:
                log(f"could not unmount {self.mount}; unmounting it lazily")
                subprocess.run(["umount", "-l", self.mount])
            os.rmdir(self.mount)
            self.mount = None
        if self.image:
            os.remove(self.image)
            self.image = None


def why_not():
    """Why the btrfs rows can't run here, or None."""
    if os.geteuid() != 0:
        return "mounting a loop image needs root"
    if not shutil.which("mkfs.btrfs"):
        return "mkfs.btrfs is missing (btrfs-progs, tools/install-deps)"
    return None


def measure(work, size, runs, bench, src):
    """Returns (series, space growth per contender), or None with a message."""
    reason = why_not()
    if reason:
        log(f"btrfs rows skipped: {reason}")
        return None
    try:
        fs = LoopBtrfs(work, 4 * size + GIB)
    except (subprocess.CalledProcessError, OSError) as e:
        log(f"btrfs rows skipped: the loop image could not be made or mounted ({e})")
        return None
    try:
        return rounds(fs.mount, size, runs, bench, src)
    finally:
        fs.close()


def rounds(mount, size, runs, bench, source):
    src = os.path.join(mount, "file.bin")
    joinset = os.path.join(mount, "set")
    out = os.path.join(mount, "out")
    joined = os.path.join(mount, "joined.bin")
    copy = os.path.join(mount, "copy.bin")
    log(f"btrfs: copying the test file into a loop-mounted btrfs ({mount})")
    subprocess.run(["cp", "--reflink=never", source, src], check=True)
    os.mkdir(joinset)
    run([bench, "split", src, joinset, str(PART)])
    parts = part_paths(joinset, "file.bin", -(-size // PART))
    assert all(os.path.exists(p) for p in parts), "the btrfs join set is incomplete"

    series = Runs()
    growth = {c: [] for c in CONTENDERS}
    for r in range(runs):
        log(f"btrfs round {r + 1}/{runs}")
        for who in rotate(list(CONTENDERS), r):
            fresh_folder(out)
            for p in (joined, copy):
                if os.path.exists(p):
                    os.remove(p)
            warm([src] + parts)
            before = used_bytes(mount)
            if who == "copy":
                series(who).add(*run(["cp", "--reflink=never", src, copy]))
            else:
                series(who).add(*split_or_join(who, bench, src, out, parts, joined, PART))
            growth[who].append(used_bytes(mount) - before)
            if r == 0 and who in ("join-ours", "join-gnu"):
                assert subprocess.run(["cmp", "-s", src, joined]).returncode == 0, \
                    f"the btrfs join ({who}) differs from the source"
    return series, {c: statistics.median(g) for c, g in growth.items()}


def report(result, size, runs, left_out=None):
    print()
    if result is None:
        print(f"btrfs rows: {left_out or 'skipped (' + (why_not() or 'see the log above') + ')'}.")
        return
    series, growth = result
    copy = series["copy"]
    print(f"btrfs (a loop-mounted image): parts of {PART} bytes (10 MiB, a multiple of the "
          f"block size); {runs} interleaved rounds, whole-process wall seconds; used space "
          f"grown, median.")
    print()
    print(f"{'operation':<9} {'who':<16} {SPREAD_HEADER} {'grown MiB':>10} {'of file':>8} "
          f"{'ratio':>7} {'rounds':>7} {'vs copy':>8}")
    for op, ours, gnu in (("split", "split-ours", "split-gnu"), ("join", "join-ours", "join-gnu")):
        for who in (ours, gnu):
            a = series[who]
            line = (f"{op if who == ours else '':<9} {LABELS[who]:<16} {spread(a)} "
                    f"{growth[who] / (1 << 20):10.1f} {100 * growth[who] / size:7.1f}%")
            if who == ours:
                b = series[gnu]
                line += (f" {a.median() / b.median():6.2f}x {ratio_rounds(a, b):6.2f}x "
                         f"{a.median() / copy.median():7.3f}x")
            else:
                line += f" {'':>7} {'':>7} {a.median() / copy.median():7.3f}x"
            print(line)
    print(f"{'copy':<9} {LABELS['copy']:<16} {spread(copy)} {growth['copy'] / (1 << 20):10.1f} "
          f"{100 * growth['copy'] / size:7.1f}%")


def ratios(result):
    if result is None:
        return {}
    series, _ = result
    return {op: series[ours].median() / series[gnu].median()
            for op, ours, gnu in (("split", "split-ours", "split-gnu"),
                                  ("join", "join-ours", "join-gnu"))}


def targets(result, size):
    """(text, value, met) of the shared-extent targets: at most 0.1x a real
    copy's time and less than 5 % of the file in used space, split and join."""
    if result is None:
        return []
    series, growth = result
    copy = series["copy"].median()
    out = []
    for op, who in (("split", "split-ours"), ("join", "join-ours")):
        t = series[who].median() / copy
        g = growth[who] / size
        out.append((f"btrfs {op} <= 0.1x a real copy, space < 5 %", f"{t:.3f}x, {100 * g:.1f} %",
                    t <= 0.1 and g < 0.05))
    return out
