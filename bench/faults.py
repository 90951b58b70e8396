#!/usr/bin/env python3
"""Fault scenarios against the real server and the stand-in catalogue server.

Each scenario brings a data folder to a known state (a synced catalogue at
version 20 with usage-log rows, or a fresh one), injects one fault while the
server works, prints what the client saw, then removes the fault, lets the
server run again and prints what was lost: every catalogue row, picture file,
usage-log row and the version file compared with what they must be. Goal:
nothing lost. Scenarios that need a mount say "skipped" with the reason when
mounting is not possible. Figures and findings are printed; the run never
fails on them.

    bench/faults.py SERVER_BINARY [scenario ...]     (run by bench/faults.sh)
"""
import hashlib
import os
import shutil
import signal
import socket
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tools"))
import catalogue_server  # noqa: E402
import sample_catalogue  # noqa: E402
from harness import PICTURE_RULES, expected_rows, free_port, picture_paths, wait_for  # noqa: E402

TABLES = sample_catalogue.SERVER_TABLES
STALL_SECONDS = 3  # the client's stall limit for this run (60 s in service)
NEW_DATE = "2030-01-01 00:00:00"
LOG_ROWS = 5


def get(port, path, timeout=600, method="GET", body=b""):
    """(answer text shortened for printing, seconds, raw answer)."""
    started = time.monotonic()
    request = b"%s %s HTTP/1.1\r\n" % (method.encode(), path.encode())
    if method == "POST":
        request += b"Content-Length: %d\r\n" % len(body)
    request += b"\r\n" + body
    chunks = []
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
            s.sendall(request)
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    break
                chunks.append(chunk)
    except OSError as error:
        return "connection error: %s" % error, time.monotonic() - started, b""
    raw = b"".join(chunks)
    return describe(raw), time.monotonic() - started, raw


def describe(raw):
    if not raw:
        return "closed without an answer"
    head, _, body = raw.partition(b"\r\n\r\n")
    status = head.split(b"\r\n", 1)[0].decode(errors="replace")
    if not status.startswith("HTTP/1.1 200"):
        return status
    text = body.decode(errors="replace")
    if len(text) > 40:
        text = "%s... (%d bytes)" % (text[:30].replace("\n", " "), len(body))
    return "200 %r" % text


class Server:
    def __init__(self, root, binary, catalogue_url):
        self.root = root
        self.binary = binary
        self.catalogue_url = catalogue_url
        self.home = os.path.join(root, "home")
        self.data_home = os.path.join(self.home, ".local", "share")
        self.data = os.path.join(self.data_home, "jp.co.tavrim.Pelloran.V3", "data")
        self.runtime = os.path.join(root, "run")
        config = os.path.join(self.home, ".config", "Tavrim")
        for folder in (config, self.data, self.runtime):
            os.makedirs(folder, exist_ok=True)
        os.chmod(self.runtime, 0o700)
        self.port = free_port()
        with open(os.path.join(config, "Quillbox.conf"), "w") as f:
            f.write("[Server]\nport=%d\n" % self.port)
        self.proc = None
        self.log_path = os.path.join(root, "server.log")

    def env(self):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env.update(HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                   XDG_DATA_HOME=self.data_home, XDG_RUNTIME_DIR=self.runtime,
                   QUILLBOX_HTTP_STALL_SECONDS=str(STALL_SECONDS))
        return env

    def start(self):
        self.log = open(self.log_path, "ab")
        self.proc = subprocess.Popen([self.binary, "--verbose", "--catalogue-url",
                                      self.catalogue_url], env=self.env(),
                                     stdout=subprocess.DEVNULL, stderr=self.log)
        if not wait_for(self.accepts, 10):
            raise RuntimeError("server did not start")
        return self

    def accepts(self):
        try:
            with socket.create_connection(("127.0.0.1", self.port), timeout=0.5):
                return True
        except OSError:
            return False

    def stop(self):
        """'exit N', 'killed', or 'hung' (then killed)."""
        if self.proc is None:
            return "not running"
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
        try:
            code = self.proc.wait(timeout=20)
            result = "exit %d" % code if code >= 0 else "signal %d" % -code
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            result = "hung on SIGTERM (killed)"
        self.proc = None
        self.log.close()
        return result

    def kill(self):
        self.proc.kill()
        self.proc.wait()
        self.proc = None
        self.log.close()

    def ask(self, path, **kw):
        return get(self.port, path, **kw)

    def peak_memory_mib(self):
        try:
            with open("/proc/%d/status" % self.proc.pid) as f:
                for line in f:
                    if line.startswith("VmHWM:"):
                        return int(line.split()[1]) / 1024
        except OSError:
            pass
        return -1


def table_rows(data, table):
    db = sqlite3.connect("file:%s?mode=ro" % os.path.join(data, "qkprint.db"), uri=True)
    try:
        return db.execute("SELECT %s FROM %s ORDER BY id" % (
            ", ".join(sample_catalogue.COLUMNS[table]), table)).fetchall()
    finally:
        db.close()


def log_rows(data):
    db = sqlite3.connect("file:%s?mode=ro" % os.path.join(data, "qkprint.db"), uri=True)
    try:
        return db.execute("SELECT event_contents3, create_at FROM logs WHERE "
                          "create_at LIKE '2024-02-%' ORDER BY id").fetchall()
    finally:
        db.close()


def integrity(data):
    try:
        db = sqlite3.connect("file:%s?mode=ro" % os.path.join(data, "qkprint.db"), uri=True)
        try:
            return db.execute("PRAGMA integrity_check").fetchone()[0]
        finally:
            db.close()
    except sqlite3.Error as error:
        return "cannot check: %s" % error


def read_version(data):
    try:
        with open(os.path.join(data, "verFile_DB.txt"), "rb") as f:
            return f.read().decode(errors="replace").strip()
    except OSError:
        return "missing"


def lost(data, stand_in, logs, version):
    """What differs from the state the data folder must have: rows of every
    table, every named picture file, the usage-log rows written before. Empty
    when nothing is lost. The version file is reported beside it."""
    problems = []
    try:
        for table in TABLES:
            have = table_rows(data, table)
            want = expected_rows(stand_in.catalogue, table)
            if have != want:
                missing = len(set(want) - set(have))
                problems.append("%s: %d of %d rows missing or different" % (
                    table, missing, len(want)))
        kept = log_rows(data)
        if kept != logs:
            problems.append("usage log: %d of %d rows kept" % (
                len([r for r in logs if r in kept]), len(logs)))
    except sqlite3.Error as error:
        problems.append("database unreadable: %s" % error)
    bad = 0
    named = picture_paths(stand_in.catalogue)
    for path in named:
        try:
            with open(os.path.join(data, path.lstrip("/")), "rb") as f:
                if f.read() != stand_in.file_bytes(path):
                    bad += 1
        except OSError:
            bad += 1
    if bad:
        problems.append("pictures: %d of %d missing or different" % (bad, len(named)))
    return problems


class Scenario:
    """A temporary home, a stand-in and a server; helpers for the states."""

    def __init__(self, binary, products=30):
        self.root = tempfile.mkdtemp(prefix="quillbox-faults-")
        self.catalogue = sample_catalogue.generate(seed=1, products=products)
        self.stand_in = catalogue_server.StandIn(self.catalogue).start()
        self.server = Server(self.root, binary, self.stand_in.url)
        self.data = self.server.data
        self.mounted = False
        self.logs = []

    def mount(self, size):
        """A tmpfs of `size` as the data folder; a reason when it cannot be."""
        if os.geteuid() != 0:
            return "not root: cannot mount a tmpfs"
        result = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%s" % size, "tmpfs",
                                 self.data], capture_output=True, text=True)
        if result.returncode != 0:
            return "mount failed: %s" % result.stderr.strip()
        self.mounted = True
        return None

    def remount(self, options):
        subprocess.run(["mount", "-o", "remount,%s" % options, self.data], check=True)

    def close(self):
        if self.server.proc is not None:
            self.server.stop()
        self.stand_in.stop()
        if self.mounted:
            subprocess.run(["umount", "-l", self.data])
        shutil.rmtree(self.root, ignore_errors=True)

    def synced(self):
        """Catalogue at version 20 with every picture, and usage-log rows."""
        self.server.start()
        self.server.ask("/dbAccess/DB_URL")
        with open(os.path.join(self.data, "verFile_DB.txt"), "w") as f:
            f.write("DBVER=0\n")
        self.server.ask("/dbAccess/CHK_DB")
        answer = self.server.ask("/dbAccess/UPDATE_DB")[0]
        assert answer == "200 ''", answer
        sel = self.catalogue["paper_infos"][0]["searchSelNo"]
        for i in range(LOG_ROWS):
            self.server.ask("/dbAccess/LOG@p=%s&t=2024-02-0%d%%2010:00:00" % (sel, i + 1))
        self.logs = log_rows(self.data)
        assert len(self.logs) == LOG_ROWS and not lost(self.data, self.stand_in, self.logs, 20)
        return self

    def newer(self):
        """Version 21 changes records of every table and names new pictures."""
        for table in TABLES:
            rows = self.catalogue[table]
            if rows:
                row = rows[len(rows) // 2]
                fields = {}
                if table == "paper_infos":
                    fields["goodsThumbName"] = "/paper/thumb/changed-%d.png" % row["id"]
                self.stand_in.change(table, row["id"], NEW_DATE, **fields)
        self.stand_in.version = 21

    def update(self):
        """CHK_DB then UPDATE_DB, as the client does: (what it saw, raw
        UPDATE_DB answer)."""
        check = self.server.ask("/dbAccess/CHK_DB")[0]
        answer, seconds, raw = self.server.ask("/dbAccess/UPDATE_DB")
        return "CHK_DB %s, UPDATE_DB %s after %.1f s" % (check, answer, seconds), raw

    def recovered(self):
        """The fault is gone: the client checks and updates once more; what
        is lost then."""
        check = self.server.ask("/dbAccess/CHK_DB")[0]
        answer = "CHK_DB %s, UPDATE_DB %s; version file then %s (catalogue server: %d)" % (
            check, self.server.ask("/dbAccess/UPDATE_DB")[0], read_version(self.data),
            self.stand_in.version)
        problems = lost(self.data, self.stand_in, self.logs, self.stand_in.version)
        return answer, problems


def fill(folder):
    """Fills the file system of `folder`; returns the filler's path."""
    path = os.path.join(folder, "filler")
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    try:
        for size in (1 << 20, 4096, 1):
            block = b"\0" * size
            try:
                while True:
                    os.write(fd, block)
            except OSError:
                pass
    finally:
        os.close(fd)
    return path


def report(name, client, after=None, recovery=None, problems=None, note=None):
    print("\n== %s" % name)
    for line in client:
        print("  client saw: %s" % line)
    if after:
        print("  right after: %s" % after)
    if recovery is not None:
        print("  fault removed, UPDATE_DB again: %s" % recovery)
    if problems is not None:
        print("  lost: %s" % ("nothing" if not problems else "; ".join(problems)))
    if note:
        print("  note: %s" % note)


def state_text(s):
    return "integrity %s, version %s, usage log %d/%d rows" % (
        integrity(s.data), read_version(s.data), len([r for r in log_rows(s.data)
                                                      if r in s.logs]), len(s.logs))


# -- scenarios -------------------------------------------------------------------

def full_disk_update(binary):
    s = Scenario(binary)
    try:
        why = s.mount("16m")
        if why:
            return report("data folder on a full file system, during an update",
                          ["skipped: " + why])
        s.synced()
        s.newer()
        filler = fill(s.data)
        answer = s.update()[0]
        status = s.server.ask("/dbAccess/UPDATE_STATUS_DB")[0]
        query = s.server.ask("/dbAccess/LIST&C")[0]
        after = state_text(s)
        os.unlink(filler)
        recovery, problems = s.recovered()
        report("data folder on a full file system, during an update",
               [answer,
                "UPDATE_STATUS_DB %s, LIST&C %s" % (status, query)], after, recovery, problems)
    finally:
        s.close()


def full_disk_pictures(binary):
    title = "data folder fills up during an update, while its pictures download"
    s = Scenario(binary)
    try:
        why = s.mount("16m")
        if why:
            return report(title, ["skipped: " + why])
        s.synced()
        s.newer()
        s.stand_in.faults["/paper/"] = "slow"
        s.stand_in.clear()
        filled = {}

        def fill_at_first_picture():
            if wait_for(lambda: any(p.startswith("/paper/") for p in s.stand_in.received()), 60):
                filled["path"] = fill(s.data)

        filler = threading.Thread(target=fill_at_first_picture)
        filler.start()
        answer = s.update()[0]
        filler.join()
        after = state_text(s)
        s.stand_in.faults.clear()
        if "path" in filled:
            os.unlink(filled["path"])
        recovery, problems = s.recovered()
        report(title, [answer], after, recovery, problems)
    finally:
        s.close()


def full_disk_material(binary):
    s = Scenario(binary)
    try:
        why = s.mount("16m")
        if why:
            return report("data folder on a full file system, during a material download",
                          ["skipped: " + why])
        s.synced()
        folder = "top002/sub1"
        filler = fill(s.data)
        path = "/dbAccess/SOZAI_DOWNLOAD@kind=2&folder=%s&value=2" % folder
        answer, seconds, _ = s.server.ask(path)
        after = state_text(s)
        os.unlink(filler)
        again = s.server.ask(path)[0]
        problems = lost(s.data, s.stand_in, s.logs, 20)
        for variant in ("sozai4", "sozai4_S"):
            for name, data in s.stand_in.files.items():
                prefix = "sozai4_S/%s/" % folder
                if not name.startswith(prefix):
                    continue
                local = os.path.join(s.data, variant, folder, name[len(prefix):])
                try:
                    with open(local, "rb") as f:
                        same = f.read() == data
                except OSError:
                    same = False
                if not same:
                    problems.append("%s missing or different" % os.path.relpath(local, s.data))
        report("data folder on a full file system, during a material download",
               ["SOZAI_DOWNLOAD %s after %.1f s" % (answer, seconds)], after,
               "SOZAI_DOWNLOAD again: %s" % again, problems)
    finally:
        s.close()


def read_only(binary):
    s = Scenario(binary)
    try:
        why = s.mount("16m")
        if why:
            return report("data folder read-only", ["skipped: " + why])
        s.synced()
        reference = s.server.ask("/dbAccess/LIST&C")[2]
        s.newer()
        s.remount("ro")
        seen = []
        query = s.server.ask("/dbAccess/LIST&C")
        seen.append("LIST&C %s (%s the answer before)" % (
            query[0], "same as" if query[2] == reference else "differs from"))
        sel = s.catalogue["paper_infos"][0]["searchSelNo"]
        for path in ["/dbAccess/DB_URL", "/dbAccess/LOG@p=%s&t=2024-03-01%%2010:00:00" % sel,
                     "/dbAccess/CHK_DB", "/dbAccess/UPDATE_DB",
                     "/dbAccess/SOZAI_DOWNLOAD@kind=2&folder=top002/sub1&value=2",
                     "/dbAccess/UPDATE_STATUS_DB"]:
            answer, seconds, _ = s.server.ask(path)
            seen.append("%s %s (%.1f s)" % (path.split("@")[0], answer, seconds))
        after = state_text(s)
        s.remount("rw")
        recovery, problems = s.recovered()
        report("data folder read-only (read-only mount)", seen, after, recovery, problems,
               "the usage-log row sent while read-only is not kept; its answer is above")
    finally:
        s.close()


def not_a_database(binary):
    s = Scenario(binary)
    try:
        garbage = b"this is not a database\n" * 200
        with open(os.path.join(s.data, "qkprint.db"), "wb") as f:
            f.write(garbage)
        with open(os.path.join(s.data, "verFile_DB.txt"), "w") as f:
            f.write("DBVER=0\n")
        s.server.start()
        seen = []
        sel = s.catalogue["paper_infos"][0]["searchSelNo"]
        for path in ["/dbAccess/DB_URL", "/dbAccess/LIST&C", "/dbAccess/SEARCH@category_id=1",
                     "/dbAccess/LOG@p=%s&t=2024-03-01%%2010:00:00" % sel, "/dbAccess/RECENT@mac_address=x",
                     "/dbAccess/CHK_DB", "/dbAccess/UPDATE_DB", "/dbAccess/UPDATE_STATUS_DB"]:
            answer, seconds, _ = s.server.ask(path)
            seen.append("%s %s (%.1f s)" % (path.split("@")[0], answer, seconds))
        aside = [n for n in os.listdir(s.data) if n.startswith("qkprint.db.damaged-")]
        kept = False
        if aside:
            with open(os.path.join(s.data, aside[0]), "rb") as f:
                kept = f.read() == garbage
        report("qkprint.db that is not a database", seen,
               "the file is %s; version %s; server %s" % (
                   "moved aside whole as " + aside[0] if kept else "lost",
                   read_version(s.data), "running" if s.server.proc.poll() is None else "gone"))
    finally:
        s.close()


def hold_lock(data, seconds, started):
    """Another process holding the database's exclusive lock."""
    script = ("import sqlite3,sys,time\n"
              "db=sqlite3.connect(sys.argv[1],isolation_level=None)\n"
              "db.execute('BEGIN EXCLUSIVE')\n"
              "print('locked',flush=True)\n"
              "time.sleep(float(sys.argv[2]))\n"
              "db.execute('COMMIT')\n")
    proc = subprocess.Popen([sys.executable, "-c", script, os.path.join(data, "qkprint.db"),
                             str(seconds)], stdout=subprocess.PIPE, text=True)
    proc.stdout.readline()
    started.set()
    return proc


def locked_query(binary):
    s = Scenario(binary)
    try:
        s.synced()
        reference = s.server.ask("/dbAccess/LIST&C")[2]
        search = s.server.ask("/dbAccess/SEARCH@category_id=1")[2]
        holder = hold_lock(s.data, 10, threading.Event())
        seen = []
        for path, ref in (("/dbAccess/LIST&C", reference),
                          ("/dbAccess/SEARCH@category_id=1", search)):
            answer, seconds, raw = s.server.ask(path)
            seen.append("%s %s after %.1f s (%s the answer without the lock)" % (
                path, answer, seconds, "same as" if raw == ref else "differs from"))
        holder.wait()
        answer, seconds, raw = s.server.ask("/dbAccess/LIST&C")
        seen.append("LIST&C after the lock: %s, %s" % (
            answer, "same as before" if raw == reference else "differs"))
        report("database locked by another process for 10 s, during a query", seen,
               state_text(s), None, lost(s.data, s.stand_in, s.logs, 20))
    finally:
        s.close()


def locked_import(binary):
    s = Scenario(binary)
    try:
        s.synced()
        s.newer()
        s.stand_in.faults["/paper_infos/getUpdate"] = "slow"  # the lock comes first
        locked = threading.Event()
        holder = {}
        timer = threading.Timer(0.1, lambda: holder.update(p=hold_lock(s.data, 10, locked)))
        timer.start()
        answer = s.update()[0]
        timer.join()
        holder["p"].wait()
        after = state_text(s)
        s.stand_in.faults.clear()
        recovery, problems = s.recovered()
        report("database locked by another process for 10 s, during an import",
               [answer], after, recovery, problems)
    finally:
        s.close()


def catalogue_fault(binary, mode, key, title):
    s = Scenario(binary)
    try:
        s.synced()
        s.newer()
        s.stand_in.faults[key] = mode
        before = s.server.peak_memory_mib()
        answer = s.update()[0]
        peak = s.server.peak_memory_mib()
        check = s.server.ask("/dbAccess/CHK_DB")[0]
        after = state_text(s)
        s.stand_in.faults.clear()
        recovery, problems = s.recovered()
        report(title, ["%s; CHK_DB then %s" % (answer, check)],
               after + "; server peak resident memory %.0f MiB before, %.0f MiB after" % (
                   before, peak), recovery, problems)
    finally:
        s.close()


def catalogue_500(binary):
    catalogue_fault(binary, "500", "/", "catalogue server answers 500 to everything")


def catalogue_close(binary):
    catalogue_fault(binary, "truncate", "/", "catalogue server closes mid-body (every answer)")


def catalogue_stall(binary):
    catalogue_fault(binary, "stall", "/paper_infos/",
                    "catalogue server stalls mid-body (paper_infos; stall limit %d s)"
                    % STALL_SECONDS)


def catalogue_huge(binary):
    catalogue_fault(binary, "huge", "/paper_infos/getUpdate",
                    "catalogue server sends a 1 GiB body without a length (paper_infos records)")
    catalogue_fault(binary, "huge-announced", "/categories/getUpdate",
                    "catalogue server announces and sends a 1 GiB body (categories records)")


def killed_update(binary):
    s = Scenario(binary, products=300)
    try:
        s.server.start()
        s.server.ask("/dbAccess/DB_URL")
        with open(os.path.join(s.data, "verFile_DB.txt"), "w") as f:
            f.write("DBVER=0\n")
        s.stand_in.faults["/paper/"] = "slow"  # pictures take a while
        s.server.ask("/dbAccess/CHK_DB")
        update = threading.Thread(target=lambda: s.server.ask("/dbAccess/UPDATE_DB"))
        update.start()
        wait_for(lambda: sum(p.startswith("/paper/") for p in s.stand_in.received()) >= 5, 120)
        s.server.kill()
        update.join(30)
        after = state_text(s)
        s.stand_in.faults.clear()
        s.server.start()
        s.server.ask("/dbAccess/DB_URL")
        recovery, problems = s.recovered()
        report("SIGKILL during an update (picture downloads under way), restart, new update",
               ["UPDATE_DB connection closed by the kill"], after, recovery, problems)
    finally:
        s.close()


def send_huge_request(port, announce, total=1 << 30):
    """Sends a POST of `total` body bytes; (what the client saw, seconds)."""
    started = time.monotonic()
    head = b"POST /saveqx/save HTTP/1.1\r\n"
    if announce:
        head += b"Content-Length: %d\r\n" % total
    head += b"\r\n"
    sent = 0
    chunks = []
    with socket.create_connection(("127.0.0.1", port), timeout=60) as s:
        try:
            s.sendall(head)
            block = b"x" * (1 << 20)
            while sent < total:
                s.sendall(block)
                sent += len(block)
            s.shutdown(socket.SHUT_WR)
        except OSError as error:
            chunks.append(b"")
            failure = str(error)
        else:
            failure = None
        try:
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    break
                chunks.append(chunk)
        except OSError as error:
            failure = failure or str(error)
    answer = describe(b"".join(chunks))
    return ("%s; %d MiB sent%s" % (answer, sent >> 20,
                                   ", then " + failure if failure else ""),
            time.monotonic() - started)


def huge_request(binary):
    s = Scenario(binary)
    try:
        s.server.start()
        seen = []
        for announce in (True, False):
            answer, seconds = send_huge_request(s.server.port, announce)
            seen.append("1 GiB POST %s: %s (%.1f s); server peak resident memory %.0f MiB" % (
                "with its Content-Length" if announce else "without a length", answer,
                seconds, s.server.peak_memory_mib()))
        seen.append("next request: IMG_URL %s" % s.server.ask("/dbAccess/IMG_URL")[0])
        report("a client sends a 1 GiB request", seen, note="server %s" % s.server.stop())
    finally:
        s.close()


def writes_during_import(binary):
    """Usage-log writes while a large product answer is imported."""
    title = "usage-log writes while an update imports 20,000 products"
    s = Scenario(binary, products=20000)
    try:
        for row in s.catalogue["paper_infos"]:
            for field, _ in PICTURE_RULES:
                row[field] = None
        s.server.start()
        s.server.ask("/dbAccess/DB_URL")
        with open(os.path.join(s.data, "verFile_DB.txt"), "w") as f:
            f.write("DBVER=0\n")
        s.server.ask("/dbAccess/CHK_DB")
        update = threading.Thread(target=lambda: s.server.ask("/dbAccess/UPDATE_DB"))
        asked = "/paper_infos/getUpdate"
        update.start()
        wait_for(lambda: any(p.startswith(asked) for p in s.stand_in.received()), 120)
        sel = s.catalogue["paper_infos"][0]["searchSelNo"]
        answers = {}
        slowest = 0.0
        sent = 0
        while update.is_alive() and sent < 5000:
            answer, seconds, _ = s.server.ask(
                "/dbAccess/LOG@p=%s&t=2024-02-09%%2010:00:%02d" % (sel, sent % 60))
            answers[answer] = answers.get(answer, 0) + 1
            slowest = max(slowest, seconds)
            sent += 1
        update.join()
        kept = len(log_rows(s.data))
        report(title, ["%d LOG writes during the update: %s; slowest %.1f s" % (
            sent, ", ".join("%s x%d" % kv for kv in answers.items()), slowest)],
            "%d of %d usage-log rows stored; products %d of %d" % (
                kept, sent, len(table_rows(s.data, "paper_infos")),
                len(s.catalogue["paper_infos"])),
            problems=[] if kept == sent else ["%d usage-log rows" % (sent - kept)])
    finally:
        s.close()


SCENARIOS = [huge_request, writes_during_import, full_disk_update, full_disk_pictures, full_disk_material, read_only, not_a_database, locked_query,
             locked_import, catalogue_500, catalogue_close, catalogue_stall, catalogue_huge,
             killed_update]


def main():
    binary = os.path.abspath(sys.argv[1])
    chosen = sys.argv[2:]
    for scenario in SCENARIOS:
        if chosen and scenario.__name__ not in chosen:
            continue
        started = time.monotonic()
        try:
            scenario(binary)
        except Exception as error:  # a scenario that cannot run says so and the rest go on
            print("\n== %s\n  scenario failed to run: %r" % (scenario.__name__, error))
        print("  (%.0f s)" % (time.monotonic() - started), flush=True)


if __name__ == "__main__":
    main()
