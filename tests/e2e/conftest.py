"""Starts the real server binary with a temporary HOME and talks to it."""
import base64
import os
import signal
import sqlite3
import subprocess
import sys

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tools"))
import catalogue_server  # noqa: E402
from cups_sandbox import CupsSandbox, CupsUnavailable  # noqa: E402
import sample_catalogue  # noqa: E402
from pngfile import png  # noqa: E402,F401
from harness import (accepts, exchange, free_port, has_ipv6_loopback, read_all,  # noqa: E402,F401
                     wait_for)

# Leaks of the desktop libraries that a server showing dialogs loads, for
# LSAN_OPTIONS' suppressions.
LEAKS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "desktop-leaks.supp")

# The fixed answers of the server, and the start of a success answer.
OK = (b"HTTP/1.1 200 OK\r\nAccess-Control-Allow-Origin: *\r\n"
      b"Content-Type: text/plain\r\nContent-Length: ")
OK_EMPTY = OK + b"0\r\n\r\n"
NOT_FOUND = (b"HTTP/1.1 404 Not Found\r\nAccess-Control-Allow-Origin: *\r\n"
             b"Connection: close\r\n\r\n")
SERVER_ERROR = (b"HTTP/1.1 500 Internal Server Error\r\nAccess-Control-Allow-Origin: *\r\n"
                b"Connection: close\r\n\r\n")


def pytest_configure(config):
    config.addinivalue_line(
        "markers", "concurrency: many threads or connections at once; the ThreadSanitizer "
        "run (scripts/test --tsan) selects these")


class Server:
    def __init__(self, root):
        self.root = root
        self.home = root / "home"
        self.config_home = self.home / ".config"
        self.data_home = self.home / ".local" / "share"
        self.runtime = root / "run"
        # The system-wide configuration folder ($XDG_CONFIG_DIRS) of this server.
        self.system_config = root / "etc-xdg"
        for folder in (self.config_home, self.data_home, self.runtime, self.system_config):
            folder.mkdir(parents=True, exist_ok=True)
        os.chmod(self.runtime, 0o700)
        self.port = free_port()
        self.write_port(self.port)
        self.proc = None
        self.stderr_path = root / "server.stderr"

    @property
    def config_file(self):
        return self.config_home / "Tavrim" / "Quillbox.conf"

    @property
    def system_config_file(self):
        return self.system_config / "Tavrim" / "Quillbox.conf"

    def write_port(self, port):
        self.config_file.parent.mkdir(parents=True, exist_ok=True)
        self.config_file.write_text("[Server]\nport=%d\n" % port)

    def env(self):
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env.update(HOME=str(self.home), XDG_CONFIG_HOME=str(self.config_home),
                   XDG_DATA_HOME=str(self.data_home), XDG_RUNTIME_DIR=str(self.runtime),
                   XDG_CONFIG_DIRS=str(self.system_config),
                   XDG_STATE_HOME=str(self.home / ".local" / "state"))
        return env

    def run(self, *args, timeout=10):
        return subprocess.run([binary()] + list(args), env=self.env(), capture_output=True,
                              timeout=timeout)

    def start(self, *args, wait=True, verbose=True, catalogue_flag=True):
        self.stderr = open(self.stderr_path, "ab")
        # Tests that need a catalogue server pass their own; others get a
        # port where nothing listens, whatever runs on this machine (unless
        # they test the configured one).
        flag = ["--catalogue-url", "http://127.0.0.1:9"] if catalogue_flag else []
        self.proc = subprocess.Popen([binary()] + (["--verbose"] if verbose else [])
                                     + flag + list(args),
                                     env=self.env(),
                                     stdout=subprocess.DEVNULL, stderr=self.stderr)
        if wait:
            assert wait_for(lambda: accepts(self.port), 10), self.log()
        return self

    def log(self):
        return self.stderr_path.read_text(errors="replace") if self.stderr_path.exists() else ""

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        if self.proc:
            self.stderr.close()


def binary():
    path = os.environ.get("QUILLBOX_SERVER")
    if not path:
        pytest.skip("QUILLBOX_SERVER names no server binary")
    return path


@pytest.fixture
def server(tmp_path):
    srv = Server(tmp_path)
    try:
        yield srv
    finally:
        srv.stop()
        # The sanitizers report on exit; a clean run exits 0. A thread
        # sanitizer build also reports while running, so its log is checked
        # too, whatever ended the server.
        if srv.proc is not None:
            assert "ThreadSanitizer" not in srv.log(), srv.log()
            assert srv.proc.returncode == 0, srv.log()


def ask(port, path, timeout=60):
    """The body of a success answer to GET `path` (fails on anything else)."""
    answer = exchange(port, b"GET " + path.encode() + b" HTTP/1.1\r\n\r\n", timeout=timeout)
    assert answer.startswith(OK), answer
    return answer.split(b"\r\n\r\n", 1)[1].decode()


class Sync:
    """A server pointed at a stand-in catalogue server."""

    def __init__(self, server, stand_in, catalogue):
        self.server = server
        self.stand_in = stand_in
        self.catalogue = catalogue
        self.data = server.data_home / "jp.co.tavrim.Pelloran.V3" / "data"

    def start(self):
        self.server.start("--catalogue-url", self.stand_in.url)
        return self

    def prepare(self, version="DBVER=0\n"):
        """Creates the catalogue (tables, no rows) and installs its version file."""
        assert ask(self.server.port, "/dbAccess/DB_URL") == str(self.server.data_home)
        if version is not None:
            (self.data / "verFile_DB.txt").write_text(version)
        return self

    def ask(self, path, timeout=60):
        return ask(self.server.port, path, timeout)

    def rows(self, table, columns=None):
        db = sqlite3.connect(self.data / "qkprint.db")
        try:
            return db.execute("SELECT %s FROM %s ORDER BY id" % (
                ", ".join(columns or sample_catalogue.COLUMNS[table]), table)).fetchall()
        finally:
            db.close()

    def count(self, table):
        return len(self.rows(table, ["id"]))

    def version(self):
        return (self.data / "verFile_DB.txt").read_bytes().decode()


# A stand-in catalogue server serving the module's `catalogue` fixture, and a
# server pointed at it with its catalogue created.
@pytest.fixture
def stand_in(catalogue):
    srv = catalogue_server.StandIn(catalogue).start()
    yield srv
    srv.stop()


@pytest.fixture
def sync(server, stand_in, catalogue, monkeypatch):
    monkeypatch.setenv("QUILLBOX_HTTP_STALL_SECONDS", "2")
    return Sync(server, stand_in, catalogue).start().prepare()




def ok(body):
    return (b"HTTP/1.1 200 OK\r\nAccess-Control-Allow-Origin: *\r\n"
            b"Content-Type: text/plain\r\nContent-Length: %d\r\n\r\n%s" % (len(body), body))


def post(port, target, body):
    return exchange(port, b"POST %s HTTP/1.1\r\nContent-Length: %d\r\n\r\n%s"
                    % (target, len(body), body))


def data_image(width, height, pixel):
    return b"data:image/png;base64," + base64.b64encode(png(width, height, pixel))


def ppm_pixels(path):
    """(width, height, RGB bytes) of a binary PPM (pdftoppm's output)."""
    data = open(path, "rb").read()
    parts = data.split(maxsplit=4)
    assert parts[0] == b"P6"
    width, height = int(parts[1]), int(parts[2])
    return width, height, parts[4]


def started(service, unavailable, what):
    """Yields `service` started, and stops it afterwards; a test that needs it
    is skipped with the reason when it cannot start (`unavailable`)."""
    try:
        service.start()
    except unavailable as reason:
        pytest.skip("%s: %s" % (what, reason))
    try:
        yield service
    finally:
        service.stop()


@pytest.fixture
def cups():
    """A private CUPS scheduler whose default queue is CUPS-PDF."""
    yield from started(CupsSandbox(), CupsUnavailable, "no private CUPS scheduler")
