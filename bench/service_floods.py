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
  fetch       N connections (default 64) fetch 2000 x 2000 PNGs one after another; meanwhile an
              uploaded 8 MiB avatar is fetched three times at full speed, one after another
              (the PNGs go on until the third has ended, 12 s at least), and a 16 MB GIF is
              read at 256 KiB/s (64 s, the last of them alone).
  slowlinks   no flood: three calls over slow links that end within the body deadline, at once:
              a 120 KiB body at 16 KiB/s, a 200 KiB body at 24 KiB/s, and a 300-byte signed call
              whose body comes 2.2 s after its head.
  readers     1,100 connections each ask for an uploaded 8 MiB avatar and take 200,000 bytes of
              it every 20 s (10 KB/s; each cut one comes back), for 60 s; beside them from the
              start a client reads the same file at 256 KiB/s and must get it whole.
  pauses      no flood: two 8 MiB uploads that pause and still end within the body deadline: one
              at 1 MiB/s with a 1.5 s pause at 4 MiB, one that sends 1 MiB, stalls 5 s, then
              the rest at full speed; both must be taken.
  heldbodies  16 connections each send an 8 MiB body but for its last byte at once, and the last
              byte 9 s later: the bodies hold the 64 MiB of request bytes while valid calls come.
  gifs        as fetch, with N connections (default 200) reading 2000 x 2000 GIFs (16 MB, their
              frames made as they are sent) at full speed instead of PNGs: the upload fetched
              beside them whole within 1 s.
  steadyburst 20 runs: a client reads the uploaded 8 MiB avatar at 256 KiB/s (receive buffer
              64 KiB) for 4 s, then the rest at full speed; 0.3 s after it began N connections
              (default 1,100; receive buffers 4 KiB) ask for the same file and take nothing (every
              other run spread over 0.1 s): the steady reader must get it whole every time.
  pipeliners  N connections (default 1,100) each send 1,000 pipelined get_ios_config requests at
              once and read the replies at 40 KiB/s, coming back when their connection ends; the
              valid calls started after they connected are counted.
  honestupload an 8 MiB upload at 1 MiB/s; 1 s later N clients (default 8) each declare a body one
              byte shorter, send all of it but its last byte and stall: the upload must get 200.
  checkin     the pipelining readers; 1 s in, a signed check-in (enciphered, after a login) whose
              client gives up after 8 s; 20 s later, once they have gone, a second check-in: it
              must be the day's first (code 101) when the first was not answered.
  descriptors the service under a limit of 1,024 descriptors; N clients (default 600) each read the
              uploaded avatar at 10 KiB/s: none may be told 404.
  atrate      N connections (default 1,100; receive buffers 64 KiB, in two processes) each read the
              uploaded avatar at its own steady rate between 34 and 40 KiB/s, above the minimum
              (32 KiB/s), for 30 s: their pieces fill the reply budget, and none may be closed by it
              (nor cut otherwise).

During each flood a client makes valid calls one after another (GET get_ios_config and a
JSON get_time, each with the clients' 8 s time-out) and counts those answered 200, those
answered within 1 s, and the slowest time. Traffic goes to 127.0.0.1 only; every flood is
bounded in count and time.

    bench/service_floods.py BUILD_DIR [--flood replies,bodies,table,gone,slowbodies,fetch,slowlinks,
                                               readers,pauses,heldbodies,gifs,steadyburst,
                                               pipeliners,honestupload,checkin,descriptors,atrate]
                            [--picture gif|png|jpg|avatar] [--connections N] [--seconds S]
                            [--check]

BUILD_DIR is a Release build (e.g. build/release). With --check the program runs the replies
flood for every kind of reply and exits 1 when a goal is missed: the service at 256 MiB
resident or more during a replies flood, or not back under 64 MiB a few seconds after it; a
valid call unanswered during the replies, bodies, table, fetch or slowlinks runs; fewer than
95 % of the valid calls answered within 1 s during the gone and slowbodies floods, or the slow
upload not taken; an upload fetched beside the PNGs not whole and byte-exact, or slower than
2 s; the GIF read at 256 KiB/s not whole; a slow link's call not answered (code 101); under
the readers, fewer than 95 % of the valid calls answered within 1 s, one not answered within 8 s,
or the file read at 256 KiB/s not whole; a paused upload not taken; fewer than 95 % of the valid
calls answered beside the held bodies; an upload fetched beside the GIF readers slower than 1 s;
the steady reader not whole in one of its 20 runs; under the pipelining readers, fewer than 95 %
of the valid calls started after they connected answered within 1 s, or one not within 8 s;
the upload beside the stalled bodies not taken (200); a check-in made after its client gave up;
a request for the existing file answered 404 while descriptors run short; a reader at 34 to 40 KiB/s
closed by the reply budget, or cut, or fewer than 95 % of the valid calls beside them answered
within 1 s, or one not within 8 s. The check-in uses
DES, from the `cryptography` package (Debian's `python3-cryptography`).
"""
import argparse
import hashlib
import json
import multiprocessing
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
DATA = ""
AVATAR = "avatar_10001_flood.png"
AVATAR_BYTES = 8 << 20
PICTURES = ("gif", "png", "jpg", "avatar")
# Beside the PNG fetchers: each fetch of the 8 MiB upload whole and byte-exact within this.
FETCH_GOAL_SECONDS = 2.0
# Beside the GIF readers: a file ready on the disk never waits behind frames being made.
GIF_FETCH_GOAL_SECONDS = 1.0
FETCHES = 3
SLOW_GIF_RATE = 256 << 10
SLOW_GIF = "/images/slowreader_2000x2000.gif"


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
            started = time.monotonic()
            self.results.append(call(self.port, *calls[i % len(calls)]) + (started,))
            i += 1
            self.stopping.wait(0.1)

    def summary(self, since=0.0):
        """(answered, answered within 1 s, made, slowest) of the calls started at `since` or later."""
        results = [(c, s) for c, s, started in self.results if started >= since]
        answered = [s for c, s in results if c == 200]
        prompt = [s for s in answered if s <= PROMPT_SECONDS]
        slowest = max((s for _, s in results), default=0.0)
        return len(answered), len(prompt), len(results), slowest


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


def table_full(log):
    """Times the table was full with nothing to give way: connections refused at once (as
    services before logged them), or new connections left waiting to be accepted."""
    return log_lines(log, "none waiting for a request head") + log_lines(log, "none of which can give way yet")


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
            "table full, nothing gave way": table_full(log)}


def slow_upload(port):
    """An 8 MiB body at 1 MiB/s: slow, yet within the application's 10 s for the avatar."""
    return PausedUpload(port, 1 << 20, AVATAR_BYTES, 0)


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
    upload = slow_upload(port)
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


def fetch_whole(port, target, timeout, rate=0, window=0, rate_seconds=None, tick=None):
    """GET target on a connection of its own, at full speed or `rate` bytes a second (for its
    first `rate_seconds`, then at full speed, when given); `tick(seconds)` is called as it reads;
    (status, body, seconds, whole): whole when the body has its Content-Length."""
    start = time.monotonic()
    got = bytearray()
    try:
        with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
            if window:
                s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, window)
            s.settimeout(timeout)
            s.connect(("127.0.0.1", port))
            s.sendall(f"GET {target} HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n".encode())
            while time.monotonic() - start < timeout:
                if tick:
                    tick(time.monotonic() - start)
                want = 1 << 20
                if rate and (rate_seconds is None or time.monotonic() - start < rate_seconds):
                    # Take what the rate allows by now, an eighth of a second's worth at a time.
                    ahead = len(got) - rate * (time.monotonic() - start)
                    if ahead > 0:
                        time.sleep(min(0.125, ahead / rate))
                        continue
                    want = rate // 8
                chunk = s.recv(want)
                if not chunk:
                    break
                got += chunk
    except OSError:
        pass
    seconds = time.monotonic() - start
    head, _, body = bytes(got).partition(b"\r\n\r\n")
    status = int(head.split(b" ", 2)[1]) if head.startswith(b"HTTP/1.1 ") else 0
    length = -1
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value)
    return status, body, seconds, len(body) == length


def fetch_pictures_apart(port, count, picture, stopping, fetched):
    """count clients fetching pictures one after another until stopping is set, in a process of
    their own (so that their reading does not hold up the measuring client's threads)."""
    def fetch_pictures(i):
        n = 0
        while not stopping.is_set():
            status, _, _, whole = fetch_whole(port, f"/images/fetch{i}_{n}_2000x2000.{picture}", 60)
            if status == 200 and whole:
                with fetched.get_lock():
                    fetched.value += 1
            n += 1

    threads = [threading.Thread(target=fetch_pictures, args=(i,), daemon=True) for i in range(count)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(70)


def flood_fetch(port, pid, count, seconds, log, picture="png"):
    stopping = threading.Event()
    fetched = [0]

    def fetch_pictures(i):
        n = 0
        while not stopping.is_set():
            status, _, _, whole = fetch_whole(port, f"/images/fetch{i}_{n}_2000x2000.{picture}", 60)
            fetched[0] += 1 if status == 200 and whole else 0
            n += 1

    gif = {}

    def read_gif():
        gif["result"] = fetch_whole(port, SLOW_GIF, 120, rate=SLOW_GIF_RATE, window=64 << 10)

    apart = None
    if picture == "gif":
        # Two hundred readers at full speed would hold the measuring threads up in this process.
        stopping = multiprocessing.Event()
        fetched_apart = multiprocessing.Value("i", 0)
        apart = multiprocessing.Process(target=fetch_pictures_apart,
                                        args=(port, count, picture, stopping, fetched_apart), daemon=True)
        threads = []
    else:
        threads = [threading.Thread(target=fetch_pictures, args=(i,), daemon=True) for i in range(count)]
    threads.append(threading.Thread(target=read_gif, daemon=True))
    start = time.monotonic()
    if apart:
        apart.start()
    for t in threads:
        t.start()
    time.sleep(2.0)
    with open(os.path.join(DATA, "uploads", AVATAR), "rb") as f:
        expected = hashlib.sha256(f.read()).hexdigest()
    fetches = []
    for _ in range(FETCHES):
        status, body, took, whole = fetch_whole(port, f"/uploads/{AVATAR}", 60)
        fetches.append((took, status == 200 and whole and hashlib.sha256(body).hexdigest() == expected, len(body)))
    time.sleep(max(0.0, start + seconds - time.monotonic()))
    stopping.set()
    for t in threads[:-1]:
        t.join(70)
    if apart:
        apart.join(75)
        fetched[0] = fetched_apart.value
    threads[-1].join(130)
    gif_status, gif_body, gif_seconds, gif_whole = gif.get("result", (0, b"", 0.0, False))
    figures = {f"{picture.upper()}s fetched": fetched[0]}
    for i, (took, exact, size) in enumerate(fetches):
        figures[f"upload {i + 1} s"] = took
        figures[f"upload {i + 1} MB"] = size / 1e6
        figures[f"upload {i + 1} whole and exact"] = 1 if exact else 0
    figures["GIF MB"] = len(gif_body) / 1e6
    figures["GIF s"] = gif_seconds
    figures["GIF whole"] = 1 if gif_status == 200 and gif_whole else 0
    figures["cut as not taken"] = log_lines(log, "reply not taken within")
    return figures


def signed(port, fields):
    """fields signed with a time the service has just handed out."""
    secret = hashlib.md5(SECRET.encode()).hexdigest()
    _, reply = call_json(port, "/api/client.php?m=get_time", {"code": hashlib.md5(secret.encode()).hexdigest()})
    stamp = str(reply.get("time", ""))
    return dict(fields, time=stamp, code=hashlib.md5((secret + stamp).encode()).hexdigest())


def call_json(port, target, fields, rate=0, delay=0.0, size=0):
    """POST fields as JSON, padded to `size` bytes, its body sent at `rate` bytes a second
    (0: at once) and starting `delay` after its head; (status, reply JSON or {})."""
    body = json.dumps(fields).encode()
    if size > len(body):
        body = json.dumps(dict(fields, pad="p" * (size - len(body) - 10))).encode()
    head = (f"POST {target} HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
            f"Content-Type: application/json\r\nContent-Length: {len(body)}\r\n\r\n").encode()
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=20) as s:
            s.sendall(head)
            time.sleep(delay)
            start = time.monotonic()
            step = max(1, rate // 8) if rate else len(body)
            for i in range(0, len(body), step):
                s.sendall(body[i:i + step])
                if rate:
                    time.sleep(max(0.0, start + (i + step) / rate - time.monotonic()))
            got = b""
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    break
                got += chunk
        head, _, reply = got.partition(b"\r\n\r\n")
        status = int(head.split(b" ", 2)[1]) if head.startswith(b"HTTP/1.1 ") else 0
        try:
            return status, json.loads(reply)
        except ValueError:
            return status, {}
    except (OSError, ValueError):
        return 0, {}


SLOW_LINKS = (("120 KiB at 16 KiB/s", 120 << 10, 16 << 10, 0.0),
              ("200 KiB at 24 KiB/s", 200 << 10, 24 << 10, 0.0),
              ("300 bytes 2.2 s after the head", 300, 0, 2.2))


def flood_slowlinks(port, pid, count, seconds, log):
    results = {}

    def send(name, size, rate, delay):
        status, reply = call_json(port, "/api/client.php?m=mall_type", signed(port, {}), rate, delay, size)
        results[name] = 1 if status == 200 and reply.get("code") == 101 else 0

    threads = [threading.Thread(target=send, args=link, daemon=True) for link in SLOW_LINKS]
    for t in threads:
        t.start()
    for t in threads:
        t.join(30)
    return {f"{name} taken": results.get(name, 0) for name, *_ in SLOW_LINKS}


def flood_gifs(port, pid, count, seconds, log):
    return flood_fetch(port, pid, count, seconds, log, picture="gif")


READERS_SECONDS = 60.0
READER_BYTES = 200_000
READER_PERIOD = 20.0


def reader_asking(port, ask, timeout):
    """A connection with a receive buffer of 64 KiB that has sent `ask` (connecting within
    `timeout`), left non-blocking for its reader; a failed one reads as closed."""
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 64 << 10)
    s.settimeout(timeout)
    try:
        s.connect(("127.0.0.1", port))
        s.send(ask)
    except OSError:
        pass
    s.setblocking(False)
    return s


def flood_readers(port, pid, count, seconds, log):
    """count slow readers of the upload, each taking READER_BYTES every READER_PERIOD and coming
    back when cut; a reader at 256 KiB/s beside them from the start."""
    ask = f"GET /uploads/{AVATAR} HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n".encode()

    def opened():
        return reader_asking(port, ask, 1.0)

    fast = {}

    def read_fast():
        fast["result"] = fetch_whole(port, f"/uploads/{AVATAR}", 120, rate=SLOW_GIF_RATE, window=64 << 10)

    fast_thread = threading.Thread(target=read_fast, daemon=True)
    fast_thread.start()
    time.sleep(0.2)
    readers = []  # [socket, asked, next turn]
    start = time.monotonic()
    for i in range(count):
        readers.append([opened(), True, start + READER_PERIOD * i / count])
    comebacks = 0
    end = start + READERS_SECONDS
    while time.monotonic() < end:
        now = time.monotonic()
        for r in readers:
            s = r[0]
            try:
                if not r[1]:
                    s.send(ask)
                    r[1] = True
                if now < r[2]:
                    continue
                r[2] += READER_PERIOD
                took = 0
                while took < READER_BYTES:
                    chunk = s.recv(min(65536, READER_BYTES - took))
                    if not chunk:
                        raise ConnectionResetError()
                    took += len(chunk)
            except (BlockingIOError, InterruptedError):
                pass
            except OSError:
                # Cut (or refused): come back, as a flooding client would.
                s.close()
                r[0], r[1] = opened(), True
                comebacks += 1
        time.sleep(0.1)
    during = status(pid)
    for r in readers:
        r[0].close()
    fast_thread.join(130)
    fast_status, fast_body, fast_seconds, fast_whole = fast.get("result", (0, b"", 0.0, False))
    return {"comebacks": comebacks, "peak MiB": during["VmHWM"],
            "fast reader MB": len(fast_body) / 1e6, "fast reader s": fast_seconds,
            "fast reader whole": 1 if fast_status == 200 and fast_whole else 0,
            "cut as slowest": log_lines(log, "took its reply slowest"),
            "shed": log_lines(log, "closed to keep replies held within"),
            "table full, nothing gave way": table_full(log)}


class PausedUpload(threading.Thread):
    """An 8 MiB body sent in steps of `rate` bytes a second, pausing `pause` seconds once
    `pause_at` bytes have gone (rate 0: at full speed)."""

    def __init__(self, port, rate, pause_at, pause):
        super().__init__(daemon=True)
        self.port, self.rate, self.pause_at, self.pause = port, rate, pause_at, pause
        self.status = 0
        self.seconds = 0.0

    def run(self):
        body = b"{" + b" " * (AVATAR_BYTES - 2) + b"}"
        head = (f"POST /api/client.php?m=get_time HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                f"Content-Type: application/json\r\nContent-Length: {len(body)}\r\n\r\n").encode()
        start = time.monotonic()
        try:
            with socket.create_connection(("127.0.0.1", self.port), timeout=30) as s:
                s.sendall(head)
                step = len(body) // 80
                paused = 0.0
                for i in range(0, len(body), step):
                    if i >= self.pause_at and not paused:
                        time.sleep(self.pause)
                        paused = self.pause
                    try:
                        s.sendall(body[i:i + step])
                    except OSError:
                        break  # refused while it still sent: its refusal may be there to read
                    if self.rate:
                        time.sleep(max(0.0, start + paused + (i + step) / self.rate - time.monotonic()))
                got = b""
                while True:
                    try:
                        chunk = s.recv(65536)
                    except OSError:
                        break
                    if not chunk:
                        break
                    got += chunk
            self.status = int(got.split(b" ", 2)[1]) if got.startswith(b"HTTP/1.1 ") else 0
        except (OSError, ValueError):
            self.status = 0
        self.seconds = time.monotonic() - start


PAUSED_UPLOADS = (("1 MiB/s, 1.5 s pause at 4 MiB", 1 << 20, 4 << 20, 1.5),
                  ("1 MiB, 5 s stall, full speed", 0, 1 << 20, 5.0))


def flood_pauses(port, pid, count, seconds, log):
    uploads = [PausedUpload(port, rate, at, pause) for _, rate, at, pause in PAUSED_UPLOADS]
    for u in uploads:
        u.start()
    for u in uploads:
        u.join(40)
    figures = {}
    for (name, *_), u in zip(PAUSED_UPLOADS, uploads):
        figures[f"{name}: status"] = u.status
        figures[f"{name}: s"] = u.seconds
    return figures


def flood_heldbodies(port, pid, count, seconds, log):
    head = (b"POST /index.php?mod=phone_api&act=feedback HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
            b"Content-Length: 8388608\r\n\r\n")
    body = b"b" * ((8 << 20) - 1)
    socks = []
    for _ in range(count):
        s = connect(port)
        s.settimeout(20)
        socks.append(s)

    def send_most(s):
        try:
            s.sendall(head + body)
        except OSError:
            pass

    start = time.monotonic()
    senders = [threading.Thread(target=send_most, args=(s,), daemon=True) for s in socks]
    for t in senders:
        t.start()
    time.sleep(max(0.0, start + 9.0 - time.monotonic()))
    statuses = []
    for s in socks:
        try:
            s.send(b"}")
        except OSError:
            pass
    for s in socks:
        try:
            got = s.recv(200)
            statuses.append(int(got.split(b" ", 2)[1]) if got.startswith(b"HTTP/1.1 ") else 0)
        except (OSError, ValueError):
            statuses.append(0)
        s.close()
    for t in senders:
        t.join(5)
    time.sleep(max(0.0, start + seconds - time.monotonic()))
    return {"bodies answered": sum(1 for c in statuses if c == 200),
            "bodies refused 503": sum(1 for c in statuses if c == 503),
            "gave way for the budget": log_lines(log, "held at once: gave way")}


STEADY_RUNS = 20
# The steady reader takes the upload at 256 KiB/s for this long (the burst's readers are all
# past their grace by then), then the rest at full speed.
STEADY_SECONDS = 4.0
BURST_AFTER = 0.3
BURST_STAGGER = 0.1


def burst_apart(port, count, stagger, ready, done):
    """count readers of the upload that take nothing (4 KiB receive buffers), connected at once or
    spread over `stagger` seconds, in a process of their own; held until `done` is set."""
    ask = f"GET /uploads/{AVATAR} HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n".encode()
    socks = []
    start = time.monotonic()
    for i in range(count):
        if stagger:
            time.sleep(max(0.0, start + stagger * i / count - time.monotonic()))
        try:
            s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            s.settimeout(5)
            s.connect(("127.0.0.1", port))
            s.send(ask)
            socks.append(s)
        except OSError:
            pass
    ready.set()
    done.wait(60)
    for s in socks:
        s.close()


def flood_steadyburst(port, pid, count, seconds, log):
    """STEADY_RUNS runs: a reader takes the upload at 256 KiB/s (receive buffer 64 KiB); 0.3 s
    later count readers ask for it and take nothing (every other run their burst spread over
    0.1 s); whole every time."""
    whole, shortest, took = 0, AVATAR_BYTES / 1e6, []
    for run in range(STEADY_RUNS):
        ready, done = multiprocessing.Event(), multiprocessing.Event()
        burst = multiprocessing.Process(target=burst_apart, daemon=True,
                                        args=(port, count, BURST_STAGGER if run % 2 else 0.0, ready, done))
        started = []

        def start_burst(seconds):
            if not started and seconds >= BURST_AFTER:
                burst.start()
                started.append(True)

        status, body, seconds, _ = fetch_whole(port, f"/uploads/{AVATAR}", 30, rate=SLOW_GIF_RATE, window=64 << 10,
                                               rate_seconds=STEADY_SECONDS, tick=start_burst)
        took.append(seconds)
        done.set()
        if started:
            burst.join(70)
        if status == 200 and len(body) == AVATAR_BYTES:
            whole += 1
        else:
            shortest = min(shortest, len(body) / 1e6)
        time.sleep(1.0)
    return {"runs": STEADY_RUNS, "whole": whole, "shortest cut MB": shortest if whole < STEADY_RUNS else 0,
            "slowest run s": max(took), "shed": log_lines(log, "closed to keep replies held within")}


PIPELINED = 1000
PIPELINE_RATE = 40 << 10
# Valid calls are counted from the moment the pipelining readers are connected.
VALID_SINCE = 0.0


def pipeliners_apart(port, count, seconds, connected, figures):
    """count connections that each send PIPELINED requests for get_ios_config at once and read
    the replies at PIPELINE_RATE, coming back when their connection ends, for `seconds`."""
    asks = (b"GET /api/client.php?m=get_ios_config HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" * PIPELINED)

    def opened():
        # Its requests go at once, as a client's that pipelines them.
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.settimeout(10)
        sent = 0
        try:
            s.connect(("127.0.0.1", port))
            s.setblocking(False)
            sent = s.send(asks)
        except OSError:
            pass
        s.setblocking(False)
        return [s, sent]

    conns = [opened() for _ in range(count)]
    connected.set()
    comebacks, read = 0, 0
    step = 0.1
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        turn = time.monotonic()
        for c in conns:
            try:
                if c[1] < len(asks):
                    c[1] += c[0].send(asks[c[1]:])
                chunk = c[0].recv(int(PIPELINE_RATE * step))
                if not chunk:
                    raise ConnectionResetError()
                read += len(chunk)
            except (BlockingIOError, InterruptedError):
                pass
            except OSError:
                c[0].close()
                c[:] = opened()
                comebacks += 1
        time.sleep(max(0.0, turn + step - time.monotonic()))
    for c in conns:
        c[0].close()
    figures["comebacks"] = comebacks
    figures["MB read"] = read / 1e6


def start_pipeliners(port, count, seconds):
    global VALID_SINCE
    connected = multiprocessing.Event()
    figures = multiprocessing.Manager().dict()
    apart = multiprocessing.Process(target=pipeliners_apart, args=(port, count, seconds, connected, figures),
                                    daemon=True)
    apart.start()
    connected.wait(60)
    VALID_SINCE = time.monotonic()
    return apart, figures


def flood_pipeliners(port, pid, count, seconds, log):
    apart, figures = start_pipeliners(port, count, seconds)
    apart.join(seconds + 60)
    return {"comebacks": figures.get("comebacks", 0), "MB read": figures.get("MB read", 0.0),
            "gave way between replies": log_lines(log, "had its share of replies"),
            "table full, nothing gave way": table_full(log)}


def flood_honestupload(port, pid, count, seconds, log):
    """An 8 MiB upload at 1 MiB/s; 1 s later count clients each declare a body one byte shorter,
    send all of it but its last byte and stall."""
    upload = slow_upload(port)
    upload.start()
    time.sleep(1.0)
    head = (b"POST /index.php?mod=phone_api&act=feedback HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
            b"Content-Length: %d\r\n\r\n" % (AVATAR_BYTES - 1))
    body = b"b" * (AVATAR_BYTES - 2)
    socks = []

    def send_most():
        try:
            s = connect(port)
            socks.append(s)
            s.sendall(head + body)
        except OSError:
            pass

    senders = [threading.Thread(target=send_most, daemon=True) for _ in range(count)]
    for t in senders:
        t.start()
    upload.join(20)
    for s in list(socks):
        s.close()
    return {"upload status": upload.status, "upload s": upload.seconds,
            "gave way for the budget": log_lines(log, "held at once: gave way")}


DES_KEY = b"@ZRMVKTQ"


def des_text(text, encrypt):
    # Single DES is Triple DES with one key three times.
    try:
        from cryptography.hazmat.decrepit.ciphers.algorithms import TripleDES
    except ImportError:  # Debian 12's package keeps it among the algorithms
        from cryptography.hazmat.primitives.ciphers.algorithms import TripleDES
    from cryptography.hazmat.primitives.ciphers import Cipher, modes
    cipher = Cipher(TripleDES(DES_KEY * 3), modes.ECB())
    if encrypt:
        pad = 8 - len(text) % 8
        worker = cipher.encryptor()
        return worker.update(text + bytes([pad]) * pad) + worker.finalize()
    worker = cipher.decryptor()
    plain = worker.update(text) + worker.finalize()
    return plain[:-plain[-1]] if plain else plain


def des_call(port, op, fields, cookie="", timeout=CLIENT_TIMEOUT):
    """An enciphered call; (status, reply JSON or {}, the session cookie it set or "")."""
    import base64
    body = ('"' + base64.b64encode(des_text(json.dumps(fields).encode(), True)).decode() + '"').encode()
    head = (f"POST /index.php?mod=phone_api&act={op} HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
            f"Content-Type: application/x-www-form-urlencoded\r\nContent-Length: {len(body)}\r\n")
    if cookie:
        head += f"Cookie: {cookie}\r\n"
    start = time.monotonic()
    got = b""
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
            s.sendall(head.encode() + b"\r\n" + body)
            while time.monotonic() - start < timeout:
                s.settimeout(max(0.01, timeout - (time.monotonic() - start)))
                chunk = s.recv(65536)
                if not chunk:
                    break
                got += chunk
    except OSError:
        pass
    head, _, reply = got.partition(b"\r\n\r\n")
    try:
        status = int(head.split(b" ", 2)[1]) if head.startswith(b"HTTP/1.1 ") else 0
        reply = json.loads(reply)
    except ValueError:
        return 0, {}, ""
    cookie = reply.get("setCookie", {}).get("value", "") if isinstance(reply.get("setCookie"), dict) else ""
    return status, reply, (f"ZVTSESSID={cookie}" if cookie else "")


def des_signed(port, fields):
    secret = hashlib.md5(SECRET.encode()).hexdigest()
    _, reply, _ = des_call(port, "get_time", {"code": hashlib.md5(secret.encode()).hexdigest()})
    import base64
    data = json.loads(des_text(base64.b64decode(reply.get("data", "")), False) or b"{}")
    stamp = str(data.get("time", ""))
    return dict(fields, time=stamp, code=hashlib.md5((secret + stamp).encode()).hexdigest())


CHECKIN_AFTER = 20.0


def flood_checkin(port, pid, count, seconds, log):
    """The pipelining readers; 1 s in, a signed check-in whose client gives up after 8 s; once
    they have gone, a second check-in: it must succeed when the first was not answered."""
    _, _, cookie = des_call(port, "login", des_signed(port, {"userName": "zvttest", "password": "zvt123456"}))
    fields = des_signed(port, {"id": "10001"})
    apart, figures = start_pipeliners(port, count, 1.0 + CLIENT_TIMEOUT + CHECKIN_AFTER)
    time.sleep(1.0)
    first, first_reply, _ = des_call(port, "sign", fields, cookie)
    apart.join(CHECKIN_AFTER + 60)
    time.sleep(2.0)
    second, second_reply, _ = des_call(port, "sign", des_signed(port, {"id": "10001"}), cookie)
    return {"first answered": 1 if first == 200 else 0, "first code": first_reply.get("code", 0),
            "second code": second_reply.get("code", 0),
            "performed though given up": 1 if first != 200 and second_reply.get("code") == 251 else 0,
            "dropped unperformed": log_lines(log, "performed for a peer gone") +
            log_lines(log, "dropped before it was made")}


DESCRIPTOR_LIMIT = 1024
DESCRIPTOR_RATE = 10 << 10


def flood_descriptors(port, pid, count, seconds, log):
    """The service under a limit of 1024 descriptors; count readers of the upload at 10 KiB/s."""
    ask = f"GET /uploads/{AVATAR} HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n".encode()
    readers = []
    for _ in range(count):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 16 << 10)
        s.setblocking(False)
        try:
            s.connect(("127.0.0.1", port))
        except BlockingIOError:
            pass
        readers.append([s, b"", False])  # socket, head so far, asked
    statuses = {}
    step = 0.1
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        turn = time.monotonic()
        for r in readers:
            s = r[0]
            if s is None:
                continue
            try:
                if not r[2]:
                    s.send(ask)
                    r[2] = True
                chunk = s.recv(int(DESCRIPTOR_RATE * step))
                if not chunk:
                    raise ConnectionResetError()
                if b"\r\n" not in r[1]:
                    r[1] += chunk[:64]
                    if b"\r\n" in r[1]:
                        code = int(r[1].split(b" ", 2)[1]) if r[1].startswith(b"HTTP/1.1 ") else 0
                        statuses[code] = statuses.get(code, 0) + 1
            except (BlockingIOError, InterruptedError):
                pass
            except (OSError, ValueError):
                s.close()
                r[0] = None
        time.sleep(max(0.0, turn + step - time.monotonic()))
    for r in readers:
        if r[0] is not None:
            r[0].close()
    return {"asked": count, "200": statuses.get(200, 0), "404": statuses.get(404, 0), "503": statuses.get(503, 0),
            "no answer": count - sum(statuses.values())}


AT_RATE_LOW = 34 << 10
AT_RATE_HIGH = 40 << 10
AT_RATE_SECONDS = 30.0
AT_RATE_PROCESSES = 2


def at_rate_apart(port, first, count, total, seconds, connected, figures):
    """Readers `first` to `first + count` of `total`, each of the uploaded avatar at its own rate between
    AT_RATE_LOW and AT_RATE_HIGH (receive buffers 64 KiB), for `seconds`; what each took, and whether
    the service closed it before its reply was whole."""
    ask = f"GET /uploads/{AVATAR} HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n".encode()
    readers = []  # [socket, rate, bytes taken, cut]
    for i in range(first, first + count):
        readers.append([reader_asking(port, ask, 5), AT_RATE_LOW + (AT_RATE_HIGH - AT_RATE_LOW) * i / max(1, total - 1), 0, False])
    connected.set()
    start = time.monotonic()
    step = 0.1
    while time.monotonic() - start < seconds:
        turn = time.monotonic()
        for r in readers:
            if r[3]:
                continue
            # Take what the rate allows by now, no more (what was missed is caught up).
            want = int(r[1] * (turn - start)) - r[2]
            try:
                while want > 0:
                    chunk = r[0].recv(min(want, 1 << 16))
                    if not chunk:
                        raise ConnectionResetError()
                    r[2] += len(chunk)
                    want -= len(chunk)
            except (BlockingIOError, InterruptedError):
                pass
            except OSError:
                r[3] = True
        time.sleep(max(0.0, turn + step - time.monotonic()))
    elapsed = time.monotonic() - start
    for r in readers:
        r[0].close()
    figures[first] = (sum(1 for r in readers if r[3]),
                      min(r[2] / elapsed for r in readers), max(r[2] / elapsed for r in readers))


def flood_atrate(port, pid, count, seconds, log):
    """count readers of the upload, each at a steady rate between 34 and 40 KiB/s (above the minimum,
    32 KiB/s) for AT_RATE_SECONDS, in AT_RATE_PROCESSES processes: none may be closed by the reply
    budget (nor cut otherwise)."""
    global VALID_SINCE
    figures = multiprocessing.Manager().dict()
    share = (count + AT_RATE_PROCESSES - 1) // AT_RATE_PROCESSES
    processes = []
    for first in range(0, count, share):
        connected = multiprocessing.Event()
        process = multiprocessing.Process(target=at_rate_apart, daemon=True,
                                          args=(port, first, min(share, count - first), count, AT_RATE_SECONDS,
                                                connected, figures))
        process.start()
        processes.append((process, connected))
    for process, connected in processes:
        connected.wait(60)
    VALID_SINCE = time.monotonic()
    for process, _ in processes:
        process.join(AT_RATE_SECONDS + 60)
    during = status(pid)
    got = list(figures.values())
    return {"cut": sum(g[0] for g in got), "slowest reader KiB/s": min((g[1] for g in got), default=0) / 1024,
            "fastest reader KiB/s": max((g[2] for g in got), default=0) / 1024,
            "shed": log_lines(log, "closed to keep replies held within"),
            "cut as slowest": log_lines(log, "took its reply slowest"), "peak MiB": during["VmHWM"]}


FLOODS = {"replies": flood_replies, "bodies": flood_bodies, "table": flood_table, "gone": flood_gone,
          "slowbodies": flood_slowbodies, "fetch": flood_fetch, "slowlinks": flood_slowlinks,
          "readers": flood_readers, "pauses": flood_pauses, "heldbodies": flood_heldbodies, "gifs": flood_gifs,
          "steadyburst": flood_steadyburst, "pipeliners": flood_pipeliners, "honestupload": flood_honestupload,
          "checkin": flood_checkin, "descriptors": flood_descriptors, "atrate": flood_atrate}
DEFAULT_COUNTS = {"replies": 200, "bodies": 16, "table": 1100, "gone": 1100, "slowbodies": 1100, "fetch": 64,
                  "slowlinks": 3, "readers": 1100, "pauses": 2, "heldbodies": 16, "gifs": 200,
                  "steadyburst": 1100, "pipeliners": 1100, "honestupload": 8, "checkin": 1100, "descriptors": 600,
                  "atrate": 1100}
PROMPT_FLOODS = ("gone", "slowbodies", "readers", "pipeliners", "atrate")
# Floods whose every valid call must be answered within the clients' time-out as well.
TIMELY_FLOODS = ("readers", "pipeliners", "atrate")
# Floods run against a service whose descriptors are limited to this many.
DESCRIPTOR_FLOODS = {"descriptors": DESCRIPTOR_LIMIT}
# Floods under which this share of the valid calls must be answered at all (the rest: every one).
ANSWERED_FLOODS = {"heldbodies": PROMPT_SHARE}


def process_cpu_seconds(pid):
    """User and system time of every thread of a process so far, in seconds (0 when unknown)."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    except (OSError, IndexError, ValueError):
        return 0.0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--flood", default="replies,bodies,table,gone,slowbodies,fetch,slowlinks,"
                                           "readers,pauses,heldbodies,gifs,steadyburst,pipeliners,honestupload,checkin,"
                                           "descriptors,atrate")
    parser.add_argument("--connections", type=int, default=0, help="default: 200, 16, 1100, 1100, 1100, 64")
    parser.add_argument("--seconds", type=float, default=12.0)
    parser.add_argument("--picture", default="gif",
                        help="the replies flood's reply: gif, png or jpg (2000 x 2000) or avatar (8 MiB upload)")
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()
    global PICTURE, DATA, VALID_SINCE
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 8192), hard))
    service_bin = os.path.join(args.build, "service", "zavelto-service")
    print("| flood | connections | valid calls answered | within 1 s | slowest s | wall s | service CPU s | figures |")
    print("|---|---|---|---|---|---|---|---|")
    missed = []
    runs = []
    for name in args.flood.split(","):
        pictures = PICTURES if name == "replies" and args.check else (args.picture,)
        runs += [(name, p) for p in pictures] if name == "replies" else [(name, None)]
    for name, picture in runs:
        PICTURE = picture
        folder = tempfile.mkdtemp(prefix="zvt-floods-")
        data = DATA = os.path.join(folder, "data")
        log = open(os.path.join(folder, "service.log"), "w+")
        limit = DESCRIPTOR_FLOODS.get(name)
        service = subprocess.Popen([service_bin, "--data-dir", data, "--port", "0"],
                                   stdout=subprocess.PIPE, stderr=log, text=True,
                                   preexec_fn=(lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (limit, limit)))
                                   if limit else None)
        try:
            port = int(service.stdout.readline().strip().rsplit(":", 1)[1])
            if picture == "avatar" or name in ("fetch", "gifs", "readers", "steadyburst", "descriptors", "atrate"):
                # An uploaded avatar of the largest size the service takes, as its upload leaves it.
                with open(os.path.join(data, "uploads", AVATAR), "wb") as f:
                    f.write(b"\x89PNG\r\n\x1a\n" + os.urandom(AVATAR_BYTES - 8))
            count = args.connections or DEFAULT_COUNTS[name]
            VALID_SINCE = 0.0
            valid = ValidCalls(port)
            valid.start()
            wall, cpu = time.monotonic(), process_cpu_seconds(service.pid)
            figures = FLOODS[name](port, service.pid, count, args.seconds, log)
            wall, cpu = time.monotonic() - wall, process_cpu_seconds(service.pid) - cpu
            valid.stopping.set()
            valid.join()
            answered, prompt, made, slowest = valid.summary(VALID_SINCE)
            shown = ", ".join(f"{k} {v:.0f}" if float(v).is_integer() or v >= 10 else f"{k} {v:.2f}"
                              for k, v in figures.items())
            title = f"{name} ({picture})" if picture else name
            print(f"| {title} | {count} | {answered} of {made} | {prompt} | {slowest:.2f} | {wall:.1f} | {cpu:.1f} | {shown} |",
                  flush=True)
            if name in PROMPT_FLOODS:
                if prompt < PROMPT_SHARE * made:
                    missed.append(f"{title}: {prompt} of {made} valid calls answered within {PROMPT_SECONDS:.0f} s")
                if name in TIMELY_FLOODS and answered < made:
                    missed.append(f"{title}: {made - answered} valid calls not answered within {CLIENT_TIMEOUT:.0f} s")
            elif name in ANSWERED_FLOODS:
                if answered < ANSWERED_FLOODS[name] * made:
                    missed.append(f"{title}: {answered} of {made} valid calls answered")
            elif answered < made:
                missed.append(f"{title}: {made - answered} valid calls unanswered")
            if figures.get("peak MiB", 0) >= RESIDENT_GOAL_MIB:
                missed.append(f"{title}: peak {figures['peak MiB']:.0f} MiB")
            settled = next((v for k, v in figures.items() if k.endswith(" s after MiB")), 0)
            if settled >= SETTLED_GOAL_MIB:
                missed.append(f"{title}: {settled:.0f} MiB resident {SETTLE_SECONDS:.0f} s after the flood")
            if name == "slowbodies" and figures["slow upload status"] != 200:
                missed.append(f"{title}: the slow 8 MiB upload got {figures['slow upload status']}")
            if name in ("fetch", "gifs"):
                goal = FETCH_GOAL_SECONDS if name == "fetch" else GIF_FETCH_GOAL_SECONDS
                for i in range(1, FETCHES + 1):
                    if not figures[f"upload {i} whole and exact"]:
                        missed.append(f"{title}: upload fetch {i} not whole and byte-exact")
                    elif figures[f"upload {i} s"] > goal:
                        missed.append(f"{title}: upload fetch {i} took {figures[f'upload {i} s']:.1f} s")
                if not figures["GIF whole"]:
                    missed.append(f"{title}: the GIF read at 256 KiB/s cut after {figures['GIF MB']:.1f} MB")
            if name == "slowlinks":
                missed += [f"{title}: {k[:-6]} not answered" for k, v in figures.items() if not v]
            if name == "readers" and not figures["fast reader whole"]:
                missed.append(f"{title}: the file read at 256 KiB/s cut after {figures['fast reader MB']:.1f} MB")
            if name == "steadyburst" and figures["whole"] < figures["runs"]:
                missed.append(f"{title}: the reader at 256 KiB/s whole in {figures['whole']:.0f} of "
                              f"{figures['runs']:.0f} runs (cut after {figures['shortest cut MB']:.2f} MB)")
            if name == "atrate" and (figures["shed"] or figures["cut"]):
                missed.append(f"{title}: of the readers at 34 to 40 KiB/s {figures['shed']:.0f} closed by the reply "
                              f"budget, {figures['cut']:.0f} cut")
            if name == "honestupload" and figures["upload status"] != 200:
                missed.append(f"{title}: the upload at 1 MiB/s got {figures['upload status']:.0f}")
            if name == "checkin" and figures["performed though given up"]:
                missed.append(f"{title}: a check-in performed after its client gave up")
            if name == "descriptors" and figures["404"]:
                missed.append(f"{title}: {figures['404']:.0f} requests for an existing file answered 404")
            if name == "pauses":
                missed += [f"{title}: {k[:-8]} got {v:.0f}" for k, v in figures.items()
                           if k.endswith(": status") and v != 200]
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
