# SPDX-License-Identifier: GPL-3.0-or-later
"""The cold rows: every run of every contender starts with the page cache
emptied, so that its input comes from the disk. Needs root."""

import os
import shutil

from benchlib import (SPREAD_HEADER, Runs, can_drop_cache, drop_cache, fresh_folder, gbps, log,
                      rotate, run, ratio_rounds, split_or_join, spread)

# The operations and their contenders: (operation, ours, the GNU tool, its label).
PAIRS = (("split", "split-ours", "split-gnu", "split -b"),
         ("join", "join-ours", "join-gnu", "cat"),
         ("crc-32", "crc-ours", "read-dd", "dd bs=1M"),
         ("compare", "compare-ours", "compare-gnu", "cmp"))


def measure(work, size, runs, bench, src, copy, parts):
    """Returns the series of the cold runs, or None (with a message) when the
    page cache can't be dropped here."""
    if not can_drop_cache():
        log("cold rows skipped: emptying the page cache (/proc/sys/vm/drop_caches) needs root")
        return None
    out = os.path.join(work, "cold-out")
    joined = os.path.join(work, "cold-joined.bin")
    # Started after each drop, so that no run pays for loading its program.
    programs = ([bench], ["split", "--version"], ["cat", "--version"], ["dd", "--version"],
                ["cmp", "--version"])
    series = Runs()
    log(f"cold: {runs} rounds, the page cache emptied before every run")
    contenders = [c for _, ours, gnu, _ in PAIRS for c in (ours, gnu)]
    for r in range(runs):
        log(f"cold round {r + 1}/{runs}")
        for who in rotate(contenders, r):
            fresh_folder(out)
            if os.path.exists(joined):
                os.remove(joined)
            drop_cache(programs)
            if who.startswith(("split", "join")):
                series(who).add(*split_or_join(who, bench, src, out, parts, joined))
            elif who == "crc-ours":
                series(who).add(*run([bench, "crc", src]))
            elif who == "read-dd":
                series(who).add(*run(["dd", f"if={src}", "of=/dev/null", "bs=1M"]))
            elif who == "compare-ours":
                series(who).add(*run([bench, "compare", src, copy]))
                assert series(who).reports[-1].get("identical") == "1"
            else:
                series(who).add(*run(["cmp", src, copy]))
    shutil.rmtree(out, ignore_errors=True)
    if os.path.exists(joined):
        os.remove(joined)
    return series


def report(series, size, runs, left_out=None):
    print()
    if series is None:
        print(f"Cold rows: {left_out or 'skipped (emptying the page cache needs root)'}.")
        return
    print(f"Cold: the page cache emptied before every run of every contender (the programs "
          f"loaded again after it); {runs} interleaved rounds, whole-process wall seconds.")
    print()
    print(f"{'operation':<9} {'who':<12} {SPREAD_HEADER} {'GB/s':>7} {'ratio':>7} {'rounds':>7} "
          f"{'gap max':>9} {'gap p99':>9} {'peak RSS':>8}")
    for op, ours, gnu, label in PAIRS:
        a, b = series[ours], series[gnu]
        print(f"{op:<9} {'ours':<12} {spread(a)} {gbps(size, a.median()):7.2f} "
              f"{a.median() / b.median():6.2f}x {ratio_rounds(a, b):6.2f}x "
              f"{a.field_max('gap_max_ms'):9.2f} {a.field_max('gap_p99_ms'):9.3f} "
              f"{a.field_max('peak_rss_kib') / 1024:8.1f}")
        print(f"{'':<9} {label:<12} {spread(b)} {gbps(size, b.median()):7.2f}")


def ratios(series):
    """Ours / the GNU tool per operation, medians, for the chart and the targets."""
    if series is None:
        return {}
    return {op: series[ours].median() / series[gnu].median() for op, ours, gnu, _ in PAIRS}
