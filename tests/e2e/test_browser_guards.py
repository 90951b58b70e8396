"""The browser-facing guards seen from outside: refused origins, CORS
preflight, and the listening address, all set in the [Server] group of the
configuration file and read again at every rebind."""
import os
import signal
import socket
import sqlite3
import struct

import pytest

from conftest import NOT_FOUND, OK, OK_EMPTY, SERVER_ERROR, exchange, wait_for

FORBIDDEN = (b"HTTP/1.1 403 Forbidden\r\nAccess-Control-Allow-Origin: *\r\n"
             b"Connection: close\r\n\r\n")
PREFLIGHT_HEAD = (b"HTTP/1.1 204 No Content\r\nAccess-Control-Allow-Origin: *\r\n"
                  b"Access-Control-Allow-Methods: GET, POST, OPTIONS\r\n")
PREFLIGHT_TAIL = b"Access-Control-Allow-Private-Network: true\r\nConnection: close\r\n\r\n"
PREFLIGHT = PREFLIGHT_HEAD + PREFLIGHT_TAIL

ALLOWED = "https://label.example.com http://localhost:8080"


def configure(server, **keys):
    """Writes the [Server] group: the test's port and `keys`."""
    lines = ["[Server]", "port=%d" % server.port] + ["%s=%s" % kv for kv in keys.items()]
    server.config_file.parent.mkdir(parents=True, exist_ok=True)
    server.config_file.write_text("\n".join(lines) + "\n")


def request(line, *headers, body=b""):
    head = line + b"\r\n" + b"".join(h + b"\r\n" for h in headers)
    if body:
        head += b"Content-Length: %d\r\n" % len(body)
    return head + b"\r\n" + body


def listening_addresses(server):
    """(family, address) of every listening TCP socket of the server process."""
    inodes = set()
    fd_dir = "/proc/%d/fd" % server.proc.pid
    for fd in os.listdir(fd_dir):
        try:
            target = os.readlink(os.path.join(fd_dir, fd))
        except OSError:
            continue
        if target.startswith("socket:["):
            inodes.add(target[8:-1])
    found = set()
    for table, family in (("/proc/net/tcp", socket.AF_INET), ("/proc/net/tcp6", socket.AF_INET6)):
        if not os.path.exists(table):
            continue
        with open(table) as f:
            next(f)
            for row in f:
                fields = row.split()
                local, state, inode = fields[1], fields[3], fields[9]
                if state != "0A" or inode not in inodes:
                    continue
                address, port = local.split(":")
                words = [int(address[i:i + 8], 16) for i in range(0, len(address), 8)]
                packed = b"".join(struct.pack("<I", w) for w in words)
                found.add((family, socket.inet_ntop(family, packed), int(port, 16)))
    return found


def logs_stored(server):
    db = sqlite3.connect(server.data_home / "jp.co.tavrim.Pelloran.V3" / "data" / "qkprint.db")
    try:
        return db.execute("SELECT event_contents3 FROM logs ORDER BY id").fetchall()
    finally:
        db.close()


def test_refused_origin_gets_forbidden_and_nothing_is_done(server):
    configure(server, allowedOrigins=ALLOWED)
    server.start()
    assert exchange(server.port, request(b"GET /dbAccess/DB_URL HTTP/1.1")).startswith(OK)
    rows = [
        # name, request, answer, usage log entries stored after it
        ("other origin", request(b"GET /dbAccess/LOG@p=A&t=1 HTTP/1.1",
                                 b"Origin: https://evil.example"), FORBIDDEN, []),
        ("other origin, form body", request(b"POST /dbAccess/LOG@p=B&t=1 HTTP/1.1",
                                            b"Origin: http://localhost:8081", body=b"a=b"),
         FORBIDDEN, []),
        ("null not listed", request(b"GET /dbAccess/LOG@p=C&t=1 HTTP/1.1", b"Origin: null"),
         FORBIDDEN, []),
        ("no Origin", request(b"GET /dbAccess/LOG@p=D&t=1 HTTP/1.1", b"Host: localhost"),
         OK_EMPTY, [("D",)]),
        ("allowed origin", request(b"GET /dbAccess/LOG@p=E&t=1 HTTP/1.1",
                                   b"Origin: https://label.example.com"), OK_EMPTY,
         [("D",), ("E",)]),
        ("allowed origin, case and default port",
         request(b"GET /dbAccess/LOG@p=F&t=1 HTTP/1.1", b"origin: HTTPS://Label.Example.com:443"),
         OK_EMPTY, [("D",), ("E",), ("F",)]),
        ("other answers keep their bytes", request(b"GET / HTTP/1.1",
                                                   b"Origin: http://localhost:8080"),
         SERVER_ERROR, [("D",), ("E",), ("F",)]),
        ("not found keeps its bytes", request(b"GET"), NOT_FOUND,
         [("D",), ("E",), ("F",)]),
    ]
    for name, raw, answer, stored in rows:
        assert (name, exchange(server.port, raw)) == (name, answer)
        assert (name, logs_stored(server)) == (name, stored)


@pytest.mark.parametrize("allowed", [None, ALLOWED], ids=["any origin", "listed origins"])
def test_preflight_answer_bytes(server, allowed):
    if allowed:
        configure(server, allowedOrigins=allowed)
    server.start()
    rows = [
        ("bare", request(b"OPTIONS /dbAccess/LOG@p=A&t=1 HTTP/1.1"), PREFLIGHT),
        ("browser preflight", request(
            b"OPTIONS /print/add HTTP/1.1", b"Origin: http://localhost:8080",
            b"Access-Control-Request-Method: POST",
            b"Access-Control-Request-Headers: content-type,x-requested-with",
            b"Access-Control-Request-Private-Network: true"),
         PREFLIGHT_HEAD + b"Access-Control-Allow-Headers: content-type,x-requested-with\r\n"
         + PREFLIGHT_TAIL),
        ("line break smuggled into the requested headers", request(
            b"OPTIONS / HTTP/1.1", b"Access-Control-Request-Headers: a\nSet-Cookie: x=1"),
         PREFLIGHT),
        ("preflight from another origin", request(
            b"OPTIONS /print/add HTTP/1.1", b"Origin: https://evil.example",
            b"Access-Control-Request-Headers: content-type"),
         FORBIDDEN if allowed else
         PREFLIGHT_HEAD + b"Access-Control-Allow-Headers: content-type\r\n" + PREFLIGHT_TAIL),
    ]
    for name, raw, answer in rows:
        assert (name, exchange(server.port, raw)) == (name, answer)
    # Nothing of the preflight's path ran: no print session was made.
    assert exchange(server.port, request(b"POST /print/init HTTP/1.1")) == OK + b"1\r\n\r\n0"


def has_ipv6_loopback():
    try:
        with socket.socket(socket.AF_INET6, socket.SOCK_STREAM) as s:
            s.bind(("::1", 0))
        return True
    except OSError:
        return False


@pytest.mark.parametrize("value, family, address, error", [
    pytest.param(None, socket.AF_INET, "0.0.0.0", None, id="default: every interface"),
    pytest.param("127.0.0.1", socket.AF_INET, "127.0.0.1", None, id="loopback"),
    pytest.param("[::1]", socket.AF_INET6, "::1", None, id="IPv6 loopback"),
    pytest.param("localhost", socket.AF_INET, "127.0.0.1", None, id="localhost is loopback"),
    pytest.param("my-laptop", socket.AF_INET, "127.0.0.1",
                 '[Server] bindAddress "my-laptop" is not an IPv4 or IPv6 address or localhost; '
                 'using 127.0.0.1', id="not an address falls back to loopback"),
])
def test_listens_on_the_configured_address(server, value, family, address, error):
    if family == socket.AF_INET6 and not has_ipv6_loopback():
        pytest.skip("no IPv6 loopback here")
    if value is not None:
        configure(server, bindAddress=value)
    server.start(wait=False)
    assert wait_for(lambda: listening_addresses(server), 10), server.log()
    assert listening_addresses(server) == {(family, address, server.port)}
    with socket.create_connection((address if address != "0.0.0.0" else "127.0.0.1",
                                   server.port), timeout=10) as s:
        s.sendall(b"GET /dbAccess/IMG_URL HTTP/1.1\r\n\r\n")
        chunks = []
        while chunk := s.recv(65536):
            chunks.append(chunk)
    assert b"".join(chunks) == OK_EMPTY
    if error:
        # One line, not one per listening cycle: a rebind reads it again
        # without repeating it.
        server.proc.send_signal(signal.SIGHUP)
        assert wait_for(lambda: server.log().count("listening on 127.0.0.1 port") == 2, 10)
        assert sum(error in line for line in server.log().splitlines()) == 1


def test_rebind_picks_up_changed_settings(server):
    configure(server, allowedOrigins=ALLOWED)
    server.start()
    from_browser = request(b"GET /dbAccess/IMG_URL HTTP/1.1", b"Origin: https://other.example")
    assert exchange(server.port, from_browser) == FORBIDDEN
    assert listening_addresses(server) == {(socket.AF_INET, "0.0.0.0", server.port)}

    configure(server, allowedOrigins="*", bindAddress="127.0.0.1")
    server.proc.send_signal(signal.SIGHUP)
    assert wait_for(lambda: listening_addresses(server) == {
        (socket.AF_INET, "127.0.0.1", server.port)}, 10), server.log()
    assert exchange(server.port, from_browser) == OK_EMPTY

    configure(server, allowedOrigins="https://other.example")
    assert server.run("--relisten").returncode == 0
    assert wait_for(lambda: listening_addresses(server) == {
        (socket.AF_INET, "0.0.0.0", server.port)}, 10), server.log()
    assert exchange(server.port, from_browser) == OK_EMPTY
    assert exchange(server.port, request(b"GET /dbAccess/IMG_URL HTTP/1.1",
                                         b"Origin: https://label.example.com")) == FORBIDDEN
