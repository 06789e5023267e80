#!/usr/bin/env python3
"""The local service under floods from one machine, with valid calls made meanwhile.

  replies     N connections (default 200) each ask three times, pipelined, for a large reply
              and never read it; the service's resident size is sampled throughout: its peak
              (VmHWM), where it stands at the flood's end, after the flooding connections have
              hung up and a few seconds later. The reply is a 2000 x 2000 picture (`--picture`
              gif, 16 MB; png; jpg) or an uploaded 8 MiB avatar under /uploads/ (avatar).
  bodies      16 connections each declare an 8 MiB body and send one byte of it.
  table       1,100 connections trickle their request heads, a byte every half second.
  gone        1,100 requests for 2000 x 2000 PNGs whose clients hang up at once, then 200 more
              a second, each client hanging up as soon as it has asked; counts the pictures
              the service made all the same.
  slowbodies  1,100 connections send their request bodies a byte every half second (each cut
              one comes back); meanwhile an 8 MiB upload at 1 MiB/s, as a slow phone link that
              meets the application's 10 s time-out, must be taken whole.

During each flood a client makes valid calls one after another (GET get_ios_config and a
JSON get_time, each with the clients' 8 s time-out) and counts those answered 200, those
answered within 1 s, and the slowest time. Traffic goes to 127.0.0.1 only; every flood is
bounded in count and time.

    bench/service_floods.py BUILD_DIR [--flood replies,bodies,table,gone,slowbodies]
                            [--picture gif|png|jpg|avatar] [--connections N] [--seconds S]
                            [--check]

BUILD_DIR is a Release build (e.g. build/release). With --check the program runs the replies
flood for every kind of reply and exits 1 when a goal is missed: the service at 256 MiB
resident or more during a replies flood, or not back under 64 MiB a few seconds after it; a
valid call unanswered during the replies, bodies or table floods; fewer than 95 % of the
valid calls answered within 1 s during the gone and slowbodies floods, or the slow upload
not taken.
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
# A few seconds after a flood the memory it took is back with the system.
SETTLED_GOAL_MIB = 64
SETTLE_SECONDS = 5.0
CLIENT_TIMEOUT = 8.0
# Under the gone and slowbodies floods: this share of the valid calls answered within 1 s.
PROMPT_SHARE = 0.95
PROMPT_SECONDS = 1.0
PICTURE = "gif"
AVATAR = "avatar_10001_flood.png"
AVATAR_BYTES = 8 << 20
PICTURES = ("gif", "png", "jpg", "avatar")


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
        prompt = [s for s in answered if s <= PROMPT_SECONDS]
        slowest = max((s for _, s in self.results), default=0.0)
        return len(answered), len(prompt), len(self.results), slowest


def flood_target(i):
    if PICTURE == "avatar":
        return f"/uploads/{AVATAR}"
    return f"/images/flood{i}_2000x2000.{PICTURE}"


def flood_replies(port, pid, count, seconds, log):
    socks = []
    for i in range(count):
        s = connect(port)
        # A small receive window: the peer's kernel takes little of the reply off the service.
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        ask = "".join(f"GET {flood_target(i * 3 + k)} HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" for k in range(3))
        s.sendall(ask.encode())
        socks.append(s)
    time.sleep(seconds)
    during = status(pid)
    for s in socks:
        s.close()
    time.sleep(2.0)
    after = status(pid)
    time.sleep(SETTLE_SECONDS - 2.0)
    settled = status(pid)
    return {"peak MiB": during["VmHWM"], "resident at the end MiB": during["VmRSS"],
            "resident after hang-up MiB": after["VmRSS"],
            f"resident {SETTLE_SECONDS:.0f} s after MiB": settled["VmRSS"]}


def flood_bodies(port, pid, count, seconds, log):
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


def flood_table(port, pid, count, seconds, log):
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


def log_lines(log, *texts):
    """The service's log lines that hold every one of texts."""
    log.flush()
    with open(log.name, errors="replace") as f:
        return sum(1 for line in f if all(t in line for t in texts))


def flood_gone(port, pid, count, seconds, log):
    asked = 0

    def ask_and_hang_up(n):
        nonlocal asked
        socks = []
        for _ in range(n):
            try:
                s = connect(port)
                s.sendall(f"GET /images/gone{asked}_2000x2000.png HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n".encode())
                socks.append(s)
                asked += 1
            except OSError:
                pass
        for s in socks:
            s.close()

    ask_and_hang_up(count)
    # Then 200 a second, one every 5 ms, each hanging up as soon as it has asked.
    start = time.monotonic()
    end = start + seconds
    while time.monotonic() < end:
        ask_and_hang_up(1)
        time.sleep(max(0.0, start + (asked - count) / 200 - time.monotonic()))
    time.sleep(1.0)
    return {"asked": asked,
            "made": log_lines(log, '"GET /images/gone', '" 200 '),
            "dropped unmade": log_lines(log, "dropped before it was made"),
            "given up while made": log_lines(log, "went away while its reply was made"),
            "connections refused": log_lines(log, "none waiting for a request head")}


class SlowUpload(threading.Thread):
    """An 8 MiB body at 1 MiB/s: slow, yet within the application's 10 s for the avatar."""

    def __init__(self, port):
        super().__init__(daemon=True)
        self.port = port
        self.status = 0

    def run(self):
        body = b"{" + b" " * (AVATAR_BYTES - 2) + b"}"
        head = (f"POST /api/client.php?m=get_time HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                f"Content-Type: application/json\r\nContent-Length: {len(body)}\r\n\r\n").encode()
        try:
            with socket.create_connection(("127.0.0.1", self.port), timeout=20) as s:
                s.sendall(head)
                step = len(body) // 80
                start = time.monotonic()
                for i in range(0, len(body), step):
                    s.sendall(body[i:i + step])
                    time.sleep(max(0.0, start + (i + step) / (1 << 20) - time.monotonic()))
                got = b""
                while True:
                    chunk = s.recv(65536)
                    if not chunk:
                        break
                    got += chunk
            self.status = int(got.split(b" ", 2)[1]) if got.startswith(b"HTTP/1.1 ") else 0
        except (OSError, ValueError):
            self.status = 0


def flood_slowbodies(port, pid, count, seconds, log):
    head = b"POST /index.php?mod=phone_api&act=feedback HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 1000\r\n\r\n"

    def opened():
        s = connect(port)
        s.sendall(head)
        return s

    socks = []
    for _ in range(count):
        try:
            socks.append(opened())
        except OSError:
            break
    upload = SlowUpload(port)
    upload.start()
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        for s in list(socks):
            try:
                s.send(b"b")
            except OSError:
                socks.remove(s)
                s.close()
                # The service let this one go: come back, as a flooding client would.
                try:
                    socks.append(opened())
                except OSError:
                    pass
        time.sleep(0.5)
    for s in socks:
        s.close()
    upload.join(20)
    return {"slow upload status": upload.status, "cut for slowness": log_lines(log, "request body slower than"),
            "gave way": log_lines(log, "sent its body slowest")}


FLOODS = {"replies": flood_replies, "bodies": flood_bodies, "table": flood_table, "gone": flood_gone,
          "slowbodies": flood_slowbodies}
DEFAULT_COUNTS = {"replies": 200, "bodies": 16, "table": 1100, "gone": 1100, "slowbodies": 1100}
PROMPT_FLOODS = ("gone", "slowbodies")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--flood", default="replies,bodies,table,gone,slowbodies")
    parser.add_argument("--connections", type=int, default=0, help="default: 200, 16, 1100, 1100, 1100")
    parser.add_argument("--seconds", type=float, default=12.0)
    parser.add_argument("--picture", default="gif",
                        help="the replies flood's reply: gif, png or jpg (2000 x 2000) or avatar (8 MiB upload)")
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()
    global PICTURE
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 8192), hard))
    service_bin = os.path.join(args.build, "service", "zavelto-service")
    print("| flood | connections | valid calls answered | within 1 s | slowest s | figures |")
    print("|---|---|---|---|---|---|")
    missed = []
    runs = []
    for name in args.flood.split(","):
        pictures = PICTURES if name == "replies" and args.check else (args.picture,)
        runs += [(name, p) for p in pictures] if name == "replies" else [(name, None)]
    for name, picture in runs:
        PICTURE = picture
        folder = tempfile.mkdtemp(prefix="zvt-floods-")
        data = os.path.join(folder, "data")
        log = open(os.path.join(folder, "service.log"), "w+")
        service = subprocess.Popen([service_bin, "--data-dir", data, "--port", "0"],
                                   stdout=subprocess.PIPE, stderr=log, text=True)
        try:
            port = int(service.stdout.readline().strip().rsplit(":", 1)[1])
            if picture == "avatar":
                # An uploaded avatar of the largest size the service takes, as its upload leaves it.
                with open(os.path.join(data, "uploads", AVATAR), "wb") as f:
                    f.write(b"\x89PNG\r\n\x1a\n" + os.urandom(AVATAR_BYTES - 8))
            count = args.connections or DEFAULT_COUNTS[name]
            valid = ValidCalls(port)
            valid.start()
            figures = FLOODS[name](port, service.pid, count, args.seconds, log)
            valid.stopping.set()
            valid.join()
            answered, prompt, made, slowest = valid.summary()
            shown = ", ".join(f"{k} {v:.0f}" for k, v in figures.items())
            title = f"{name} ({picture})" if picture else name
            print(f"| {title} | {count} | {answered} of {made} | {prompt} | {slowest:.2f} | {shown} |", flush=True)
            if name in PROMPT_FLOODS:
                if prompt < PROMPT_SHARE * made:
                    missed.append(f"{title}: {prompt} of {made} valid calls answered within {PROMPT_SECONDS:.0f} s")
            elif answered < made:
                missed.append(f"{title}: {made - answered} valid calls unanswered")
            if figures.get("peak MiB", 0) >= RESIDENT_GOAL_MIB:
                missed.append(f"{title}: peak {figures['peak MiB']:.0f} MiB")
            settled = next((v for k, v in figures.items() if k.endswith(" s after MiB")), 0)
            if settled >= SETTLED_GOAL_MIB:
                missed.append(f"{title}: {settled:.0f} MiB resident {SETTLE_SECONDS:.0f} s after the flood")
            if name == "slowbodies" and figures["slow upload status"] != 200:
                missed.append(f"{title}: the slow 8 MiB upload got {figures['slow upload status']}")
        finally:
            service.terminate()
            service.wait()
            log.close()
            shutil.rmtree(folder, ignore_errors=True)
    for m in missed:
        print("missed: " + m, file=sys.stderr)
    return 1 if args.check and missed else 0


if __name__ == "__main__":
    sys.exit(main())
