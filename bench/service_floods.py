#!/usr/bin/env python3
"""The local service under three floods from one machine, with valid calls made meanwhile.

  replies   N connections (default 200) each ask for a 2000 x 2000 GIF (16 MB) and never read
            it; the service's resident size is sampled throughout: its peak (VmHWM), where it
            stands at the flood's end and after the flooding connections have hung up.
  bodies    16 connections each declare an 8 MiB body and send one byte of it.
  table     1,100 connections trickle their request heads, a byte every half second.

During each flood a client makes valid calls one after another (GET get_ios_config and a
JSON get_time, each with the clients' 8 s time-out) and counts those answered 200 and their
slowest time. Traffic goes to 127.0.0.1 only; every flood is bounded in count and time.

    bench/service_floods.py BUILD_DIR [--flood replies,bodies,table] [--connections N]
                            [--seconds S] [--check]

BUILD_DIR is a Release build (e.g. build/release). With --check the program exits 1 when a
goal is missed: the service above 256 MiB resident during the replies flood, or a valid call
unanswered during any flood.
"""
import argparse
import hashlib
import json
import os
import resource
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

SECRET = "tarvelq@!586"
RESIDENT_GOAL_MIB = 256
CLIENT_TIMEOUT = 8.0
PICTURE = "gif"


def status(pid):
    fields = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            name, _, value = line.partition(":")
            if name in ("VmRSS", "VmHWM"):
                fields[name] = int(value.split()[0]) / 1024
    return fields


def connect(port):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.connect(("127.0.0.1", port))
    return s


def call(port, method, target, body=b""):
    """One request on a connection of its own; (status, seconds), status 0 when unanswered."""
    start = time.monotonic()
    head = f"{method} {target} HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
    if body:
        head += f"Content-Type: application/json\r\nContent-Length: {len(body)}\r\n"
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=CLIENT_TIMEOUT) as s:
            s.settimeout(CLIENT_TIMEOUT)
            s.sendall(head.encode() + b"\r\n" + body)
            got = b""
            while True:
                left = CLIENT_TIMEOUT - (time.monotonic() - start)
                if left <= 0:
                    return 0, time.monotonic() - start
                s.settimeout(left)
                chunk = s.recv(65536)
                if not chunk:
                    break
                got += chunk
        code = int(got.split(b" ", 2)[1]) if got.startswith(b"HTTP/1.1 ") else 0
        return code, time.monotonic() - start
    except (OSError, ValueError):
        return 0, time.monotonic() - start


class ValidCalls(threading.Thread):
    """Valid calls one after another until stopped."""

    def __init__(self, port):
        super().__init__(daemon=True)
        self.port = port
        self.stopping = threading.Event()
        self.results = []

    def run(self):
        code = hashlib.md5(hashlib.md5(SECRET.encode()).hexdigest().encode()).hexdigest()
        calls = [("GET", "/api/client.php?m=get_ios_config", b""),
                 ("POST", "/api/client.php?m=get_time", json.dumps({"code": code}).encode())]
        i = 0
        while not self.stopping.is_set():
            self.results.append(call(self.port, *calls[i % len(calls)]))
            i += 1
            self.stopping.wait(0.1)

    def summary(self):
        answered = [s for c, s in self.results if c == 200]
        slowest = max((s for _, s in self.results), default=0.0)
        return len(answered), len(self.results), slowest


def flood_replies(port, pid, count, seconds):
    socks = []
    peak_rss = 0.0
    for i in range(count):
        s = connect(port)
        # A small receive window: the peer's kernel takes little of the reply off the service.
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        s.sendall(f"GET /images/flood{i}_2000x2000.{PICTURE} HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n".encode())
        socks.append(s)
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        peak_rss = max(peak_rss, status(pid)["VmRSS"])
        time.sleep(0.05)
    during = status(pid)
    for s in socks:
        s.close()
    time.sleep(2.0)
    after = status(pid)
    return {"peak MiB": during["VmHWM"], "resident at the end MiB": during["VmRSS"],
            "resident after hang-up MiB": after["VmRSS"]}


def flood_bodies(port, pid, count, seconds):
    socks = []
    for _ in range(count):
        s = connect(port)
        s.sendall(b"POST /index.php?mod=phone_api&act=feedback HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                  b"Content-Length: 8388608\r\n\r\n{")
        socks.append(s)
    time.sleep(seconds)
    for s in socks:
        s.close()
    return {}


def flood_table(port, pid, count, seconds):
    head = b"GET /api/client.php?m=get_ios_config HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: " + b"s" * 400
    socks = []
    for _ in range(count):
        try:
            socks.append(connect(port))
        except OSError:
            break
    end = time.monotonic() + seconds
    at = 0
    while time.monotonic() < end:
        for s in list(socks):
            try:
                s.send(head[at % len(head):at % len(head) + 1])
            except OSError:
                socks.remove(s)
                # The service let this one go: reconnect, as a flooding client would.
                try:
                    socks.append(connect(port))
                except OSError:
                    pass
        at += 1
        time.sleep(0.5)
    for s in socks:
        s.close()
    return {}


FLOODS = {"replies": flood_replies, "bodies": flood_bodies, "table": flood_table}
DEFAULT_COUNTS = {"replies": 200, "bodies": 16, "table": 1100}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--flood", default="replies,bodies,table")
    parser.add_argument("--connections", type=int, default=0, help="default: 200, 16, 1100")
    parser.add_argument("--seconds", type=float, default=12.0)
    parser.add_argument("--picture", default="gif", help="the replies flood's format: gif, png or jpg")
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()
    global PICTURE
    PICTURE = args.picture
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 8192), hard))
    service_bin = os.path.join(args.build, "service", "zavelto-service")
    print("| flood | connections | valid calls answered | slowest s | figures |")
    print("|---|---|---|---|---|")
    missed = []
    for name in args.flood.split(","):
        folder = tempfile.mkdtemp(prefix="zvt-floods-")
        service = subprocess.Popen([service_bin, "--data-dir", os.path.join(folder, "data"), "--port", "0"],
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        try:
            port = int(service.stdout.readline().strip().rsplit(":", 1)[1])
            count = args.connections or DEFAULT_COUNTS[name]
            valid = ValidCalls(port)
            valid.start()
            figures = FLOODS[name](port, service.pid, count, args.seconds)
            valid.stopping.set()
            valid.join()
            answered, made, slowest = valid.summary()
            shown = ", ".join(f"{k} {v:.0f}" for k, v in figures.items())
            print(f"| {name} | {count} | {answered} of {made} | {slowest:.2f} | {shown} |", flush=True)
            if answered < made:
                missed.append(f"{name}: {made - answered} valid calls unanswered")
            if figures.get("peak MiB", 0) >= RESIDENT_GOAL_MIB:
                missed.append(f"{name}: peak {figures['peak MiB']:.0f} MiB")
        finally:
            service.terminate()
            service.wait()
            shutil.rmtree(folder, ignore_errors=True)
    for m in missed:
        print("missed: " + m, file=sys.stderr)
    return 1 if args.check and missed else 0


if __name__ == "__main__":
    sys.exit(main())
