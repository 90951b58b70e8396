"""The guards seen from outside: the listening addresses, connections of
other users, the Host header, origins (refused, listed, unlisted without a
display), the CORS preflight, set in the [Server] group of the configuration
file and read again at every rebind, and the server's own files, which no
route hands out."""
import os
import signal
import socket
import sqlite3
import struct
import subprocess
import textwrap

import pytest

from conftest import (NOT_FOUND, OK, OK_EMPTY, SERVER_ERROR, exchange, has_ipv6_loopback,
                      read_all, wait_for)



def forbidden(reason):
    """The forbidden answer naming `reason` for the page."""
    return (b"HTTP/1.1 403 Forbidden\r\nAccess-Control-Allow-Origin: *\r\n"
            b"Access-Control-Expose-Headers: X-Quillbox-Refused\r\n"
            b"X-Quillbox-Refused: " + reason + b"\r\nConnection: close\r\n\r\n")


FORBIDDEN = forbidden(b"not-allowed")
DENIED = forbidden(b"denied")
WAITING = forbidden(b"waiting-for-user")
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


def test_unlisted_and_refused_origins_do_no_work(server):
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


@pytest.mark.parametrize("allowed", ["*", ALLOWED], ids=["any origin", "listed origins"])
def test_preflight_answer_bytes(server, allowed):
    configure(server, allowedOrigins=allowed, deniedOrigins="https://evil.example"
              if allowed != "*" else "")
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
         DENIED if allowed != "*" else
         PREFLIGHT_HEAD + b"Access-Control-Allow-Headers: content-type\r\n" + PREFLIGHT_TAIL),
        # An unlisted origin's preflight asks nothing and does nothing.
        ("preflight from an unlisted origin", request(
            b"OPTIONS /print/add HTTP/1.1", b"Origin: https://unlisted.example"), PREFLIGHT),
    ]
    for name, raw, answer in rows:
        assert (name, exchange(server.port, raw)) == (name, answer)
    # Nothing of the preflight's path ran: no print session was made.
    assert exchange(server.port, request(b"POST /print/init HTTP/1.1")) == OK + b"1\r\n\r\n0"


LOOPBACK = {(socket.AF_INET, "127.0.0.1"), (socket.AF_INET6, "::1")}


@pytest.mark.parametrize("value, expected, line", [
    pytest.param(None, LOOPBACK, None, id="default: this computer only"),
    pytest.param("localhost", LOOPBACK, None, id="localhost: this computer only"),
    pytest.param("LocalHost", LOOPBACK, None, id="localhost in capitals"),
    pytest.param("127.0.0.1", {(socket.AF_INET, "127.0.0.1")}, None, id="IPv4 loopback"),
    pytest.param("[::1]", {(socket.AF_INET6, "::1")}, None, id="IPv6 loopback"),
    pytest.param("0.0.0.0", {(socket.AF_INET, "0.0.0.0")},
                 "warning: bindAddress 0.0.0.0 lets other computers reach the server",
                 id="every interface is a warning"),
    pytest.param("my-laptop", LOOPBACK,
                 '[Server] bindAddress "my-laptop" is not an IPv4 or IPv6 address or localhost; '
                 'using this computer only (127.0.0.1 and ::1)',
                 id="not an address falls back to loopback"),
])
def test_listens_on_the_configured_address(server, value, expected, line):
    if not has_ipv6_loopback():
        if (socket.AF_INET6, "::1") in expected and len(expected) == 1:
            pytest.skip("no IPv6 loopback here")
        expected = expected - {(socket.AF_INET6, "::1")}
    if value is not None:
        configure(server, bindAddress=value)
    server.start(wait=False)
    wanted = {(family, address, server.port) for family, address in expected}
    assert wait_for(lambda: listening_addresses(server) == wanted, 10), (
        listening_addresses(server), server.log())
    for family, address in expected:
        target = {"0.0.0.0": "127.0.0.1"}.get(address, address)
        with socket.create_connection((target, server.port), timeout=10) as s:
            s.sendall(b"GET /dbAccess/IMG_URL HTTP/1.1\r\n\r\n")
            assert read_all(s) == OK_EMPTY, (family, address)
    if line:
        # One line, not one per listening cycle: a rebind reads it again
        # without repeating it.
        count = server.log().count("listening on ")
        server.proc.send_signal(signal.SIGHUP)
        assert wait_for(lambda: server.log().count("listening on ") == count + 1, 10)
        assert sum(line in entry for entry in server.log().splitlines()) == 1, server.log()


def test_rebind_picks_up_changed_settings(server):
    configure(server, allowedOrigins=ALLOWED, deniedOrigins="https://other.example")
    server.start()
    from_browser = request(b"GET /dbAccess/IMG_URL HTTP/1.1", b"Origin: https://other.example")
    assert exchange(server.port, from_browser) == DENIED
    default = {(socket.AF_INET, "127.0.0.1", server.port)}
    if has_ipv6_loopback():
        default.add((socket.AF_INET6, "::1", server.port))
    assert listening_addresses(server) == default

    # A rebind closes the old sockets before it opens the new ones: the new
    # cycle has begun once it logs where it listens.
    def cycles():
        return server.log().count("listening on ")

    before = cycles()
    configure(server, allowedOrigins="*", bindAddress="127.0.0.1")
    server.proc.send_signal(signal.SIGHUP)
    assert wait_for(lambda: cycles() > before and listening_addresses(server) == {
        (socket.AF_INET, "127.0.0.1", server.port)}, 10), server.log()
    assert exchange(server.port, from_browser) == OK_EMPTY

    before = cycles()
    configure(server, allowedOrigins="https://other.example")
    assert server.run("--relisten").returncode == 0
    assert wait_for(lambda: cycles() > before and listening_addresses(server) == default,
                    10), server.log()
    assert exchange(server.port, from_browser) == OK_EMPTY
    # label.example.com is no longer listed: without a display it gets nothing.
    for line in (b"GET /dbAccess/LOG@p=Z&t=1 HTTP/1.1", b"GET /dbAccess/IMG_URL HTTP/1.1"):
        assert exchange(server.port, request(line, b"Origin: https://label.example.com")) == (
            FORBIDDEN)


@pytest.mark.parametrize("allowed_hosts, host, answer", [
    pytest.param(None, b"evil.example", FORBIDDEN, id="other name"),
    pytest.param(None, b"evil.example:%d", FORBIDDEN, id="rebound name with our port"),
    pytest.param(None, b"localhost.evil.example", FORBIDDEN, id="localhost as a prefix"),
    pytest.param(None, b"localhost:%d", OK_EMPTY, id="localhost"),
    pytest.param(None, b"127.0.0.1:%d", OK_EMPTY, id="IPv4 loopback"),
    pytest.param(None, b"[::1]:%d", OK_EMPTY, id="IPv6 loopback"),
    pytest.param(None, None, OK_EMPTY, id="no Host"),
    pytest.param("label.lan", b"Label.LAN:%d", OK_EMPTY, id="listed in allowedHosts"),
    pytest.param("label.lan", b"other.lan", FORBIDDEN, id="not listed in allowedHosts"),
])
def test_host_must_name_this_computer(server, allowed_hosts, host, answer):
    keys = {"allowedHosts": allowed_hosts} if allowed_hosts else {}
    configure(server, **keys)
    server.start()
    assert exchange(server.port, request(b"GET /dbAccess/DB_URL HTTP/1.1")).startswith(OK)
    headers = [b"Host: " + (host % server.port if b"%d" in host else host)] if host else []
    assert exchange(server.port, request(b"GET /dbAccess/LOG@p=H&t=1 HTTP/1.1", *headers)) == answer
    # A refused request did nothing.
    assert logs_stored(server) == ([("H",)] if answer == OK_EMPTY else [])
    if answer == FORBIDDEN:
        assert "refused a request for host" in server.log()


# Every route as a page would call it: (name, request line, body).
ROUTES = [
    ("print/init", b"POST /print/init HTTP/1.1", b"width=10&height=10"),
    ("print/add", b"POST /print/add HTTP/1.1", b"id=0&img=x"),
    ("print/end", b"POST /print/end HTTP/1.1", b"id=0"),
    ("saveqx/save", b"POST /saveqx/save?name=a.pdf HTTP/1.1", b"BinaryData=%PDF-1.4"),
    ("DB_URL", b"GET /dbAccess/DB_URL HTTP/1.1", b""),
    ("IMG_URL", b"GET /dbAccess/IMG_URL HTTP/1.1", b""),
    ("SVG_DATA of the catalogue", b"GET /dbAccess/SVG_DATA@qkprint.db HTTP/1.1", b""),
    ("SVG_DATA of a drawing", b"GET /dbAccess/SVG_DATA@/svg/f1.svg HTTP/1.1", b""),
    ("CHK_DB", b"GET /dbAccess/CHK_DB HTTP/1.1", b""),
    ("UPDATE_DB", b"GET /dbAccess/UPDATE_DB HTTP/1.1", b""),
    ("UPDATE_STATUS_DB", b"GET /dbAccess/UPDATE_STATUS_DB HTTP/1.1", b""),
    ("LIST", b"GET /dbAccess/LIST&C HTTP/1.1", b""),
    ("SEARCH", b"GET /dbAccess/SEARCH@category_id=1 HTTP/1.1", b""),
    ("DETAIL", b"GET /dbAccess/DETAIL@goodsPartsNo=x HTTP/1.1", b""),
    ("RECENT", b"GET /dbAccess/RECENT@mac_address HTTP/1.1", b""),
    ("TOP_GROUP", b"GET /dbAccess/TOP_GROUP@images&topLevelId=1 HTTP/1.1", b""),
    ("SUB_GROUP", b"GET /dbAccess/SUB_GROUP@list&id>0 HTTP/1.1", b""),
    ("GENERIC_GROUP", b"GET /dbAccess/GENERIC_GROUP@list HTTP/1.1", b""),
    ("SOZAI_DOWNLOAD", b"GET /dbAccess/SOZAI_DOWNLOAD@kind=0&folder=x&value=y HTTP/1.1", b""),
    ("SOZAI_TEMP_STATUS_DOWNLOAD", b"GET /dbAccess/SOZAI_TEMP_STATUS_DOWNLOAD HTTP/1.1", b""),
    ("TEMPLATE_LIST", b"GET /dbAccess/TEMPLATE_LIST@1 HTTP/1.1", b""),
    ("TEMPLATE_DATA", b"GET /dbAccess/TEMPLATE_DATA@qkprint.db HTTP/1.1", b""),
    ("TEMPLATE_DOWNLOAD", b"GET /dbAccess/TEMPLATE_DOWNLOAD@P1 HTTP/1.1", b""),
    ("LOG", b"GET /dbAccess/LOG@p=U&t=1 HTTP/1.1", b""),
    ("PICT_HISTORY", b"GET /dbAccess/PICT_HISTORY@1 HTTP/1.1", b""),
    ("PICT_RECENT", b"GET /dbAccess/PICT_RECENT@id>0 HTTP/1.1", b""),
    ("no route", b"GET /nothing HTTP/1.1", b""),
]


def test_unlisted_origin_without_a_display_gets_nothing(server):
    # A catalogue server that must not be contacted on the page's behalf.
    catalogue = socket.socket()
    catalogue.bind(("127.0.0.1", 0))
    catalogue.listen()
    catalogue.setblocking(False)
    server.start("--catalogue-url", "http://127.0.0.1:%d" % catalogue.getsockname()[1],
                 catalogue_flag=False)
    assert exchange(server.port, request(b"GET /dbAccess/DB_URL HTTP/1.1")).startswith(OK)
    drawing = server.data_home / "jp.co.tavrim.Pelloran.V3" / "data" / "svg" / "f1.svg"
    drawing.parent.mkdir(parents=True, exist_ok=True)
    drawing.write_text("<svg/>")
    for origin in (b"Origin: https://unlisted.example", b"Origin: null"):
        for name, line, body in ROUTES:
            assert ((origin, name), exchange(server.port, request(line, origin, body=body))) == (
                (origin, name), FORBIDDEN)
    # Nothing of it was done: no usage row, no print session (the next
    # identifier is still 0), no saved document, no catalogue request.
    assert logs_stored(server) == []
    assert exchange(server.port, request(b"POST /print/init HTTP/1.1")) == OK + b"1\r\n\r\n0"
    assert not (server.home / "Downloads").exists() or not any((server.home / "Downloads").iterdir())
    with pytest.raises(BlockingIOError):
        catalogue.accept()
    catalogue.close()
    # Preflights are answered as before, and requests without Origin served.
    assert exchange(server.port, request(b"OPTIONS /print/init HTTP/1.1",
                                         b"Origin: https://unlisted.example")) == PREFLIGHT
    assert exchange(server.port, request(b"GET /dbAccess/SVG_DATA@/svg/f1.svg HTTP/1.1")) == (
        OK + b"6\r\n\r\n<svg/>")
    # The log names the setting to change and its file.
    assert ('refused a request from origin "https://unlisted.example": not in [Server] '
            'allowedOrigins, and there is no display to ask the user on; add it to '
            'allowedOrigins in %s to let it use the server' % server.config_file) in server.log()


@pytest.mark.parametrize("name", [
    "qkprint.db", "qkprint.db-journal", "qkprint.db-wal", "verfile_db.txt", "new_verfile_db.txt",
    "svg/f1.svg.partial", "templates/t1.qx3", "notes.txt",
])
def test_svg_data_serves_no_file_of_the_server_even_to_its_owner(server, name):
    server.start()
    assert exchange(server.port, request(b"GET /dbAccess/DB_URL HTTP/1.1")).startswith(OK)
    data = server.data_home / "jp.co.tavrim.Pelloran.V3" / "data"
    target = data / name
    if not target.exists():
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(b"own bytes")
    (data / "svg").mkdir(exist_ok=True)
    link = data / "svg" / "link.svg"
    link.symlink_to(target)
    for path in ("/" + name, "\\" + name.replace("/", "\\"), "/svg/link.svg"):
        answer = exchange(server.port, request(b"GET /dbAccess/SVG_DATA@%s HTTP/1.1" % path.encode(),
                                               b"Host: localhost"))
        assert (path, answer) == (path, OK_EMPTY)
    assert 'as a drawing file: ' in server.log()


# A client run as another user: connects, sends the request and prints the
# answer in hex (an empty line when the connection was reset before any).
OTHER_USER_CLIENT = textwrap.dedent("""
    import socket, sys
    family = socket.AF_INET6 if ":" in sys.argv[1] else socket.AF_INET
    s = socket.socket(family, socket.SOCK_STREAM)
    s.settimeout(10)
    s.connect((sys.argv[1], int(sys.argv[2])))
    data = b""
    try:
        s.sendall(sys.argv[3].encode())
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            data += chunk
    except ConnectionResetError:
        pass
    print(data.hex())
""")
NOBODY = 65534


def as_nobody(*args):
    """Runs `args` as the user nobody."""
    return subprocess.run(["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY,
                           "--clear-groups", *args], capture_output=True, timeout=30)


def needs_root():
    if os.geteuid() != 0:
        pytest.skip("running a client as another user needs root")


@pytest.mark.parametrize("address", ["127.0.0.1", "::1"])
def test_connections_of_other_users_are_refused(server, address):
    needs_root()
    if address == "::1" and not has_ipv6_loopback():
        pytest.skip("no IPv6 loopback here")
    server.start()
    assert exchange(server.port, request(b"GET /dbAccess/DB_URL HTTP/1.1")).startswith(OK)
    for _ in range(2):
        run = as_nobody("/usr/bin/python3", "-c", OTHER_USER_CLIENT, address, str(server.port),
                        "GET /dbAccess/LOG@p=N&t=1 HTTP/1.1\r\n\r\n")
        assert run.returncode == 0, run.stderr
        assert bytes.fromhex(run.stdout.decode().strip()) == FORBIDDEN
    # The owner is served meanwhile; nothing of the other user's was done.
    with socket.create_connection((address, server.port), timeout=10) as s:
        s.sendall(b"GET /dbAccess/LOG@p=O&t=1 HTTP/1.1\r\n\r\n")
        assert read_all(s) == OK_EMPTY
    assert logs_stored(server) == [("O",)]
    # Logged at the normal level, once for both attempts.
    refusal = "refused a connection of user nobody (uid 65534): this server serves only root (uid 0)"
    assert [line for line in server.log().splitlines()
            if line.startswith("quillbox-server: refused a connection")] == [
        "quillbox-server: " + refusal]


def test_port_taken_by_another_user_is_named_once(server):
    needs_root()
    holder = subprocess.Popen(
        ["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY, "--clear-groups",
         "/usr/bin/python3", "-c", textwrap.dedent("""
            import socket, sys, time
            s = socket.socket()
            s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            s.bind(("127.0.0.1", int(sys.argv[1])))
            s.listen()
            print("ready", flush=True)
            time.sleep(60)
         """), str(server.port)], stdout=subprocess.PIPE)
    try:
        assert holder.stdout.readline().strip() == b"ready"
        server.start(wait=False)
        taken = ("port %d on 127.0.0.1 is taken by a program of another user, nobody (uid 65534)"
                 % server.port)
        assert wait_for(lambda: taken in server.log(), 10), server.log()
        # Retried every 100 ms, said once.
        wait_for(lambda: False, 0.5)
        assert server.log().count(taken) == 1
    finally:
        holder.kill()
        holder.wait()
    assert wait_for(lambda: "listening on 127.0.0.1" in server.log(), 10), server.log()
    assert exchange(server.port, request(b"GET /dbAccess/IMG_URL HTTP/1.1")) == OK_EMPTY
