"""The HTTP spine seen from outside: answer bytes, framing, listener cycles,
signals and the command line."""
import signal
import socket
import subprocess
import time

import pytest

from conftest import (NOT_FOUND, OK_EMPTY, SERVER_ERROR, accepts, binary, exchange, free_port,
                      read_all, wait_for)



@pytest.mark.parametrize("request_bytes, answer", [
    pytest.param(b"GET /dbAccess/IMG_URL HTTP/1.1\r\nHost: localhost\r\n\r\n", OK_EMPTY,
                 id="cheap route"),
    pytest.param(b"POST /dbAccess/IMG_URL HTTP/1.1\r\nContent-Length: 3\r\n\r\na=b", OK_EMPTY,
                 id="cheap route with a body"),
    pytest.param(b"Host: localhost\r\nAccept: */*\r\n\r\n", NOT_FOUND, id="no GET or POST line"),
    pytest.param(b"GET\r\n\r\n", NOT_FOUND, id="empty path"),
    pytest.param(b"GET /PRINT/INIT HTTP/1.1\r\n\r\n", SERVER_ERROR, id="route case matters"),
    pytest.param(b"GET / HTTP/1.1\r\n\r\n", SERVER_ERROR, id="root path"),
    pytest.param(b"GET /dbAccess/TOP_GROUP HTTP/1.1\r\n\r\n", SERVER_ERROR,
                 id="argument text missing"),
    pytest.param(b"GET /" + b"a" * 600 + b" HTTP/1.1\r\n\r\n", SERVER_ERROR,
                 id="overlong target"),
    pytest.param(b"POST /x HTTP/1.1\r\nContent-Length: 268435457\r\n\r\n", SERVER_ERROR,
                 id="announced body over 256 MiB"),
])
def test_answers_are_byte_exact(server, request_bytes, answer):
    server.start()
    assert exchange(server.port, request_bytes) == answer
    # The server keeps serving after every kind of answer.
    assert exchange(server.port, b"GET /dbAccess/IMG_URL HTTP/1.1\r\n\r\n") == OK_EMPTY


def test_request_with_length_is_not_cut_at_a_pause(server):
    server.start()
    with socket.create_connection(("127.0.0.1", server.port), timeout=10) as s:
        s.sendall(b"POST /dbAccess/IMG_URL HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc")
        s.settimeout(0.3)
        with pytest.raises(socket.timeout):
            s.recv(1)  # nothing may come while the announced body is incomplete
        s.settimeout(10)
        s.sendall(b"defghij")
        assert read_all(s) == OK_EMPTY


def test_request_without_blank_line_ends_at_the_pause(server):
    server.start()
    assert exchange(server.port, b"GET /dbAccess/IMG_URL HTTP/1.1\r\n") == OK_EMPTY


def test_silent_client_is_closed_without_an_answer(server):
    server.start()
    with socket.create_connection(("127.0.0.1", server.port), timeout=15) as s:
        started = time.monotonic()
        assert read_all(s) == b""
        assert time.monotonic() - started >= 1.5


def test_query_is_answered_while_silent_and_trickling_connections_are_open(server):
    server.start()
    body = b"0123456789abcdef"
    head = b"POST /dbAccess/IMG_URL HTTP/1.1\r\nContent-Length: %d\r\n\r\n" % len(body)
    trickling, silent = [], []
    try:
        # Far more requests in progress than there are workers.
        for _ in range(200):
            s = socket.create_connection(("127.0.0.1", server.port), timeout=20)
            s.sendall(head)
            trickling.append(s)
        for _ in range(200):
            silent.append(socket.create_connection(("127.0.0.1", server.port), timeout=20))
        for i in range(2):
            time.sleep(0.5)
            for s in trickling:
                s.sendall(body[i:i + 1])

        assert exchange(server.port, b"GET /dbAccess/IMG_URL HTTP/1.1\r\n\r\n") == OK_EMPTY
        # Answered while every trickling request was still open: none of them
        # has been answered or closed.
        for s in trickling:
            s.setblocking(False)
            with pytest.raises(BlockingIOError):
                s.recv(1)
            s.setblocking(True)

        for s in trickling:
            s.sendall(body[2:])
        assert [read_all(s) for s in trickling] == [OK_EMPTY] * len(trickling)
    finally:
        for s in trickling + silent:
            s.close()


def test_connections_beyond_the_bound_wait_until_one_ends(server, tmp_path, monkeypatch):
    # A low open-file limit gives a low bound on open connections.
    wrapper = tmp_path / "limited-server"
    wrapper.write_text('#!/bin/sh\nulimit -n 300\nexec "%s" "$@"\n' % binary())
    wrapper.chmod(0o755)
    monkeypatch.setenv("QUILLBOX_SERVER", str(wrapper))
    server.start()
    silent = []
    try:
        # Silent connections until the server says it stopped accepting.
        while "open connections at their bound" not in server.log():
            assert len(silent) < 300, server.log()
            silent.append(socket.create_connection(("127.0.0.1", server.port), timeout=20))
            if len(silent) % 10 == 0:
                time.sleep(0.05)
        # A query now waits in the backlog until a silent connection is dropped.
        assert exchange(server.port, b"GET /dbAccess/IMG_URL HTTP/1.1\r\n\r\n",
                        timeout=30) == OK_EMPTY
        dropped = 0
        for s in silent:
            s.setblocking(False)
            try:
                dropped += s.recv(1) == b""
            except BlockingIOError:
                pass
        assert dropped > 0
    finally:
        for s in silent:
            s.close()


def test_port_held_by_another_socket_is_taken_once_freed(server):
    blocker = socket.socket()
    blocker.bind(("0.0.0.0", server.port))
    blocker.listen(1)
    server.start(wait=False)
    assert wait_for(lambda: "retrying every 100 ms" in server.log(), 10), server.log()
    assert server.proc.poll() is None
    blocker.close()
    assert wait_for(lambda: accepts(server.port), 5), server.log()
    assert exchange(server.port, b"GET /dbAccess/IMG_URL HTTP/1.1\r\n\r\n") == OK_EMPTY


def test_sighup_after_a_port_change_moves_the_listener(server):
    server.start()
    old_port = server.port
    new_port = free_port()
    server.write_port(new_port)
    server.proc.send_signal(signal.SIGHUP)
    assert wait_for(lambda: accepts(new_port), 5), server.log()
    assert exchange(new_port, b"GET /dbAccess/IMG_URL HTTP/1.1\r\n\r\n") == OK_EMPTY
    assert wait_for(lambda: not accepts(old_port), 5)


@pytest.mark.parametrize("signum", [signal.SIGTERM, signal.SIGINT], ids=["SIGTERM", "SIGINT"])
def test_stop_signal_ends_the_process_within_a_second(server, signum):
    server.start()
    # A connection in the middle of its request does not hold the shutdown up.
    with socket.create_connection(("127.0.0.1", server.port)) as s:
        s.sendall(b"POST /dbAccess/IMG_URL HTTP/1.1\r\nContent-Length: 100\r\n\r\n")
        time.sleep(0.2)
        server.proc.send_signal(signum)
        assert server.proc.wait(timeout=1.0) == 0


@pytest.mark.parametrize("args, status, stdout_start", [
    pytest.param(["--version"], 0, b"quillbox-server ", id="version"),
    pytest.param(["--help"], 0, b"Usage: quillbox-server", id="help"),
    pytest.param(["--bogus"], 1, b"", id="unknown option"),
    pytest.param(["--catalogue-url"], 1, b"", id="URL missing"),
    pytest.param(["--catalogue-url", "ftp://x"], 1, b"", id="not an http URL"),
])
def test_command_line(server, args, status, stdout_start):
    result = server.run(*args)
    assert result.returncode == status
    assert result.stdout.startswith(stdout_start)
    if status:
        assert result.stderr.count(b"\n") == 1
