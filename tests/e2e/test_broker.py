"""The port broker with several users of one computer: the broker runs as an
unprivileged user with its registration socket in a temporary folder, each
user's server runs as that user with a home of its own, and requests are made
as each user (setpriv). A request reaches its own user's server (the answer
of dbAccess/DB_URL names that user's data folder), or the broker's 503 when
that user has none; never another user's server."""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import textwrap
import threading
from pathlib import Path

import pytest

from conftest import Server, free_port, wait_for

BROKER_UID = 50101
USERS = {"ann": 50102, "bob": 50103}
NO_SERVER_UID = 50104
NO_SERVER = (b"HTTP/1.1 503 Service Unavailable\r\nAccess-Control-Allow-Origin: *\r\n"
             b"Content-Type: text/plain; charset=utf-8\r\nContent-Length: 41\r\n"
             b"Connection: close\r\n\r\nno label server is running for this user\n")
FORBIDDEN = (b"HTTP/1.1 403 Forbidden\r\nAccess-Control-Allow-Origin: *\r\n"
             b"Access-Control-Expose-Headers: X-Quillbox-Refused\r\n"
             b"X-Quillbox-Refused: not-allowed\r\nConnection: close\r\n\r\n")

# Connects to 127.0.0.1:PORT, sends the request (none: sends nothing and
# waits for stdin to close), prints the answer in hex.
CLIENT = textwrap.dedent("""
    import socket, sys
    s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=30)
    if len(sys.argv) > 2:
        s.sendall(sys.argv[2].encode())
    else:
        print("connected", flush=True)
        sys.stdin.read()
    data = b""
    try:
        while chunk := s.recv(65536):
            data += chunk
    except ConnectionResetError:
        pass
    print(data.hex(), flush=True)
""")


def as_user(uid, *args):
    return ["setpriv", "--reuid=%d" % uid, "--regid=%d" % uid, "--clear-groups", *args]


def ask_as(uid, port, path="/dbAccess/DB_URL", check=True):
    """The answer to GET `path` made as user `uid`; with check=False, None
    when no connection could be made."""
    run = subprocess.run(as_user(uid, sys.executable, "-c", CLIENT, str(port),
                                 "GET %s HTTP/1.1\r\nHost: localhost\r\n\r\n" % path),
                         capture_output=True, timeout=60)
    if not check and run.returncode != 0:
        return None
    assert run.returncode == 0, run.stderr
    return bytes.fromhex(run.stdout.decode().strip())


def broker_binary():
    path = os.environ.get("QUILLBOX_BROKER") or os.path.join(
        os.path.dirname(os.environ.get("QUILLBOX_SERVER", "")), "quillbox-broker")
    if not os.path.exists(path):
        pytest.skip("no broker binary (QUILLBOX_BROKER, or beside QUILLBOX_SERVER)")
    return path


class Broker:
    def __init__(self, root, port):
        self.folder = root / "broker"
        self.folder.mkdir()
        os.chown(self.folder, BROKER_UID, BROKER_UID)
        self.socket = self.folder / "registration"
        self.port = port
        self.log_path = root / "broker.stderr"
        self.proc = None

    def start(self):
        self.log_file = open(self.log_path, "ab")
        env = dict(os.environ, QUILLBOX_BROKER_SOCKET=str(self.socket))
        self.proc = subprocess.Popen(as_user(BROKER_UID, broker_binary(), "--port", str(self.port)),
                                     env=env, stderr=self.log_file)
        assert wait_for(lambda: "listening on 127.0.0.1" in self.log(), 10), self.log()

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            self.proc.wait(10)
            self.log_file.close()
        return self.proc.returncode if self.proc else 0

    def log(self):
        return self.log_path.read_text(errors="replace") if self.log_path.exists() else ""


class UserServer(Server):
    """A server run as `uid`, its folders owned by that user."""

    def __init__(self, root, uid, broker):
        super().__init__(root)
        self.uid = uid
        self.broker = broker
        self.port = broker.port
        self.write_port(self.port)
        for path in [root, *root.rglob("*")]:
            os.chown(path, uid, uid)

    def env(self):
        return dict(super().env(), QUILLBOX_BROKER_SOCKET=str(self.broker.socket))

    def start(self):
        self.stderr = open(self.stderr_path, "ab")
        self.proc = subprocess.Popen(as_user(self.uid, os.environ["QUILLBOX_SERVER"], "--verbose",
                                             "--catalogue-url", "http://127.0.0.1:9"),
                                     env=self.env(), stdout=subprocess.DEVNULL, stderr=self.stderr)
        return self

    def registrations(self):
        return self.log().count("registered with the port broker")

    def data_answer(self):
        return str(self.data_home).encode()


@pytest.fixture
def machine():
    if os.geteuid() != 0:
        pytest.skip("running servers as other users needs root")
    if not os.environ.get("QUILLBOX_SERVER"):
        pytest.skip("QUILLBOX_SERVER names no server binary")
    root = Path(tempfile.mkdtemp(prefix="quillbox-broker-"))
    os.chmod(root, 0o755)  # the users reach their own folders below it
    broker = Broker(root, free_port())
    servers = {}
    for name, uid in USERS.items():
        (root / name).mkdir()
        servers[name] = UserServer(root / name, uid, broker)
    try:
        yield broker, servers
    finally:
        for server in servers.values():
            server.stop()
        assert broker.stop() == 0, broker.log()
        for server in servers.values():
            assert server.proc is None or server.proc.returncode == 0, server.log()
        shutil.rmtree(root)


def start_all(broker, servers):
    broker.start()
    for server in servers.values():
        server.start()
    for server in servers.values():
        assert wait_for(lambda: server.registrations() == 1, 20), server.log()


def body(answer):
    return answer.split(b"\r\n\r\n", 1)[1] if b"\r\n\r\n" in answer else b""


def test_each_user_reaches_their_own_server(machine):
    broker, servers = machine
    start_all(broker, servers)
    for name, server in servers.items():
        answer = ask_as(server.uid, broker.port)
        assert answer.startswith(b"HTTP/1.1 200 OK"), (name, answer)
        assert body(answer) == server.data_answer()
    assert ask_as(NO_SERVER_UID, broker.port) == NO_SERVER
    for server in servers.values():
        assert "listening on" not in server.log()
        status = subprocess.run(as_user(server.uid, os.environ["QUILLBOX_SERVER"], "--status"),
                                env=server.env(), capture_output=True, timeout=60, text=True)
        assert "through the port broker" in status.stdout, status.stdout


# Registers on the broker's socket as whoever runs it and prints each message
# the broker sends; a passed connection is answered "impostor".
REGISTRANT = textwrap.dedent("""
    import socket, sys
    s = socket.socket(socket.AF_UNIX, socket.SOCK_SEQPACKET)
    s.connect(sys.argv[1])
    s.send(b"register " + sys.argv[2].encode())
    while True:
        message, fds, _, _ = socket.recv_fds(s, 100, 1)
        if not message:
            break
        for fd in fds:
            with socket.socket(fileno=fd) as client:
                client.sendall(b"HTTP/1.1 200 OK\\r\\nContent-Length: 9\\r\\n\\r\\nimpostor\\n")
        print(message.decode(), flush=True)
""")


def registrant(uid, broker):
    return subprocess.Popen(as_user(uid, sys.executable, "-c", REGISTRANT, str(broker.socket),
                                    str(broker.port)), stdout=subprocess.PIPE, text=True)


def test_a_server_registers_only_for_its_own_user(machine):
    """Whatever a registering program says, the broker hands it only the
    connections of the user it runs as."""
    broker, servers = machine
    start_all(broker, servers)
    impostor = registrant(NO_SERVER_UID, broker)
    try:
        assert impostor.stdout.readline().strip() == "registered"
        for server in servers.values():
            assert body(ask_as(server.uid, broker.port)) == server.data_answer()
        assert body(ask_as(NO_SERVER_UID, broker.port)) == b"impostor\n"
        assert impostor.stdout.readline().strip() == "connection"
    finally:
        impostor.kill()
        impostor.wait()


def test_a_second_server_of_a_user_takes_over_only_when_the_first_has_gone(machine):
    broker, servers = machine
    start_all(broker, servers)
    ann = servers["ann"]
    second = registrant(ann.uid, broker)
    try:
        assert second.stdout.readline().strip() == "waiting"
        assert body(ask_as(ann.uid, broker.port)) == ann.data_answer()
        ann.stop()
        assert second.stdout.readline().strip() == "registered"
        assert body(ask_as(ann.uid, broker.port)) == b"impostor\n"
        assert second.stdout.readline().strip() == "connection"
    finally:
        second.kill()
        second.wait()


def test_servers_bind_while_the_broker_is_away_and_register_again(machine):
    broker, servers = machine
    start_all(broker, servers)
    wrong = []
    stop = threading.Event()

    def ask_all():
        while not stop.is_set():
            for name, server in servers.items():
                answer = ask_as(server.uid, broker.port, check=False) or b""
                for other_name, other in servers.items():
                    if other_name != name and other.data_answer() in answer:
                        wrong.append((name, answer))
    asking = threading.Thread(target=ask_all)
    asking.start()
    try:
        broker.stop()
        # Told at once: one of them binds the port, the other finds it taken.
        assert wait_for(lambda: sum("listening on 127.0.0.1" in s.log()
                                    for s in servers.values()) == 1, 20)
        bound = next(s for s in servers.values() if "listening on 127.0.0.1" in s.log())
        other = next(s for s in servers.values() if s is not bound)
        assert body(ask_as(bound.uid, broker.port)) == bound.data_answer()
        assert ask_as(other.uid, broker.port) == FORBIDDEN
        broker.start()
        for server in servers.values():
            assert wait_for(lambda: server.registrations() == 2, 20), server.log()
        for server in servers.values():
            # While the port changes hands a connection may be refused.
            assert wait_for(lambda: body(ask_as(server.uid, broker.port, check=False) or b"") ==
                            server.data_answer(), 20)
    finally:
        stop.set()
        asking.join(120)
    assert wrong == []


def test_a_silent_client_does_not_hold_the_broker(machine):
    broker, servers = machine
    start_all(broker, servers)
    ann = servers["ann"]
    silent = [subprocess.Popen(as_user(uid, sys.executable, "-c", CLIENT, str(broker.port)),
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE)
              for uid in (ann.uid, NO_SERVER_UID)]
    try:
        for client in silent:
            assert client.stdout.readline().strip() == b"connected"
        # Answered although it sent nothing: the broker decides by the socket.
        silent[1].stdin.close()
        assert bytes.fromhex(silent[1].stdout.readline().decode().strip()) == NO_SERVER
        for server in servers.values():
            assert body(ask_as(server.uid, broker.port)) == server.data_answer()
    finally:
        for client in silent:
            client.kill()
            client.wait()
