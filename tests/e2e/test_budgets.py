"""Attacks a web page or a local program could make, each against the real
server: whatever the attack, a normal query beside it is answered, the
server's resident memory stays under the row's bound, the data folder grows
by no more than the row allows and holds nothing half-written, and the server
answers normally afterwards. Bounds are loose: the test build runs under
AddressSanitizer, whose own overhead and quarantine count as resident memory."""
import base64
import io
import itertools
import os
import socket
import sqlite3
import sys
import threading
import time
import zipfile

import pytest

from conftest import OK, SERVER_ERROR, Sync, ask, exchange, read_all, wait_for

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tools"))
import catalogue_server  # noqa: E402
import sample_catalogue  # noqa: E402
from pngfile import flat_png, noise_png  # noqa: E402

MIB = 1 << 20
PER_PEER = 24  # the connections one peer may hold, lowered for the test
NORMAL = "/dbAccess/LIST&P"
SUB_GROUP_FAILED = OK + b"51\r\n\r\n<pictGroupSubLevelInfos>\n</pictGroupSubLevelInfos>\n"


def post(path, body):
    return (b"POST %s HTTP/1.1\r\nContent-Type: text/plain\r\nContent-Length: %d\r\n\r\n"
            % (path.encode(), len(body)) + body)


def page(session, image):
    return post("/print/add", b"id=%s&img=data:image/png;base64,%s"
                % (session.encode(), base64.b64encode(image)))


def in_parallel(count, work):
    results = [None] * count

    def run(i):
        results[i] = work()
    threads = [threading.Thread(target=run, args=(i,)) for i in range(count)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(120)
    return results


def peak_mib(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024
    return 0


def folder_bytes(folder):
    return sum(os.path.getsize(os.path.join(root, name))
               for root, _, names in os.walk(folder) for name in names)


def bomb_zip(unpacked):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as archive:
        with archive.open("bomb.png", "w", force_zip64=True) as entry:
            for _ in range(unpacked // MIB):
                entry.write(bytes(MIB))
    return buffer.getvalue()


# -- the attacks: each asserts what its own requests get ----------------------

def runaway_join(sync):
    db = sqlite3.connect(sync.data / "qkprint.db")
    with db:
        db.executemany("INSERT INTO pict_group_sub_level_infos (id, topLevelId, name) "
                       "VALUES (?, 1, 'g')", [(i,) for i in range(1, 31)])
    db.close()
    tables = ",".join("pict_group_sub_level_infos t%d" % i for i in range(8))
    condition = "(SELECT count(*) FROM %s)>0" % tables
    request = ("GET /dbAccess/SUB_GROUP@list&%s HTTP/1.1\r\n\r\n"
               % condition.replace(" ", "%20")).encode()
    answers = in_parallel(12, lambda: exchange(sync.server.port, request, timeout=60))
    # Stopped by its time budget, or refused while others ran: a failed statement.
    assert answers == [SUB_GROUP_FAILED] * 12
    assert "statement stopped after" in sync.server.log()
    assert "refused a client-written condition" in sync.server.log()


def huge_value(sync):
    request = b"GET /dbAccess/PICT_RECENT@length(hex(randomblob(500000000)))>0 HTTP/1.1\r\n\r\n"
    answers = in_parallel(4, lambda: exchange(sync.server.port, request, timeout=60))
    assert answers == [OK + b"31\r\n\r\n<pictInfoList>\n</pictInfoList>\n"] * 4


def form_items(sync):
    flood = b"a&" * (20 * MIB)  # 40 MB
    assert exchange(sync.server.port, post("/print/init", flood), timeout=60) == SERVER_ERROR
    assert "more than 256 form items" in sync.server.log()
    # A route that reads no items does not look at the body at all.
    assert exchange(sync.server.port, post(NORMAL, flood), timeout=60).startswith(OK)


def unended_pages(sync):
    session = ask(sync.server.port, "/print/init")
    image = noise_png(3900)  # about 45 MB encoded
    answers = [exchange(sync.server.port, page(session, image), timeout=120) for _ in range(3)]
    assert answers == [OK + b"0\r\n\r\n"] * 2 + [SERVER_ERROR]
    assert "page refused: its pages would pass" in sync.server.log()


def idle_session(sync):
    session = ask(sync.server.port, "/print/init")
    assert exchange(sync.server.port, page(session, flat_png(64))) == OK + b"0\r\n\r\n"
    assert wait_for(lambda: ask(sync.server.port, "/print/init") and
                    "print session %s expired" % session in sync.server.log(), 10, interval=0.5)


def open_sessions(sync):
    answers = [exchange(sync.server.port, post("/print/init", b"width=210")) for _ in range(17)]
    assert all(a.startswith(OK) for a in answers[:16])
    assert answers[16] == SERVER_ERROR
    assert "16 sessions are open already" in sync.server.log()


def pixel_bomb(sync):
    session = ask(sync.server.port, "/print/init")
    too_large = page(session, flat_png(8000))  # 64 million pixels: refused by its header
    answers = in_parallel(8, lambda: exchange(sync.server.port, too_large, timeout=60))
    assert answers == [SERVER_ERROR] * 8
    assert "pixels is larger than" in sync.server.log()
    fits = page(session, flat_png(5700))  # admitted, decoded a few at a time
    answers = in_parallel(6, lambda: exchange(sync.server.port, fits, timeout=120))
    assert all(a.startswith(OK) for a in answers), answers


def slow_senders(sync):
    """More connections than one peer may hold, from another loopback address
    than the normal queries, each announcing a body and sending nothing more."""
    head = b"POST /print/add HTTP/1.1\r\nContent-Length: 1000000\r\n\r\ni"
    held = []
    try:
        for _ in range(PER_PEER + 8):
            s = socket.socket()
            s.settimeout(5)
            held.append(s)
            try:
                s.bind(("127.0.0.2", 0))
                s.connect(("127.0.0.1", sync.server.port))
                s.sendall(head)
            except OSError:
                pass  # past the peer's bound: closed at once
        assert wait_for(lambda: "gave way to a new connection" in sync.server.log(), 10)

        def closed_by_server(s):
            try:
                s.settimeout(0.05)
                return s.recv(1) == b""
            except socket.timeout:
                return False
            except OSError:
                return True
        # Never more than the peer's share stays open.
        assert sum(closed_by_server(s) for s in held) >= len(held) - PER_PEER
        # The attacking peer itself still gets a query in: an idle waiting
        # connection gives way to it.
        time.sleep(0.5)
        with socket.socket() as s:
            s.settimeout(30)
            s.bind(("127.0.0.2", 0))
            s.connect(("127.0.0.1", sync.server.port))
            s.sendall(b"GET %s HTTP/1.1\r\n\r\n" % NORMAL.encode())
            assert read_all(s).startswith(OK)
    finally:
        for s in held:
            s.close()


BODY_BUDGET_REFUSAL = (b"HTTP/1.1 503 Service Unavailable\r\nAccess-Control-Allow-Origin: *\r\n"
                       b"Content-Type: text/plain; charset=utf-8\r\nContent-Length: 72\r\n"
                       b"Retry-After: 5\r\nConnection: close\r\n\r\n"
                       b"the server is receiving too much at once; send this request again later\n")


def answer_after_refusal(s):
    """What the server answered before closing a connection whose body it left
    unread (the close resets the connection after the answer)."""
    chunks = []
    try:
        while chunk := s.recv(65536):
            chunks.append(chunk)
    except OSError:
        pass
    return b"".join(chunks)


def half_sent_bodies(sync):
    """64 connections from four peer addresses, each announcing a 200 MiB body
    and sending half of it. Two fit the bodies budget (512 MiB in all, a peer
    at most half of it) and are read; every other one is answered 503 before
    its body is read, and closed."""
    peers = ["127.0.0.%d" % (2 + i) for i in range(4)]
    head = b"POST /print/add HTTP/1.1\r\nContent-Length: %d\r\n\r\n" % (200 * MIB)
    chunk = bytes(MIB)
    sockets = []
    numbers = itertools.count()

    def attack():
        s = socket.socket()
        sockets.append(s)
        s.settimeout(120)
        s.bind((peers[next(numbers) % len(peers)], 0))
        s.connect(("127.0.0.1", sync.server.port))
        try:
            s.sendall(head)
            for _ in range(100):
                s.sendall(chunk)
        except OSError:
            return answer_after_refusal(s)
        return "half sent"
    try:
        outcomes = in_parallel(64, attack)
    finally:
        for s in sockets:
            s.close()
    assert outcomes.count("half sent") == 2
    assert [o for o in outcomes if o != "half sent"] == [BODY_BUDGET_REFUSAL] * 62
    assert "unread: the requests being received hold as much as" in sync.server.log()
    # A large body is taken again.
    assert exchange(sync.server.port, post(NORMAL, bytes(MIB)), timeout=60).startswith(OK)


def zip_bomb(sync):
    assert sync.ask("/dbAccess/SOZAI_DOWNLOAD@kind=2&folder=bomb&value=1", timeout=120) == ""
    assert "cannot unpack the archive: its entries would take" in sync.server.log()
    assert not (sync.data / "sozai4" / "bomb" / "bomb.png").exists()


def huge_download(sync):
    sync.stand_in.faults["/sozai4/big"] = "huge-announced"
    sync.stand_in.faults["/sozai4_S/big"] = "huge-announced"
    assert sync.ask("/dbAccess/SOZAI_DOWNLOAD@kind=2&folder=big&value=1", timeout=120) == ""
    assert "body larger than" in sync.server.log()


def no_disk_reserve(sync):
    # The server was started with a reserve larger than any disk.
    assert sync.ask("/dbAccess/SOZAI_DOWNLOAD@kind=2&folder=top001&value=1", timeout=120) == ""
    assert "bytes free" in sync.server.log()
    assert not any(files for _, _, files in os.walk(sync.data / "sozai4"))


ATTACKS = [
    # id, attack, peak resident MiB, data folder growth MiB, environment
    pytest.param(runaway_join, 700, 0, {}, id="runaway-self-join"),
    pytest.param(huge_value, 700, 0, {}, id="huge-value-in-condition"),
    pytest.param(form_items, 1200, 0, {}, id="40-MB-form-flood"),
    pytest.param(unended_pages, 1500, 0, {}, id="pages-past-the-session-bytes"),
    pytest.param(idle_session, 700, 0, {"QUILLBOX_PRINT_IDLE_SECONDS": "1"}, id="idle-session"),
    pytest.param(open_sessions, 700, 0, {}, id="too-many-open-sessions"),
    pytest.param(pixel_bomb, 1200, 0, {}, id="pixel-bomb-pages"),
    pytest.param(slow_senders, 700, 0, {"QUILLBOX_CONNECTIONS_PER_PEER": str(PER_PEER)},
                 id="slow-senders-from-one-peer"),
    pytest.param(half_sent_bodies, 1024, 0, {}, id="64-half-sent-200-MiB-bodies"),
    pytest.param(zip_bomb, 700, 1, {}, id="zip-bomb"),
    pytest.param(huge_download, 700, 1, {}, id="download-past-its-cap"),
    pytest.param(no_disk_reserve, 700, 0, {"QUILLBOX_DISK_RESERVE_BYTES": str(1 << 62)},
                 id="download-into-the-reserve"),
]


@pytest.fixture
def catalogue():
    return sample_catalogue.generate(seed=1, products=12)


@pytest.fixture
def bomb_stand_in(catalogue):
    srv = catalogue_server.StandIn(catalogue)
    bomb = bomb_zip(100 * MIB)  # about 100 KB
    plain = srv.archive
    srv.archive = lambda folder: bomb if folder == "bomb" else plain(folder)
    srv.start()
    yield srv
    srv.stop()


@pytest.mark.parametrize("attack, peak_bound, disk_bound, env", ATTACKS)
def test_attack_leaves_the_server_serving(server, bomb_stand_in, catalogue, monkeypatch, attack,
                                          peak_bound, disk_bound, env):
    monkeypatch.setenv("QUILLBOX_HTTP_STALL_SECONDS", "2")
    for name, value in env.items():
        monkeypatch.setenv(name, value)
    sync = Sync(server, bomb_stand_in, catalogue).start().prepare()
    reference = ask(server.port, NORMAL)
    before = folder_bytes(sync.data)

    stop = threading.Event()
    normal = []

    def probe():
        while not stop.is_set():
            try:
                normal.append(ask(server.port, NORMAL, timeout=30))
            except (AssertionError, OSError) as failure:
                normal.append(repr(failure))
            time.sleep(0.2)
    prober = threading.Thread(target=probe)
    prober.start()
    try:
        attack(sync)
    finally:
        stop.set()
        prober.join(60)
    assert normal and all(answer == reference for answer in normal)
    assert peak_mib(server.proc.pid) < peak_bound
    assert folder_bytes(sync.data) - before <= disk_bound * MIB
    leftovers = [name for _, _, names in os.walk(sync.data) for name in names
                 if name.endswith(".partial")]
    assert leftovers == []
    assert ask(server.port, NORMAL) == reference


def test_unfinished_files_are_removed_at_start(server):
    data = server.data_home / "jp.co.tavrim.Pelloran.V3" / "data"
    (data / "sozai4" / "F").mkdir(parents=True)
    (data / "sozai4" / "F" / "a.png.partial").write_bytes(b"half")
    (data / "sozai4" / "F" / "b.png").write_bytes(b"whole")
    server.start()
    assert not (data / "sozai4" / "F" / "a.png.partial").exists()
    assert (data / "sozai4" / "F" / "b.png").read_bytes() == b"whole"
    assert "removed 1 unfinished" in server.log()
