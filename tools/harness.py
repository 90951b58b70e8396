"""What the end-to-end tests, the fault benchmark and the protocol examples
share: a free local port, one request/answer exchange, waiting for a
condition, and what a full sync of a generated catalogue must leave behind
(stored rows, fetched pictures)."""
import functools
import random
import socket
import time

import catalogue_server
import sample_catalogue

# Product picture fields in the order the importer queues them; True where
# only a server path (starting with "/") names a picture.
PICTURE_RULES = [("goodsThumbName", False), ("goodsThumbName2", False),
                 ("goodsPictFileName", False), ("goodsPictPartsLabel", False),
                 ("goodsPictPartsCut", True), ("goodsPictPartsBending", True),
                 ("goodsPictPartsDesign1", False), ("goodsPictPartsDesign2", False),
                 ("goodsPictMask", True)]


@functools.cache
def has_ipv6_loopback():
    """Whether this machine has the IPv6 loopback address."""
    try:
        with socket.socket(socket.AF_INET6, socket.SOCK_STREAM) as s:
            s.bind(("::1", 0))
        return True
    except OSError:
        return False


@functools.cache
def _ephemeral_range():
    try:
        with open("/proc/sys/net/ipv4/ip_local_port_range") as f:
            low, high = (int(v) for v in f.read().split())
            return low, high
    except (OSError, ValueError):
        return 32768, 60999


def _bindable(port):
    addresses = [(socket.AF_INET, "127.0.0.1")]
    if has_ipv6_loopback():
        addresses.append((socket.AF_INET6, "::1"))
    for family, host in addresses:
        try:
            with socket.socket(family, socket.SOCK_STREAM) as s:
                s.bind((host, port))
        except OSError:
            return False
    return True


def free_port():
    """A port that is free now on both loopback addresses, taken below the
    kernel's ephemeral range: a port from that range can be handed to some
    client's outgoing connection between this check and the server's bind."""
    low, _ = _ephemeral_range()
    rng = random.SystemRandom()
    for _ in range(200):
        port = rng.randrange(10000, max(low, 10001))
        if _bindable(port):
            return port
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def accepts(port):
    """True when something accepts connections on the loopback port."""
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=0.5):
            return True
    except OSError:
        return False


def exchange(port, *pieces, pause=0.0, timeout=10.0):
    """Sends the pieces (pausing between them) and reads until the server
    closes the connection. Returns the answer bytes."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        for i, piece in enumerate(pieces):
            if i and pause:
                time.sleep(pause)
            s.sendall(piece)
        return read_all(s)


def read_all(sock):
    chunks = []
    while True:
        chunk = sock.recv(65536)
        if not chunk:
            return b"".join(chunks)
        chunks.append(chunk)


def wait_for(predicate, timeout, interval=0.02):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(interval)
    return predicate()


def picture_paths(catalogue):
    """Product picture paths in the order the importer queues them, once each."""
    paths = []
    for row in catalogue["paper_infos"]:
        for field, only_server_path in PICTURE_RULES:
            value = row[field] or ""
            if value and (not only_server_path or value.startswith("/")) and value not in paths:
                paths.append(value)
    return paths


def expected_rows(catalogue, table):
    """The rows a sync stores for `table`, in catalogue order."""
    rows = []
    for row in catalogue[table]:
        values = []
        for column in sample_catalogue.COLUMNS[table]:
            value = row[column]
            if column == "paperLocationType":
                value = None  # never imported
            elif value is None:
                value = catalogue_server.NUMBER_DEFAULTS.get((table, column), "")
            values.append(value)
        rows.append(tuple(values))
    return rows
