#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Recovery data against Debian's par2, in interleaved rounds.

    bash bench/recovery [SIZE] [--part BYTES] [--percent P] [--runs N] [--dir FOLDER]

Makes SIZE bytes of random data cut into parts of --part bytes (default: 2G in
10,000,000-byte parts, 10 %), then per round, in alternating order: our
recovery data over the parts (tfs_recovery_bench create) against
`par2 create -rP -s<part>`, and rebuilding one deleted part: ours
(tfs_recovery_bench repair) against `par2 repair`. Prints the medians with
the fastest and slowest run, ours / par2, and the machine's limit for our
work: the GF(2^16) multiply-adds and the MD5s it takes, at the throughputs
that `tfs_recovery_bench kernels` measured in the same run.
"""
import argparse, glob, os, re, shutil, statistics, subprocess, sys, tempfile, time


def size_of(text):
    m = re.fullmatch(r"(\d+)([KMG]?)", text.upper())
    if not m:
        raise SystemExit(f"not a size: {text}")
    return int(m.group(1)) << {"": 0, "K": 10, "M": 20, "G": 30}[m.group(2)]


def timed(cmd, cwd):
    """Whole-process wall seconds; for our create the time it reports itself,
    which leaves out the parts' CRC-32s that it takes first (a split hands
    them over from its copy)."""
    began = time.monotonic()
    out = subprocess.run(cmd, cwd=cwd, check=True, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                         timeout=600, text=True).stdout
    took = time.monotonic() - began
    m = re.search(r"RESULT create ([\d.]+) s", out)
    return float(m.group(1)) if m else took


def remove_par2(folder):
    for p in glob.glob(os.path.join(folder, "*.par2")) + glob.glob(os.path.join(folder, "*.1")):
        os.remove(p)


def row(name, ours, theirs):
    mo, mt = statistics.median(ours), statistics.median(theirs)
    print(f"{name:<22} ours {mo:7.3f} s ({min(ours):.3f}-{max(ours):.3f})   "
          f"par2 {mt:7.3f} s ({min(theirs):.3f}-{max(theirs):.3f})   ours/par2 {mo / mt:.3f}")
    return mo


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("size", nargs="?", default="2G")
    ap.add_argument("--part", type=int, default=10_000_000)
    ap.add_argument("--percent", type=int, default=10)
    ap.add_argument("--runs", type=int, default=7)
    ap.add_argument("--dir", default="/tmp")
    ap.add_argument("--bin", required=True)
    args = ap.parse_args()
    bench = os.path.abspath(os.path.join(args.bin, "tfs_recovery_bench"))
    size = size_of(args.size)
    work = tempfile.mkdtemp(prefix="tfs-recovery-", dir=args.dir)
    try:
        names = []
        with open("/dev/urandom", "rb") as rnd:
            left, k = size, 1
            while left > 0:
                name = f"movie.avi.{k:03d}"
                with open(os.path.join(work, name), "wb") as f:
                    n = min(left, args.part)
                    while n > 0:
                        chunk = rnd.read(min(n, 1 << 24))
                        f.write(chunk)
                        n -= len(chunk)
                names.append(name)
                left -= args.part
                k += 1
        slice_size = (args.part + 3) // 4 * 4
        ours_cmd = [bench, "create", work, "movie.avi", str(args.percent)]
        par2_cmd = ["par2", "create", "-q", "-q", f"-r{args.percent}", f"-s{slice_size}", "movie.avi.par2"] + names
        lost = names[len(names) // 2]
        original = os.path.join(work, lost)
        shutil.copyfile(original, original + ".keep")
        create = {"ours": [], "par2": []}
        repair = {"ours": [], "par2": []}
        for r in range(args.runs + 1):  # round 0 warms the page cache up, not counted
            order = ["ours", "par2"] if r % 2 == 0 else ["par2", "ours"]
            for who in order:
                remove_par2(work)
                t = timed(ours_cmd if who == "ours" else par2_cmd, work)
                os.remove(original)
                cmd = [bench, "repair", os.path.join(work, "movie.avi.par2")] if who == "ours" else \
                      ["par2", "repair", "-q", "-q", "movie.avi.par2"]
                t2 = timed(cmd, work)
                if subprocess.run(["cmp", "-s", original, original + ".keep"]).returncode != 0:
                    raise SystemExit(f"{who}: the rebuilt part differs")
                if r > 0:
                    create[who].append(t)
                    repair[who].append(t2)
        remove_par2(work)
        kernels = subprocess.run([bench, "kernels"], capture_output=True, text=True, check=True).stdout
        gf = float(re.search(r"RESULT gf16 prepared-nibbles ([\d.]+)", kernels).group(1))
        md5 = float(re.search(r"RESULT md5 ours-16-streams ([\d.]+)", kernels).group(1))
        count = max(1, (len(names) * args.percent + 50) // 100)
        print(f"{size / 2**20:.0f} MiB in {len(names)} parts of {args.part} bytes, {args.percent} %: "
              f"{count} recovery slices; {args.runs} rounds, medians (fastest-slowest)")
        print(kernels.strip())
        c = row("create", create["ours"], create["par2"])
        rp = row("repair one part", repair["ours"], repair["par2"])
        # The work on both threads, at the kernels' one-thread speeds: every
        # byte multiplied into every recovery slice, and one MD5 pass (the
        # parts' MD5s sixteen at once); reading the parts is left out.
        limit = (size * count / (gf * 1e9) + size / (md5 * 1e9)) / 2
        print(f"machine limit for create (two threads; multiply-add {gf:.2f} GB/s x {count}, "
              f"MD5 {md5:.2f} GB/s): {limit:.3f} s; ours takes {c / limit:.2f}x it")
        limit = (size / (md5 * 1e9) + size / (gf * 1e9)) / 2
        print(f"machine limit for repair (two threads; one MD5 pass, one multiply-add pass): "
              f"{limit:.3f} s; ours takes {rp / limit:.2f}x it")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
