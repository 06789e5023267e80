#!/usr/bin/env python3
"""The application's resident size with its home screen shown.

Starts zavelto-service on a fresh data folder (its demo data), then the runner against it,
headless and, where Xvfb is installed, in a window on an X server of its own; once the home
screen shows (the runner's --report line names its title) and a second has passed, reads
the runner's /proc status: resident set, its peak, and the anonymous and file-backed parts.

    bench/runner_memory.py BUILD_DIR [--runs N]     (a Release build, e.g. build/bench)
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time


def status(pid):
    fields = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            name, _, value = line.partition(":")
            if name in ("VmRSS", "VmHWM", "RssAnon", "RssFile"):
                fields[name] = int(value.split()[0]) / 1024
    return fields


def measure(app, root, mode, env, folder):
    script = os.path.join(folder, "home.txt")
    with open(script, "w") as f:
        f.write('expect "首页"\nwait 4\n')
    command = [app, "--report", "--server-root", root]
    command += ["--window"] if mode == "window" else ["--headless", "--script", script]
    runner = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, env=env)
    try:
        for line in runner.stdout:
            if line.startswith("screen: ") and "首页" in line:
                break
        else:
            raise RuntimeError(f"{mode}: the home screen never showed")
        time.sleep(1.0)
        return status(runner.pid)
    finally:
        runner.terminate()
        runner.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    app = os.path.join(args.build, "Zavelto.app", "zavelto")
    service_bin = os.path.join(args.build, "service", "zavelto-service")
    folder = tempfile.mkdtemp(prefix="zvt-memory-")
    service = subprocess.Popen([service_bin, "--data-dir", os.path.join(folder, "data"), "--port", "0"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    xvfb = None
    try:
        root = "http://" + service.stdout.readline().strip().removeprefix("listening on ")
        modes = [("headless", dict(os.environ))]
        if shutil.which("Xvfb"):
            read, write = os.pipe()
            xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "600x900x24", "-nolisten", "tcp"],
                                    pass_fds=(write,), stderr=subprocess.DEVNULL)
            os.close(write)
            display = ":" + os.read(read, 16).decode().strip()
            os.close(read)
            env = dict(os.environ, DISPLAY=display, GDK_BACKEND="x11", NO_AT_BRIDGE="1")
            modes.append(("window", env))
        else:
            print("Xvfb is not installed: the window is not measured", file=sys.stderr)
        print("| runner | resident MiB | peak MiB | anonymous MiB | file-backed MiB |")
        print("|---|---|---|---|---|")
        for mode, env in modes:
            runs = [measure(app, root, mode, env, folder) for _ in range(args.runs)]
            median = {k: sorted(r[k] for r in runs)[len(runs) // 2] for k in runs[0]}
            print(f"| {mode} | {median['VmRSS']:.1f} | {median['VmHWM']:.1f} | {median['RssAnon']:.1f} | "
                  f"{median['RssFile']:.1f} |")
    finally:
        if xvfb:
            xvfb.terminate()
            xvfb.wait()
        service.terminate()
        service.wait()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
