# SPDX-License-Identifier: GPL-3.0-or-later
"""The ratios of one benchmark run as a bar chart (PNG, with matplotlib)."""

from benchlib import log

OPERATIONS = (("split", "split\nvs split -b"), ("join", "join\nvs cat"),
              ("crc-32", "CRC-32\nvs dd (read)"), ("compare", "compare\nvs cmp"))
KINDS = (("hot", "hot (page cache)", "#3b7dd8"), ("cold", "cold (page cache emptied)", "#d8873b"),
         ("btrfs", "btrfs (loop image)", "#4aa05a"))


def draw(ratios, path, title):
    """ratios: {"hot"|"cold"|"btrfs": {operation: ours / GNU}}. Returns whether
    the chart was written."""
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
        import matplotlib.ticker
    except ImportError:
        log("no chart: matplotlib is missing (python3-matplotlib, tools/install-deps)")
        return False
    kinds = [k for k in KINDS if ratios.get(k[0])]
    fig, ax = plt.subplots(figsize=(8, 4.5), dpi=100)
    width = 0.8 / max(1, len(kinds))
    values = [v for k in kinds for v in ratios[k[0]].values()] + [1.0]
    for i, (kind, label, colour) in enumerate(kinds):
        xs, ys = [], []
        for x, (op, _) in enumerate(OPERATIONS):
            if op in ratios[kind]:
                xs.append(x + (i - (len(kinds) - 1) / 2) * width)
                ys.append(ratios[kind][op])
        bars = ax.bar(xs, ys, width * 0.9, label=label, color=colour)
        for bar, y in zip(bars, ys):
            ax.annotate(f"{y:.2f}", (bar.get_x() + bar.get_width() / 2, y), ha="center",
                        va="bottom", fontsize=8, xytext=(0, 2), textcoords="offset points")
    ax.axhline(1.0, color="black", linewidth=0.8, linestyle="--")
    ax.set_xticks(range(len(OPERATIONS)))
    ax.set_xticklabels([label for _, label in OPERATIONS])
    # A logarithmic scale: shared extents make some ratios tens of times
    # larger or smaller than the others.
    ax.set_yscale("log")
    ax.set_ylim(min(values) / 1.6, max(values) * 1.6)
    ax.yaxis.set_major_formatter(matplotlib.ticker.FuncFormatter(lambda v, _: f"{v:g}x"))
    ax.set_ylabel("our time / the GNU tool's (median, log scale;\nbelow 1 we are faster)")
    ax.set_title(title, fontsize=10)
    ax.legend(fontsize=8, loc="upper left")
    fig.tight_layout()
    fig.savefig(path)
    plt.close(fig)
    return True
