#!/usr/bin/env python3
"""Writes docs/benchmarks.md and the plot of case b from the results of the
benchmark programs (JSON lines written with --tarvex_results) and the
instruction counts measured under callgrind. Standard library only."""

import argparse
import json
import math
import pathlib

PROGRAM_TITLES = {
    "bench_same_thread_emit": "a. Same-thread emit (listeners on the emitting thread)",
    "bench_queued_throughput": "b. Queued cross-thread throughput (1,000,000 messages per round)",
    "bench_blocking_round_trip": "c. Blocking round trip (100,000 sequential sends per round)",
    "bench_activity_reporting": "d. Activity reporting",
    "bench_queued_memory": "e. Memory per queued packet (1,000,000 packets waiting)",
}

# Each goal: (label, case, peer or None, test on the ratio ours/peer or on
# ours itself, description of the bound).
GOALS = [
    ("a", "a.int_1", "qt5", lambda r: r <= 1.0, "ours/qt5 <= 1"),
    ("a", "a.int_1", "signals2", lambda r: r <= 1.0, "ours/signals2 <= 1"),
    ("a", "a.int_1", "sigc", lambda r: r <= 1.5, "ours/sigc <= 1.5"),
    ("a", "a.int_4", "qt5", lambda r: r <= 1.0, "ours/qt5 <= 1"),
    ("a", "a.int_4", "signals2", lambda r: r <= 1.0, "ours/signals2 <= 1"),
    ("a", "a.int_4", "sigc", lambda r: r <= 1.5, "ours/sigc <= 1.5"),
    ("b", "b.int", "qt5", lambda r: r <= 1 / 3, "ours/qt5 <= 0.333 (3x the throughput)"),
    ("b", "b.int", "qt5_noglib", lambda r: r <= 0.75, "ours/qt5_noglib <= 0.75"),
    ("b", "b.int", "tbb_queue", lambda r: r <= 1.5, "ours/tbb_queue <= 1.5"),
    ("c", "c.pinned", "qt5", lambda r: r <= 1.0, "ours/qt5 <= 1"),
    ("c", "c.pinned", "futex", lambda r: r <= 1.2, "ours/futex <= 1.2"),
    ("d", "d.report_1", "mutex_deque", lambda r: r <= 1.5, "ours/mutex_deque <= 1.5"),
    ("d", "d.report_4", "mutex_deque", lambda r: r <= 1.5, "ours/mutex_deque <= 1.5"),
    ("d", "d.end_to_end", None, lambda v: v >= 2e6, "ours >= 2,000,000 reports/s"),
    ("e", "e.int_packets", None, lambda v: v <= 96, "ours <= 96 bytes/packet"),
]


def fmt(value):
    if value >= 1e6:
        return f"{value / 1e6:.2f}M"
    if value >= 100:
        return f"{value:.0f}"
    if value >= 10:
        return f"{value:.1f}"
    return f"{value:.2f}"


def load(path):
    cases = {}  # case -> {"program", "unit", "subjects": {subject: row}}
    order = []
    for line in pathlib.Path(path).read_text().splitlines():
        if not line.strip():
            continue
        row = json.loads(line)
        case = cases.setdefault(row["case"], {"program": row["program"],
                                              "unit": row["unit"],
                                              "subjects": {}})
        if row["case"] not in order:
            order.append(row["case"])
        case["subjects"][row["subject"]] = row
    return cases, order


def cell(row):
    return f"{fmt(row['median'])} [{fmt(row['min'])}–{fmt(row['max'])}]"


def tables(cases, order):
    out = []
    programs = []
    for name in order:
        if cases[name]["program"] not in programs:
            programs.append(cases[name]["program"])
    for program in programs:
        names = [n for n in order if cases[n]["program"] == program]
        peers = []
        for n in names:
            for s in cases[n]["subjects"]:
                if s != "ours" and s not in peers:
                    peers.append(s)
        out.append(f"### {PROGRAM_TITLES.get(program, program)}\n")
        out.append(f"Program `{program}`. Median [min–max] of the rounds; "
                   "ratio = ours / peer (below 1: ours is lower).\n")
        head = ["case", "unit", "ours"] + peers + [f"ours/{p}" for p in peers]
        out.append("| " + " | ".join(head) + " |")
        out.append("|" + "---|" * len(head))
        for n in names:
            subjects = cases[n]["subjects"]
            ours = subjects.get("ours")
            row = [n, cases[n]["unit"], cell(ours) if ours else "—"]
            row += [cell(subjects[p]) if p in subjects else "—" for p in peers]
            for p in peers:
                if ours and p in subjects and subjects[p]["median"] > 0:
                    row.append(f"{ours['median'] / subjects[p]['median']:.2f}")
                else:
                    row.append("—")
            out.append("| " + " | ".join(row) + " |")
        out.append("")
    return out


def goals(cases):
    out = ["| goal | case | bound | measured | met |", "|---|---|---|---|---|"]
    for label, case, peer, test, bound in GOALS:
        subjects = cases.get(case, {}).get("subjects", {})
        ours = subjects.get("ours")
        if not ours or (peer and peer not in subjects):
            out.append(f"| {label} | {case} | {bound} | not measured | — |")
            continue
        value = ours["median"] / subjects[peer]["median"] if peer else ours["median"]
        shown = f"{value:.2f}" if peer else fmt(value)
        out.append(f"| {label} | {case} | {bound} | {shown} | "
                   f"{'yes' if test(value) else 'no'} |")
    return out


def instructions_table(path):
    counts = json.loads(pathlib.Path(path).read_text())
    out = ["| subject | instructions per emit | ours / subject |",
           "|---|---|---|"]
    ours = counts.get("ours")
    for subject, count in counts.items():
        ratio = f"{ours / count:.2f}" if ours and subject != "ours" else "—"
        out.append(f"| {subject} | {count:.0f} | {ratio} |")
    return out


def plot(cases, path):
    """Grouped horizontal bars: messages per second for each subject of case
    b, one bar per message type."""
    kinds = [k for k in ("b.int", "b.u16string") if k in cases]
    subjects = []
    for k in kinds:
        for s in cases[k]["subjects"]:
            if s not in subjects:
                subjects.append(s)
    colours = {"b.int": "#3b6ea5", "b.u16string": "#e0913a"}
    rates = {(k, s): 1e9 / cases[k]["subjects"][s]["median"]
             for k in kinds for s in cases[k]["subjects"]}
    top = max(rates.values()) if rates else 1
    scale_max = 10 ** math.ceil(math.log10(top)) if top > 0 else 1
    if top <= scale_max / 2:
        scale_max /= 2
    left, width, bar, gap = 130, 520, 16, 14
    height = 60 + len(subjects) * (len(kinds) * bar + gap) + 40
    svg = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{left + width + 140}" '
           f'height="{height}" font-family="sans-serif" font-size="12">',
           f'<rect width="100%" height="100%" fill="white"/>',
           f'<text x="{left}" y="20" font-size="14" font-weight="bold">'
           'Case b: queued cross-thread throughput (messages/s, median)</text>']
    y = 40
    for s in subjects:
        svg.append(f'<text x="{left - 8}" y="{y + bar * len(kinds) / 2 + 4}" '
                   f'text-anchor="end">{s}</text>')
        for k in kinds:
            if (k, s) in rates:
                w = width * rates[(k, s)] / scale_max
                svg.append(f'<rect x="{left}" y="{y}" width="{w:.1f}" '
                           f'height="{bar - 2}" fill="{colours[k]}"/>')
                svg.append(f'<text x="{left + w + 4:.1f}" y="{y + bar - 5}">'
                           f'{fmt(rates[(k, s)])}/s</text>')
            y += bar
        y += gap
    for i in range(5):
        x = left + width * i / 4
        svg.append(f'<line x1="{x:.1f}" y1="36" x2="{x:.1f}" y2="{y}" '
                   'stroke="#ccc" stroke-width="1"/>')
        svg.append(f'<text x="{x:.1f}" y="{y + 14}" text-anchor="middle">'
                   f'{fmt(scale_max * i / 4)}</text>')
    legend_y = y + 30
    x = left
    for k in kinds:
        svg.append(f'<rect x="{x}" y="{legend_y - 10}" width="12" height="12" '
                   f'fill="{colours[k]}"/>')
        svg.append(f'<text x="{x + 16}" y="{legend_y}">{k[2:]}</text>')
        x += 120
    svg.append("</svg>")
    # Leave room for the legend.
    svg[0] = svg[0].replace(f'height="{height}"', f'height="{legend_y + 12}"')
    pathlib.Path(path).write_text("\n".join(svg) + "\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--results", required=True)
    parser.add_argument("--instructions")
    parser.add_argument("--command", required=True)
    parser.add_argument("--machine", default="")
    parser.add_argument("--out", required=True)
    parser.add_argument("--plot", required=True)
    args = parser.parse_args()

    cases, order = load(args.results)
    plot(cases, args.plot)
    plot_name = pathlib.Path(args.plot).name
    doc = ["# Benchmarks", "",
           "Produced by:", "", "```sh", args.command, "```", ""]
    if args.machine:
        doc += ["Machine: " + args.machine, ""]
    doc += [
        "Every program runs our code (`ours`) and its peers side by side in one "
        "run, each in at least 5 rounds randomly interleaved (Google Benchmark "
        "repetitions); every figure is the median with the min–max of the "
        "rounds. Slots of every subject do the same small work (add the "
        "argument, or a string's length, to a sum). Lower is better except "
        "for reports/s. Case a measures CPU time per emit and case d's "
        "reporting cost the reporting threads' CPU time per report; the "
        "others measure wall time from the first send to the last slot run, "
        "or resident memory.", "",
        "Read the ratios, not the absolute figures: every subject of a case "
        "ran in the same run, interleaved, on the same machine. The cross-"
        "thread cases (b, c, d) depend on how the scheduler places two or "
        "more busy threads; on a shared machine their figures, and the "
        "floors' above all, can move by a factor of two between runs, so "
        "look at the min–max spread before trusting a ratio near its bound.",
        "",
        "## Goals", ""]
    doc += goals(cases)
    doc += ["", "## Results", ""]
    doc += tables(cases, order)
    if args.instructions and pathlib.Path(args.instructions).exists():
        doc += ["### Instructions per same-thread emit (`void(int)`, one listener)",
                "",
                "Counted with `valgrind --tool=callgrind` on "
                "`bench_emit_instructions`, run with two emit counts; the "
                "difference of the totals divided by the difference of the "
                "counts.", ""]
        doc += instructions_table(args.instructions)
        doc.append("")
    doc += ["## Plot of case b", "", f"![messages per second]({plot_name})", ""]
    pathlib.Path(args.out).write_text("\n".join(doc))


if __name__ == "__main__":
    main()
