"""Printing, saving and the application shell seen from outside: session
identifiers, the control channel, the single instance, headless saves and a
real print through a private CUPS scheduler."""
import signal
import sqlite3
import subprocess
import threading
import time
from concurrent.futures import ThreadPoolExecutor

import pytest

from conftest import (NOT_FOUND, OK, OK_EMPTY, accepts, data_image, exchange, free_port, ok,
                      post, ppm_pixels, wait_for)


def test_identifiers_count_from_zero_and_saves_take_one(server):
    server.start()
    assert post(server.port, b"/print/init", b"width=210&height=297") == ok(b"0")
    assert post(server.port, b"/print/init", b"") == ok(b"1")
    assert post(server.port, b"/saveqx/save?name=a.qx3", b"document") == OK_EMPTY
    assert post(server.port, b"/print/init", b"") == ok(b"3")


def test_headless_save_keeps_the_name_and_never_overwrites(server):
    folder = server.root / "saved"
    server.config_file.write_text("[Server]\nport=%d\n[Save]\nfolder=%s\n"
                                  % (server.port, folder))
    server.start()
    for name, body in [(b"../../report.pdf", b"one"), (b"report.pdf", b"two"),
                       (b"", b"three")]:
        assert post(server.port, b"/saveqx/save?name=" + name, body) == OK_EMPTY
    expected = {"report.pdf": b"one", "report (1).pdf": b"two", "document.qx3": b"three"}
    assert wait_for(lambda: all((folder / name).exists() for name in expected), 10), \
        server.log()
    # A file appears under its name only when whole, and nothing else is left.
    assert {path.name: path.read_bytes() for path in folder.iterdir()} == expected
    assert not (server.root / "report.pdf").exists()


def test_headless_save_falls_back_when_the_save_folder_cannot_be_used(server):
    blocker = server.root / "not-a-folder"
    blocker.write_text("a file")
    server.config_file.write_text("[Server]\nport=%d\n[Save]\nfolder=%s/saved\n"
                                  % (server.port, blocker))
    server.start()
    assert post(server.port, b"/saveqx/save?name=report.pdf", b"kept") == OK_EMPTY
    saved = server.home / "Downloads" / "report.pdf"
    assert wait_for(saved.exists, 10), server.log()
    assert saved.read_bytes() == b"kept"
    assert "trying %s" % saved.parent in server.log()


def test_second_instance_exits_at_once_while_the_first_serves(server):
    server.start()
    second = server.run(timeout=10)
    assert second.returncode == 0
    assert second.stdout == b""
    assert second.stderr == b"quillbox-server: already running (pid %d, port %d)\n" % (
        server.proc.pid, server.port)
    assert post(server.port, b"/print/init", b"") == ok(b"0")


def test_control_messages(server):
    server.start()
    socket_path = server.runtime / "qxprintserverprop"
    assert socket_path.exists()
    assert oct(socket_path.stat().st_mode & 0o777) == "0o600"
    # 1037 quits only with 513; an unknown message changes nothing.
    assert server.run("--send", "1037", "0").returncode == 0
    assert server.run("--send", "4711").returncode == 2
    time.sleep(0.3)
    assert server.proc.poll() is None
    assert accepts(server.port)
    assert server.run("--send", "1037", "513").returncode == 0
    assert server.proc.wait(timeout=5) == 0
    assert not socket_path.exists()
    # No server: the client says so.
    result = server.run("--quit")
    assert result.returncode == 1
    assert result.stderr == b"quillbox-server: no running server (no answer on %s)\n" % (
        str(socket_path).encode())


def test_quit_message_ends_the_server(server):
    server.start()
    assert server.run("--send", "1041").returncode == 0
    assert server.proc.wait(timeout=5) == 0


def test_relisten_after_a_port_change_moves_the_listener(server):
    server.start()
    old_port = server.port
    new_port = free_port()
    server.write_port(new_port)
    assert server.run("--relisten").returncode == 0
    assert wait_for(lambda: accepts(new_port), 5), server.log()
    assert wait_for(lambda: not accepts(old_port), 5)
    server.port = new_port


@pytest.mark.concurrency
def test_sigterm_with_pages_waiting_exits_cleanly(server):
    server.start()
    assert post(server.port, b"/print/init", b"width=210&height=297") == ok(b"0")
    for _ in range(3):
        assert post(server.port, b"/print/add",
                    b"id=0&img=" + data_image(64, 64, (1, 2, 3, 255))) == OK_EMPTY
    server.proc.send_signal(signal.SIGTERM)
    # The fixture checks the exit status, which the leak checker would spoil.
    assert server.proc.wait(timeout=10) == 0, server.log()


@pytest.mark.concurrency
def test_pages_from_many_connections_to_one_session(server):
    server.start()
    assert post(server.port, b"/print/init", b"width=210&height=297") == ok(b"0")
    pages = [b"id=0&img=" + data_image(8, 8, (i, 0, 0, 255)) for i in range(48)]

    def send(number):
        if number == len(pages) // 2:
            # The job starts on the UI thread while pages keep arriving.
            assert post(server.port, b"/print/end", b"id=0") == OK_EMPTY
        return post(server.port, b"/print/add", pages[number])

    with ThreadPoolExecutor(16) as pool:
        answers = list(pool.map(send, range(len(pages))))
    assert answers == [OK_EMPTY] * len(pages)


@pytest.mark.concurrency
def test_sigterm_in_the_middle_of_a_load(server):
    server.start()
    data_home = str(server.data_home).encode()
    assert exchange(server.port, b"GET /dbAccess/DB_URL HTTP/1.1\r\n\r\n") == ok(data_home)
    assert post(server.port, b"/print/init", b"width=210&height=297") == ok(b"0")
    categories = exchange(server.port, b"GET /dbAccess/LIST&C HTTP/1.1\r\n\r\n")
    assert categories.startswith(OK), categories
    page = b"id=0&img=" + data_image(8, 8, (9, 9, 9, 255))
    # What each kind of request sends and the answer it must get while the
    # server runs.
    kinds = {
        "query": (b"GET /dbAccess/LIST&C HTTP/1.1\r\n\r\n", categories),
        "status": (b"GET /dbAccess/UPDATE_STATUS_DB HTTP/1.1\r\n\r\n", ok(b"V=0&M=100")),
        "log": (b"GET /dbAccess/LOG@p=GP-1&t=2024-01-01 HTTP/1.1\r\n\r\n", ok(b"")),
        "page": (b"POST /print/add HTTP/1.1\r\nContent-Length: %d\r\n\r\n%s"
                 % (len(page), page), OK_EMPTY),
    }
    # (kind, answer bytes or the exception's name, ended before the signal)
    outcomes = []
    lock = threading.Lock()
    signalled = threading.Event()
    done = threading.Event()

    def client(kind):
        request, _ = kinds[kind]
        while not done.is_set():
            try:
                outcome = exchange(server.port, request, timeout=30)
            except OSError as error:
                outcome = type(error).__name__
            with lock:
                outcomes.append((kind, outcome, not signalled.is_set()))
            if signalled.is_set() and outcome == "ConnectionRefusedError":
                return  # the server is gone

    clients = [threading.Thread(target=client, args=(kind,))
               for kind in kinds for _ in range(4)]
    for thread in clients:
        thread.start()
    try:
        # Under way: every kind answered several times.
        assert wait_for(lambda: all(
            sum(1 for k, o, _ in list(outcomes) if k == kind and o == kinds[kind][1]) >= 10
            for kind in kinds), 120)
        with lock:
            signalled.set()
            server.proc.send_signal(signal.SIGTERM)
        assert server.proc.wait(timeout=30) == 0, server.log()
    finally:
        done.set()
        for thread in clients:
            thread.join(60)

    # Every exchange that ended before the signal got its answer; once the
    # server stops a connection is answered 404, closed unanswered or refused.
    stopping = {NOT_FOUND, b"", "ConnectionRefusedError", "ConnectionResetError",
                "BrokenPipeError"}
    wrong = [(k, o) for k, o, before in outcomes
             if o != kinds[k][1] and (before or o not in stopping)]
    assert wrong == []
    # Every LOG answered as done is in the table.
    logged = sum(1 for k, o, _ in outcomes if k == "log" and o == kinds["log"][1])
    db = sqlite3.connect(server.data_home / "jp.co.tavrim.Pelloran.V3" / "data" / "qkprint.db")
    try:
        rows = db.execute("SELECT count(*) FROM logs").fetchone()[0]
    finally:
        db.close()
    assert logged <= rows <= sum(1 for k, _, _ in outcomes if k == "log")


def test_headless_server_prints_a_session_on_the_default_destination(server, cups, tmp_path):
    env = dict(cups.env())
    original = server.env
    server.env = lambda: dict(original(), **env)
    server.start()
    pages = [(255, 0, 0, 255), (0, 0, 255, 128)]
    assert post(server.port, b"/print/init",
                b"width=210&height=297&orientation=0&printCopies=1") == ok(b"0")
    for pixel in pages:
        assert post(server.port, b"/print/add", b"id=0&img=" + data_image(30, 40, pixel)) \
            == OK_EMPTY
    assert post(server.port, b"/print/end", b"id=0") == OK_EMPTY
    pdf = cups.wait_for_new_pdf(90)
    assert pdf, "no PDF from CUPS-PDF\n" + cups.error_log()[-3000:] + server.log()
    info = subprocess.run(["pdfinfo", pdf], capture_output=True, text=True, timeout=60).stdout
    assert "Pages:           2" in info, info
    assert "595 x 842 pts (A4)" in info, info
    expected = [(255, 0, 0), (127, 127, 255)]  # half-transparent blue over white
    for number, colour in enumerate(expected, start=1):
        prefix = str(tmp_path / ("page%d" % number))
        subprocess.run(["pdftoppm", "-r", "20", "-f", str(number), "-l", str(number),
                        "-singlefile", pdf, prefix], check=True, timeout=60)
        width, height, pixels = ppm_pixels(prefix + ".ppm")
        assert abs(width - 165) <= 1 and abs(height - 234) <= 1, (width, height)
        for x, y in [(2, 2), (width // 2, height // 2), (width - 3, height - 3)]:
            offset = 3 * (y * width + x)
            got = tuple(pixels[offset:offset + 3])
            assert all(abs(a - b) <= 8 for a, b in zip(got, colour)), (number, x, y, got)
