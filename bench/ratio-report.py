#!/usr/bin/env python3
"""Ours against OpenCV from image2d_bench's JSON output, one line per pair.

Run the benchmark with --benchmark_out=run.json --benchmark_out_format=json (repetitions
give medians), then:  bench/ratio-report.py run.json [--metric cpu] [--markdown]

The benchmark registers each OpenCV baseline right after the benchmark of ours it is
measured against, with the same arguments, so a baseline pairs with the nearest earlier
benchmark of ours whose arguments match. Times are medians over the repetitions (the
single run without repetitions), in milliseconds; ratio = ours / OpenCV.
"""
import argparse
import json
import sys

UNIT_MS = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}


# Suffixes Google Benchmark appends to a name for its options, not part of the arguments.
OPTION_SUFFIXES = ("real_time", "process_time", "manual_time", "min_time:", "repeats:", "iterations:", "threads:")


def split(name):
    """'BM_Foo/Stage/0/3/real_time' -> ('BM_Foo/Stage', '0/3'): the trailing numeric arguments."""
    parts = [p for p in name.split("/") if not p.startswith(OPTION_SUFFIXES)]
    cut = len(parts)
    while cut > 1 and parts[cut - 1].lstrip("-").isdigit():
        cut -= 1
    return "/".join(parts[:cut]), "/".join(parts[cut:])


def is_baseline(base):
    return "OpenCV" in base


def timings(runs, metric):
    """Median per benchmark (in registration order) in ms, with its label."""
    key = metric + "_time"
    order, median, single, label = [], {}, {}, {}
    for run in runs:
        name = run.get("run_name", run["name"])
        if run.get("error_occurred"):
            continue
        if name not in label:
            order.append(name)
            label[name] = run.get("label", "")
        value = run[key] * UNIT_MS[run.get("time_unit", "ns")]
        if run.get("run_type") == "aggregate":
            if run.get("aggregate_name") == "median":
                median[name] = value
        else:
            single.setdefault(name, []).append(value)
    result = []
    for name in order:
        if name in median:
            result.append((name, median[name], label[name]))
        elif name in single:
            values = sorted(single[name])
            result.append((name, values[len(values) // 2], label[name]))
    return result


def pairs(results):
    """(ours, baseline) tuples: each baseline with the nearest earlier own benchmark."""
    out = []
    for i, (name, value, label) in enumerate(results):
        base, args = split(name)
        if not is_baseline(base):
            continue
        for j in range(i - 1, -1, -1):
            other, other_value, other_label = results[j]
            other_base, other_args = split(other)
            if not is_baseline(other_base) and other_args == args:
                out.append(((other, other_value, other_label), (name, value, label)))
                break
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("json", help="Google Benchmark JSON output")
    parser.add_argument("--metric", choices=["real", "cpu"], default="real",
                        help="wall time (default) or CPU time (process CPU where the benchmark measures it)")
    parser.add_argument("--markdown", action="store_true", help="print a Markdown table")
    options = parser.parse_args()
    with open(options.json) as f:
        data = json.load(f)
    rows = pairs(timings(data.get("benchmarks", []), options.metric))
    if not rows:
        sys.exit("no pairs of ours and OpenCV in " + options.json)
    context = data.get("context", {})
    load = context.get("load_avg")
    print(f"# {options.metric} time, ms, medians; load average at start: {load}")
    if options.markdown:
        print("| ours | OpenCV | size | ours ms | OpenCV ms | ratio |")
        print("|---|---|---|---|---|---|")
    for (ours, mine, label), (theirs, base, _) in rows:
        ratio = mine / base if base > 0 else float("inf")
        if options.markdown:
            print(f"| `{split(ours)[0]}` | `{split(theirs)[0]}` | {label} | {mine:.2f} | {base:.2f} | {ratio:.2f} |")
        else:
            print(f"{ours:<52} {theirs:<48} {mine:9.3f} {base:9.3f} {ratio:6.2f}")


if __name__ == "__main__":
    main()
