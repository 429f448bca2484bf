"""Rule merge: joins the shards' results, in input order, into folded.tsv (the columns of
stemloop-fold --format tsv, the records' own names back in place) and failures.tsv (one
line per refused record), and writes the summary and the energy-per-base plot.

Every record of every shard must come back exactly once, folded or refused, in its place;
anything else stops the merge, so a finished merge has neither duplicates nor losses.
"""

import argparse
import json
import math
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import stemloop_workflow as sw  # noqa: E402

DEFAULT_HEADER = "name\tsequence\tstructure\tenergy"
FAILURE_COLUMNS = ["name", "message", "file", "record"]
SHOWN_FAILURES = 50


def shard_lines(path):
    with open(path, "r", **sw.ENCODING) as f:
        return [line.rstrip("\n") for line in f]


def merge(shard_dir, fold_dir, out):
    shards = sw.manifest(shard_dir)
    inputs = sw.read_tsv(os.path.join(shard_dir, sw.INPUTS))
    with open(os.path.join(shard_dir, sw.SPLIT_INFO), encoding="utf-8") as f:
        split_info = json.load(f)
    paths = {int(row["file"]): row["path"] for row in inputs}

    header = None
    energy_column = None
    points = []  # (length, kcal/mol per base) of each folded record
    failures = []
    stats = []
    folded = 0
    tmp = out["folded"] + ".tmp"
    with open(tmp, "w", **sw.ENCODING) as table:
        for shard in shards:
            index = sw.read_tsv(sw.shard_index(shard_dir, shard))
            lines = shard_lines(os.path.join(fold_dir, shard + ".tsv"))
            refused = {row["id"]: row["message"]
                       for row in sw.read_tsv(os.path.join(fold_dir, shard + ".failures.tsv"))}
            with open(os.path.join(fold_dir, shard + ".stats.json"), encoding="utf-8") as f:
                stats.append(json.load(f))
            if header is None:
                header = lines[0]
                table.write(header + "\n")
                columns = header.split("\t")
                energy_column = columns.index("energy") if "energy" in columns else None
            elif lines[0] != header:
                raise SystemExit("shard %s has the header %r, not %r" % (shard, lines[0], header))
            rows = iter(lines[1:])
            row = next(rows, None)
            for record in index:
                rid = record["id"]
                fields = row.split("\t") if row is not None else None
                in_rows = fields is not None and fields[0] == rid
                if in_rows == (rid in refused):
                    raise SystemExit("shard %s: record %s is %s" % (
                        shard, rid, "both folded and refused" if in_rows else "missing"))
                if in_rows:
                    fields[0] = record["name"]
                    table.write("\t".join(fields) + "\n")
                    folded += 1
                    length = int(record["length"])
                    if energy_column is not None and length > 0:
                        points.append((length, float(fields[energy_column]) / length))
                    row = next(rows, None)
                else:
                    name = record["name"] if record["named"] == "1" else "record " + record["counter"]
                    failures.append(dict(name=name, message=refused[rid],
                                         file=paths[int(record["file"])], record=record["number"]))
            if row is not None:
                raise SystemExit("shard %s: row out of place: %r" % (shard, row))
        if header is None:
            table.write(DEFAULT_HEADER + "\n")
    sw.write_tsv_atomically(out["failures"], FAILURE_COLUMNS, failures)
    os.replace(tmp, out["folded"])

    records = sum(int(row["records"]) for row in inputs)
    if folded + len(failures) != records:
        raise SystemExit("%d records read but %d folded and %d refused"
                         % (records, folded, len(failures)))
    write_plot(out["plot"], points)
    write_summary(out, inputs, records, folded, failures, stats, split_info)


def number(value):
    return "{:,}".format(value)


def write_summary(out, inputs, records, folded, failures, stats, split_info):
    bases = sum(int(row["bases"]) for row in inputs)
    finished = time.time()
    fold_seconds = sum(s["seconds"] for s in stats)
    lines = ["stemloop workflow summary", ""]
    lines.append("inputs: %d file%s" % (len(inputs), "" if len(inputs) == 1 else "s"))
    for row in inputs:
        lines.append("  %s: %s records, %s bases"
                     % (row["path"], number(int(row["records"])), number(int(row["bases"]))))
    lines.append("records: %s (%s folded, %s failed)"
                 % (number(records), number(folded), number(len(failures))))
    lines.append("bases: %s" % number(bases))
    lines.append("failures: %s" % number(len(failures)))
    for failure in failures[:SHOWN_FAILURES]:
        lines.append("  %s (%s, record %s): %s" % (failure["name"], failure["file"],
                                                   failure["record"], failure["message"]))
    if len(failures) > SHOWN_FAILURES:
        lines.append("  ... and %s more in %s" % (number(len(failures) - SHOWN_FAILURES),
                                                  os.path.basename(out["failures"])))
    lines.append("shards: %d of up to %s bases" % (len(stats), number(split_info["shard_bases"])))
    lines.append("time: %.1f s of folding summed over the shards; %.1f s from the split's "
                 "start to the end of the merge" % (fold_seconds, finished - split_info["started"]))
    if stats:
        worst = max(stats, key=lambda s: s["peak_rss_mb"] / max(1, s["mem_mb"]))
        lines.append("memory: peak %.1f MB in shard %s, which declared %d MB"
                     % (worst["peak_rss_mb"], worst["shard"], worst["mem_mb"]))
    lines.append("results: %s, %s, %s" % tuple(
        os.path.basename(out[k]) for k in ("folded", "failures", "plot")))
    tmp = out["summary"] + ".tmp"
    with open(tmp, "w", **sw.ENCODING) as f:
        f.write("\n".join(lines) + "\n")
    os.replace(tmp, out["summary"])


def nice_ticks(low, high, count=6):
    """Round tick values covering [low, high]."""
    if high <= low:
        high = low + 1
    raw = (high - low) / count
    step = 10 ** math.floor(math.log10(raw))
    for factor in (1, 2, 2.5, 5, 10):
        if raw <= step * factor:
            step *= factor
            break
    first = math.floor(low / step) * step
    ticks = []
    value = first
    while value <= high + step * 1e-9:
        ticks.append(round(value, 10))
        value += step
    if ticks[-1] < high:
        ticks.append(round(value, 10))
    return ticks


def tick_label(value):
    value += 0.0  # no "-0"
    return ("%g" % value) if abs(value) < 1e6 else "{:,.0f}".format(value)


def log_ticks(low, high):
    """Ticks 1, 2, 5 times powers of ten covering [low, high], for a logarithmic axis."""
    ticks = []
    power = 10 ** math.floor(math.log10(low))
    while True:
        for factor in (1, 2, 5):
            value = factor * power
            if value >= low / 5 and (not ticks or ticks[-1] < high):
                ticks.append(value)
        if ticks and ticks[-1] >= high:
            break
        power *= 10
    lower = [t for t in ticks if t <= low]
    return ticks[ticks.index(lower[-1]):] if lower else ticks


def write_plot(path, points, width=720, height=480):
    """An SVG scatter plot of energy per base against length, on a logarithmic length axis
    when lengths span more than a hundredfold; past 20,000 records the points are binned
    and each bin shaded by its count."""
    left, right, top, bottom = 80, 20, 40, 60
    plot_w, plot_h = width - left - right, height - top - bottom
    xs = [p[0] for p in points] or [1, 2]
    ys = [p[1] for p in points] or [-1, 0]
    logarithmic = max(xs) >= 100 * min(xs)
    if logarithmic:
        xticks = log_ticks(min(xs), max(xs))
        fx = math.log10
    else:
        xticks = nice_ticks(0, max(xs))
        fx = float
    yticks = nice_ticks(min(min(ys), 0.0), max(max(ys), 0.0))
    x0, x1, y0, y1 = fx(xticks[0]), fx(xticks[-1]), yticks[0], yticks[-1]

    def sx(x):
        return left + (fx(x) - x0) / (x1 - x0) * plot_w

    def sy(y):
        return top + (y1 - y) / (y1 - y0) * plot_h

    out = ['<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" '
           'viewBox="0 0 %d %d" font-family="sans-serif" font-size="12">' % (width, height, width, height),
           '<rect width="100%" height="100%" fill="white"/>',
           '<text x="%d" y="24" font-size="15" text-anchor="middle">Minimum free energy per base '
           'against length (%s records)</text>' % (width // 2, number(len(points)))]
    for t in xticks:
        out.append('<line x1="%.1f" y1="%d" x2="%.1f" y2="%d" stroke="#ddd"/>' % (sx(t), top, sx(t), top + plot_h))
        out.append('<text x="%.1f" y="%d" text-anchor="middle">%s</text>' % (sx(t), top + plot_h + 18, tick_label(t)))
    for t in yticks:
        out.append('<line x1="%d" y1="%.1f" x2="%d" y2="%.1f" stroke="#ddd"/>' % (left, sy(t), left + plot_w, sy(t)))
        out.append('<text x="%d" y="%.1f" text-anchor="end">%s</text>' % (left - 6, sy(t) + 4, tick_label(t)))
    out.append('<rect x="%d" y="%d" width="%d" height="%d" fill="none" stroke="black"/>' % (left, top, plot_w, plot_h))
    out.append('<text x="%d" y="%d" text-anchor="middle">length (bases%s)</text>'
               % (left + plot_w // 2, height - 16, ", logarithmic scale" if logarithmic else ""))
    out.append('<text transform="translate(20 %d) rotate(-90)" text-anchor="middle">'
               'energy per base (kcal/mol)</text>' % (top + plot_h // 2))
    if len(points) <= 20000:
        out.append('<g fill="#1f5fa8" fill-opacity="0.5" stroke="none">')
        for x, y in points:
            out.append('<circle cx="%.1f" cy="%.1f" r="2"/>' % (sx(x), sy(y)))
        out.append('</g>')
    else:
        columns, rows = 180, 120
        cw, ch = plot_w / columns, plot_h / rows
        counts = {}
        for x, y in points:
            key = (min(columns - 1, int((sx(x) - left) / cw)), min(rows - 1, int((sy(y) - top) / ch)))
            counts[key] = counts.get(key, 0) + 1
        top_count = math.log1p(max(counts.values()))
        out.append('<g fill="#1f5fa8" stroke="none">')
        for (cx, cy), n in sorted(counts.items()):
            out.append('<rect x="%.1f" y="%.1f" width="%.2f" height="%.2f" fill-opacity="%.2f"/>'
                       % (left + cx * cw, top + cy * ch, cw, ch, 0.15 + 0.85 * math.log1p(n) / top_count))
        out.append('</g>')
    out.append('</svg>')
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write("\n".join(out) + "\n")
    os.replace(tmp, path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    for name in ("shards", "folds", "folded", "failures", "summary", "plot"):
        parser.add_argument("--" + name, required=True)
    args = parser.parse_args()
    merge(args.shards, args.folds, dict(folded=args.folded, failures=args.failures,
                                        summary=args.summary, plot=args.plot))


if __name__ == "__main__":
    main()
