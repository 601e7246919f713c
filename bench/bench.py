#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Times the engines against GNU tools on one test file; started by bench/run.

Each operation of ours runs in tfs_bench (the engine library with a
QCoreApplication, the window's block sizes, a progress hook and one
processEvents per block) and is paired with a GNU tool on the same data. The
pairs run interleaved, round after round; the table shows medians of the wall
time of whole processes with the fastest and slowest run beside them, the
ratio of the medians and the median of the per-round ratios, plus the longest
and 99th-percentile gap between two event-loop turns and the peak resident
memory that tfs_bench measured itself. Then the same operations with the page
cache emptied before every run (cold.py), the split and join on a
loop-mounted btrfs (btrfs.py), the targets met or not, and the ratios as a bar
chart (chart.py).
"""

import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

import btrfs
import chart
import cold
from benchlib import (BLOCK, GIB, SPREAD_HEADER, Runs, Xvfb, drop_dirty, fresh_folder, gbps,
                      load, log, make_random_file, mem_available, parse_size, part_paths,
                      ratio_rounds, rotate, run, split_or_join, spread, warm)

def main():
    began = time.time()
    # A benchmark stopped from outside still unmounts and removes what it made.
    for sig in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, lambda number, frame: sys.exit(128 + number))
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("size", nargs="?", type=parse_size, default=2 * GIB,
                    help="test file size, e.g. 2G (default), 512M, 1073741824")
    ap.add_argument("--runs", type=int, default=7, help="rounds per operation (default 7, at least 3)")
    ap.add_argument("--bin", required=True, help="folder holding tfs_bench and tfs_window_bench")
    ap.add_argument("--dir", default=None, help="where to put the test files (default: /tmp)")
    ap.add_argument("--no-cold", action="store_true", help="leave out the cold rows")
    ap.add_argument("--no-btrfs", action="store_true", help="leave out the btrfs rows")
    ap.add_argument("--chart", default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                    "ratios.png"),
                    help="where to write the bar chart of the ratios (default bench/ratios.png)")
    args = ap.parse_args()
    runs = max(args.runs, 3)
    size = args.size
    bench = os.path.join(args.bin, "tfs_bench")
    window_bench = os.path.join(args.bin, "tfs_window_bench")

    parent = args.dir or tempfile.gettempdir()
    free = shutil.disk_usage(parent).free
    # source, copy, join set, one split, one join; the btrfs image holds three more
    needed = (5 + (0 if args.no_btrfs else 3)) * size + GIB
    if free < needed:
        raise SystemExit(f"not enough free space in {parent}: {free} bytes, {needed} needed")
    available = mem_available()
    if available is not None and available < 4 * size + GIB:
        log(f"warning: {available} bytes of memory available; the source, its copy, the part "
            f"set and one output ({4 * size} bytes) may not all stay in the page cache, and "
            f"runs that read from the disk are slower")
    work = tempfile.mkdtemp(prefix="tfs-bench-", dir=parent)
    xvfb = Xvfb()
    try:
        return measure(work, size, runs, bench, window_bench, xvfb, args, began)
    finally:
        xvfb.stop()
        shutil.rmtree(work, ignore_errors=True)


def measure(work, size, runs, bench, window_bench, xvfb, args, began):
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

    counted = Runs()

    # The rounds: every contender of a group once per round, in turn.
    # Round 0 warms up and is not counted: the first copies after the test
    # files were made write into memory the machine has not used for a while
    # (on a virtual machine the host may have taken it back). They were up to
    # five times slower for every contender, and the first round always
    # starts with the same one.
    log(f"{runs} rounds after a warm-up round; load average {load():.2f}")
    for r in range(-1, runs):
        log(f"round {r + 1}/{runs}{' (warm-up, not counted)' if r < 0 else ''}, "
            f"load {load():.2f}")
        s = Runs() if r < 0 else counted
        if r >= 0:
            loads.append(load())
        # Split
        for who in rotate(["split-ours", "split-ours-nochecks", "split-gnu"], r):
            fresh_folder(out)
            drop_dirty()
            warm([src])
            if who in ("split-ours", "split-gnu"):
                s(who).add(*split_or_join(who, bench, src, out, parts, joined))
            else:
                s(who).add(*run([bench, "split", src, out],
                                env=dict(os.environ, TFS_BENCH_CHECKS="off")))
        shutil.rmtree(out, ignore_errors=True)
        # Join, and what the event-loop turn costs in it
        for who in rotate(["join-ours", "join-gnu", "join-ours-qtdispatcher", "join-ours-noturn",
                           "join-ours-checked"], r):
            drop_dirty()
            warm(parts)
            if who == "join-gnu":
                s(who).add(*split_or_join(who, bench, src, out, parts, joined))
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
            elif 0 <= r < 3 or size <= GIB:  # slow: three rounds on big files
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
    s = counted
    if have_window:
        window_pairs(s, 2 * runs, bench, window_bench, xvfb, src, out, parts, joined)
    loads.append(load())
    xvfb.stop()

    # Sanity: the same CRC from all three, both comparisons "identical".
    crcs = {s[n].reports[0].get("crc") for n in ("crc-ours", "crc-zlib", "crc-reference")}
    assert len(crcs) == 1, f"CRC values differ: {crcs}"
    assert all(r.get("identical") == "1" for r in s["compare-ours"].reports)

    colds = None if args.no_cold else cold.measure(work, size, runs, bench, src, copy, parts)
    loads.append(load())
    # The page cache's copies of the test files are no longer needed: the
    # btrfs image needs the room.
    for p in [copy] + parts:
        os.remove(p)
    btrfs_result = None if args.no_btrfs else btrfs.measure(work, size, runs, bench, src)
    loads.append(load())

    report(s, size, runs, loads, have_window)
    cold.report(colds, size, runs, "left out (--no-cold)" if args.no_cold else None)
    btrfs.report(btrfs_result, size, runs, "left out (--no-btrfs)" if args.no_btrfs else None)
    ratios = {"hot": hot_ratios(s), "cold": cold.ratios(colds), "btrfs": btrfs.ratios(btrfs_result)}
    targets(s, colds, btrfs_result, size, have_window)
    title = (f"{size / GIB:.2f} GiB file, medians of {runs} interleaved runs, load "
             f"{min(loads):.1f}-{max(loads):.1f} on {os.cpu_count()} cores, "
             f"{time.strftime('%Y-%m-%d', time.gmtime())}")
    if chart.draw(ratios, args.chart, title):
        print(f"\nThe ratios as a bar chart: {args.chart}")
    print(f"The whole benchmark took {(time.time() - began) / 60:.1f} minutes.")
    return 0


# A gauge paints at most once a frame (16 ms), however often the engine moves it.
FRAMES_PER_SECOND = 1000 / 16


def gauge_paint_rate(report):
    """Paints a second of a window run's gauge, beyond its first and last."""
    return max(0, int(report["gauge_paints"]) - 2) / max(float(report["seconds"]), 1e-9)


def window_pairs(s, pairs, bench, window_bench, xvfb, src, out, parts, joined):
    """The split and join from the window, each run right before or after the
    same operation in tfs_bench (the order alternates). The window costs a few
    per cent, less than single runs on a shared machine vary, so the two are
    timed side by side and twice as often as the other rows."""
    log(f"the window against tfs_bench: {pairs} alternating pairs of splits and of joins")
    for p in range(pairs):
        for who in rotate(["split-paired", "split-window"], p):
            fresh_folder(out)
            drop_dirty()
            warm([src])
            tool = window_bench if who == "split-window" else bench
            s(who).add(*run([tool, "split", src, out], env=xvfb.env()))
        for who in rotate(["join-paired", "join-window"], p):
            fresh_folder(out)
            drop_dirty()
            warm(parts)
            if who == "join-window":
                s(who).add(*run([window_bench, "join", parts[-1], out], env=xvfb.env()))
            else:
                s(who).add(*run([bench, "join", parts[-1], joined]))
                os.remove(joined)
    shutil.rmtree(out, ignore_errors=True)


def hot_ratios(s):
    return {"split": s["split-ours"].median() / s["split-gnu"].median(),
            "join": s["join-ours"].median() / s["join-gnu"].median(),
            "crc-32": s["crc-ours"].median() / s["read-dd"].median(),
            "compare": s["compare-ours"].median() / s["compare-gnu"].median()}


def report(series, size, runs, loads, have_window):
    def row(op, ours, theirs, label):
        a, b = series[ours], series[theirs]
        gap_max = a.field_max("gap_max_ms")
        gap_p99 = a.field_max("gap_p99_ms")
        rss = a.field_max("peak_rss_kib")
        print(f"{op:<9} {'ours':<12} {spread(a)} {gbps(size, a.median()):7.2f} "
              f"{a.median() / b.median():6.2f}x {ratio_rounds(a, b):6.2f}x "
              f"{gap_max:9.2f} {gap_p99:9.3f} {rss / 1024:8.1f}")
        other(label, b)

    def other(label, b):
        print(f"{'':<9} {label:<12} {spread(b)} {gbps(size, b.median()):7.2f}")

    print()
    print(f"Test file: {size} bytes of random data ({size / GIB:.2f} GiB), hot in the page cache; "
          f"{runs} interleaved rounds, whole-process wall seconds.")
    print(f"Load average during the runs: {min(loads):.2f} to {max(loads):.2f} "
          f"({os.cpu_count()} cores; others may be compiling).")
    print()
    print(f"{'operation':<9} {'who':<12} {SPREAD_HEADER} {'GB/s':>7} {'ratio':>7} {'rounds':>7} "
          f"{'gap max':>9} {'gap p99':>9} {'peak RSS':>8}")
    print(f"{'':<9} {'':<12} {'':>8} {'':>8} {'':>8} {'':>7} {'med/med':>7} {'med':>7} "
          f"{'ms':>9} {'ms':>9} {'MiB':>8}")
    row("split", "split-ours", "split-gnu", "split -b")
    row("join", "join-ours", "join-gnu", "cat")
    row("crc-32", "crc-ours", "read-dd", "dd bs=1M")
    other("zlib", series["crc-zlib"])
    ref = series["crc-reference"]
    other("crc32Update", ref)
    row("compare", "compare-ours", "compare-gnu", "cmp")
    print()
    crc = series["crc-ours"]
    dd = series["read-dd"]
    kernel = crc.reports[0].get("kernel", "?")
    print(f"CRC-32 ({kernel}): {dd.median() / crc.median():.2f}x the dd read speed; "
          f"{ref.median() / crc.median():.1f}x faster than crc32Update; "
          f"{series['crc-zlib'].median() / crc.median():.2f}x faster than python's zlib.")
    print()
    print("The engine's own time (inside tfs_bench, no process start), medians:")
    for name in ("split-ours", "join-ours", "crc-ours", "compare-ours"):
        a = series[name]
        secs = a.field_median("seconds")
        print(f"  {name[:-5]:<8} {secs:7.3f} s  {gbps(size, secs):6.2f} GB/s  "
              f"{int(a.field_median('turns'))} event-loop turns, "
              f"{int(a.field_median('progress_changes'))} gauge changes")
    print()
    print("What the join's event-loop turns cost (engine time, medians):")
    base = series["join-ours-noturn"].field_median("seconds")
    for name, label in (("join-ours", "processEvents, glib dispatcher (default)"),
                        ("join-ours-qtdispatcher", "processEvents, QT_NO_GLIB=1"),
                        ("join-ours-noturn", "no event-loop turn at all")):
        secs = series[name].field_median("seconds")
        turns = max(1, int(series[name].field_median("turns")))
        print(f"  {label:<42} {secs:7.3f} s  ({(secs - base) * 1e6 / turns:5.2f} "
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
        for op, handler in (("split", "MainWindow::runSplit"), ("join", "the Join button, startJoin")):
            w, o = series[f"{op}-window"], series[f"{op}-paired"]
            wsecs, osecs = w.field_median("seconds"), o.field_median("seconds")
            print(f"{op.capitalize()} from the window ({handler}, Xvfb): {wsecs:.3f} s "
                  f"({w.field_min('seconds'):.3f}-{w.field_max('seconds'):.3f}) vs {osecs:.3f} s "
                  f"({o.field_min('seconds'):.3f}-{o.field_max('seconds'):.3f}) in tfs_bench, "
                  f"{len(w.wall)} pairs: {wsecs / osecs:.2f}x (target <= 1.1); whole "
                  f"process {w.median():.3f} s; peak RSS {w.field_max('peak_rss_kib') / 1024:.1f} MiB")
            rates = sorted(gauge_paint_rate(r) for r in w.reports)
            print(f"  its gauge painted {statistics.median(rates):.0f} times a second "
                  f"({rates[0]:.0f}-{rates[-1]:.0f}; at most {FRAMES_PER_SECOND:.1f})")


def targets(s, colds, btrfs_result, size, have_window):
    """Each target of the benchmark, the figure measured and whether it is met."""
    rows = []

    def ratio(a, b):
        return s[a].median() / s[b].median()

    rows.append(("split <= 0.8x split (hot)", f"{ratio('split-ours', 'split-gnu'):.2f}x",
                 ratio("split-ours", "split-gnu") <= 0.8))
    rows.append(("split's slowest run <= split's slowest",
                 f"{s['split-ours'].slowest():.3f} s vs {s['split-gnu'].slowest():.3f} s",
                 s["split-ours"].slowest() <= s["split-gnu"].slowest()))
    rows.append(("join <= 0.8x cat (hot)", f"{ratio('join-ours', 'join-gnu'):.2f}x",
                 ratio("join-ours", "join-gnu") <= 0.8))
    speed = s["read-dd"].median() / s["crc-ours"].median()
    rows.append(("CRC-32 >= 0.9x the dd read speed (hot)", f"{speed:.2f}x", speed >= 0.9))
    rows.append(("compare <= 0.5x cmp (hot)", f"{ratio('compare-ours', 'compare-gnu'):.2f}x",
                 ratio("compare-ours", "compare-gnu") <= 0.5))
    if colds is not None:
        for op, limit in (("split", 1.0), ("join", 1.0), ("crc-32", 1.1), ("compare", 0.8)):
            v = cold.ratios(colds)[op]
            rows.append((f"{op} <= {limit}x the GNU tool (cold)", f"{v:.2f}x", v <= limit))
    rows += btrfs.targets(btrfs_result, size)
    ops = ("split-ours", "join-ours", "crc-ours", "compare-ours")
    every = [(f"{n[:-5]}, hot", s[n]) for n in ops]
    if colds is not None:
        every += [(f"{n[:-5]}, cold", colds[n]) for n in ops]
    gap, where = max((x.field_max("gap_max_ms"), label) for label, x in every)
    rows.append(("event-loop gaps <= 50 ms (every operation, hot and cold)",
                 f"{gap:.1f} ms ({where})", gap <= 50))
    rss = max(x.field_max("peak_rss_kib") for _, x in every) / 1024
    rows.append(("peak memory < 64 MiB (tfs_bench)", f"{rss:.1f} MiB", rss < 64))
    if have_window:
        ms = max(r["startup_ms"] for r in s["startup"].reports)
        rows.append(("window shown within 300 ms (longest run)", f"{ms:.0f} ms", ms <= 300))
        for op in ("split", "join"):
            w = s[f"{op}-window"].field_median("seconds") / s[f"{op}-paired"].field_median("seconds")
            rows.append((f"the window's {op} <= 1.1x tfs_bench's", f"{w:.2f}x", w <= 1.1))
        paints = max(gauge_paint_rate(r) for op in ("split", "join")
                     for r in s[f"{op}-window"].reports)
        rows.append((f"the gauge paints <= {FRAMES_PER_SECOND:.1f} times a second (busiest run)",
                     f"{paints:.1f}", paints <= FRAMES_PER_SECOND))
        rss = max(s[f"{op}-window"].field_max("peak_rss_kib") for op in ("split", "join")) / 1024
        rows.append(("peak memory < 64 MiB (the window)", f"{rss:.1f} MiB", rss < 64))
    print()
    print("Targets:")
    for text, value, met in rows:
        print(f"  {text:<58} {value:>24}  {'met' if met else 'NOT MET'}")


if __name__ == "__main__":
    sys.exit(main())
