#!/usr/bin/env python3
"""Runs benchmark programs several times and prints their figures as a Markdown table.

  bench/table.py [--runs N] [--cpus 6,7] [--filter REGEX] [--min-time S] PROGRAM...

Each program runs N times (default 3), each run with 3 repetitions in random interleaving, on
the given processors (taskset). A row shows the median over all repetitions of the wall-clock
time, the spread (lowest and highest), the whole-process CPU time per item when the benchmark
reports it, and its other counters. Ratios against a peer are printed after the table for the
benchmarks named <group>/<side>: each side named "ours..." against each other side of the same
group, computed per repetition so that load that hits both sides alike cancels, then the median
and spread.
"""

import argparse
import json
import re
import statistics
import subprocess
import sys
from collections import defaultdict


def run(program, args):
    cmd = []
    if args.cpus:
        cmd += ["taskset", "-c", args.cpus]
    cmd += [program, "--benchmark_format=json", "--benchmark_repetitions=3",
            "--benchmark_enable_random_interleaving=true", f"--benchmark_min_time={args.min_time}"]
    if args.filter:
        cmd.append(f"--benchmark_filter={args.filter}")
    out = subprocess.run(cmd, check=True, capture_output=True, text=True).stdout
    return json.loads(out)["benchmarks"] if out.strip() else []


def unit_ms(b, key):
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b.get("time_unit", "ns")]
    return b[key] * scale


def fmt(x):
    return f"{x:.3g}" if x < 100 else f"{x:.0f}"


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--runs", type=int, default=3)
    p.add_argument("--cpus", default="")
    p.add_argument("--filter", default="")
    p.add_argument("--min-time", default="0.3")
    p.add_argument("programs", nargs="+")
    args = p.parse_args()

    samples = defaultdict(list)   # name -> [(real ms, cpu counter, counters)]
    order = []
    for program in args.programs:
        for _ in range(args.runs):
            for b in run(program, args):
                if b.get("run_type") != "iteration" or b.get("error_occurred"):
                    continue
                # Google Benchmark's suffixes ("/iterations:30/manual_time", "/real_time") are not
                # part of the name that pairs sides.
                name = re.sub(r"(/(real_time|manual_time|iterations:\d+))+$", "", b["run_name"])
                if name not in samples:
                    order.append(name)
                samples[name].append(b)

    skip = {"name", "family_index", "per_family_instance_index", "run_name", "run_type", "repetitions",
            "repetition_index", "threads", "iterations", "real_time", "cpu_time", "time_unit",
            "bytes_per_second", "items_per_second", "cpu_us_per_item"}
    print("| benchmark | wall ms (median) | spread | process CPU us/item | other |")
    print("|---|---|---|---|---|")
    for name in order:
        runs = samples[name]
        real = [unit_ms(b, "real_time") for b in runs]
        cpu = [b["cpu_us_per_item"] for b in runs if "cpu_us_per_item" in b]
        others = sorted({k for b in runs for k in b if k not in skip and isinstance(b[k], (int, float))})
        extra = ", ".join(f"{k}={fmt(statistics.median([b[k] for b in runs if k in b]))}" for k in others)
        print(f"| {name} | {fmt(statistics.median(real))} | {fmt(min(real))}-{fmt(max(real))} | "
              f"{fmt(statistics.median(cpu)) if cpu else ''} | {extra} |")

    # Ours (sides named "ours...") against each peer of the same group, repetition by repetition:
    # for times the speed of ours relative to the peer (their time over ours, above 1 when ours
    # is faster); for memory our bytes per value over theirs (below 1 when ours holds less).
    groups = defaultdict(dict)
    for name in order:
        group, _, side = name.rpartition("/")
        groups[group][side] = samples[name]
    ratios = []
    for group, sides in groups.items():
        for mine, ours in sides.items():
            if not mine.startswith("ours"):
                continue
            for peer, theirs in sides.items():
                if peer.startswith("ours"):
                    continue
                n = min(len(ours), len(theirs))
                if "bytes_per_value" in ours[0]:
                    r = [ours[i]["bytes_per_value"] / theirs[i]["bytes_per_value"] for i in range(n)]
                    what = "memory (ours / peer)"
                else:
                    r = [unit_ms(theirs[i], "real_time") / unit_ms(ours[i], "real_time") for i in range(n)]
                    what = "speed (peer time / ours)"
                if r:
                    ratios.append((f"{group}/{mine} vs {peer}", what, statistics.median(r), min(r), max(r)))
    if ratios:
        print()
        print("| comparison | measure | median | spread |")
        print("|---|---|---|---|")
        for label, what, med, lo, hi in ratios:
            print(f"| {label} | {what} | {med:.2f} | {lo:.2f}-{hi:.2f} |")


if __name__ == "__main__":
    sys.exit(main())
