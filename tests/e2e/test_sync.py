"""Catalogue sync against the stand-in catalogue server: version check, the
update run with its requests, imports and picture downloads, and the faults a
real catalogue server can show."""
import io
import os
import re
import signal
import socket
import sqlite3
import sys
import threading
import time
import zipfile

import pytest

from conftest import Sync, ask, exchange, wait_for

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tools"))
import catalogue_server  # noqa: E402
import http2_front as http2_front_module  # noqa: E402
import pngfile  # noqa: E402
import sample_catalogue  # noqa: E402
from harness import PICTURE_RULES, expected_rows, picture_paths  # noqa: E402

FIRST = "2013-01-01%2000:00:00"
TABLES = sample_catalogue.SERVER_TABLES


def peak_memory(pid):
    """The peak resident memory of a process, in bytes."""
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) * 1024
    raise AssertionError("no VmHWM for %d" % pid)


@pytest.fixture
def catalogue():
    return sample_catalogue.generate(seed=1, products=12)


def counts_then_records_and_files(received, counts, records, files):
    """Every count request, then every records request and picture file, each
    once. Requests are sent several at a time, so their order within each part
    is not fixed (the records are imported in table order all the same)."""
    assert sorted(received[:len(counts)]) == sorted(counts)
    assert sorted(received[len(counts):]) == \
        sorted(records + [p.replace(" ", "%20") for p in files])


@pytest.mark.concurrency
def test_sync_from_an_empty_catalogue_and_again(sync, stand_in, catalogue):
    assert sync.ask("/dbAccess/UPDATE_STATUS_DB") == "V=0&M=100"
    assert sync.ask("/dbAccess/CHK_DB") == "1"
    assert (sync.data / "New_verFile_DB.txt").read_bytes() == b"DBVER=20\r\n"

    stand_in.clear()
    statuses = []
    done = threading.Event()

    def poll():
        while not done.is_set():
            statuses.append(sync.ask("/dbAccess/SOZAI_TEMP_STATUS_DOWNLOAD"))
            time.sleep(0.02)

    poller = threading.Thread(target=poll)
    poller.start()
    try:
        assert sync.ask("/dbAccess/UPDATE_DB") == ""
    finally:
        done.set()
        poller.join()

    pictures = picture_paths(catalogue)
    counts_then_records_and_files(stand_in.received(),
                                  ["/%s/chkUpdate?date=%s" % (t, FIRST) for t in TABLES],
                                  ["/%s/getUpdate?date=%s" % (t, FIRST) for t in TABLES],
                                  pictures)
    assert any(s != "V=0&M=100" for s in statuses)
    assert sync.ask("/dbAccess/UPDATE_STATUS_DB") == "V=0&M=100"
    for table in TABLES:
        assert sync.rows(table) == expected_rows(catalogue, table), table
    for path in pictures:
        assert (sync.data / path.lstrip("/")).read_bytes() == stand_in.file_bytes(path), path
    assert sync.version() == "DBVER=20\r\n"
    assert not (sync.data / "New_verFile_DB.txt").exists()
    assert sync.ask("/dbAccess/CHK_DB") == "0"

    # The server changes two records and publishes a new version; a row
    # changed only locally shows that unchanged records are not fetched again.
    stand_in.version = 21
    stand_in.change("categories", 2, "2025-01-01 00:00:00", name="renamed", create_at="2025-01-01 00:00:00")
    stand_in.change("paper_infos", 1, "2025-02-01 00:00:00", goods="new goods")
    db = sqlite3.connect(sync.data / "qkprint.db")
    db.execute("UPDATE categories SET name = 'local' WHERE id = 3")
    db.commit()
    db.close()
    latest = {t: max(r["update_at"] for r in catalogue[t]) for t in TABLES}
    latest["categories"] = max(r[5] for r in sync.rows("categories"))
    latest["paper_infos"] = max(r[38] for r in sync.rows("paper_infos"))

    assert sync.ask("/dbAccess/CHK_DB") == "1"
    stand_in.clear()
    assert sync.ask("/dbAccess/UPDATE_DB") == ""
    dates = {t: latest[t].replace(" ", "%20") for t in TABLES}
    changed_product = {"paper_infos": catalogue["paper_infos"][:1]}
    counts_then_records_and_files(stand_in.received(),
                                  ["/%s/chkUpdate?date=%s" % (t, dates[t]) for t in TABLES],
                                  ["/%s/getUpdate?date=%s" % (t, dates[t]) for t in TABLES],
                                  picture_paths(changed_product))  # its pictures again
    categories = {r[0]: r for r in sync.rows("categories")}
    original = {r["id"]: r for r in sample_catalogue.generate(seed=1, products=12)["categories"]}
    assert categories[2][2] == "renamed"
    assert categories[2][4] == original[2]["create_at"]  # create_at kept
    assert categories[3][2] == "local"
    assert sync.rows("paper_infos", ["goods"])[0] == ("new goods",)
    assert sync.version() == "DBVER=21\r\n"
    assert sync.ask("/dbAccess/CHK_DB") == "0"


def test_table_answers_arriving_out_of_order_are_imported_in_table_order(sync, stand_in,
                                                                       catalogue):
    # The first table's records come late; the later tables' requests do not
    # wait for them, but their imports do.
    stand_in.faults["kbn_infos/getUpdate"] = "slow"
    assert sync.ask("/dbAccess/CHK_DB") == "1"
    assert sync.ask("/dbAccess/UPDATE_DB") == ""
    imported = re.findall(r"debug: imported \d+ (\w+) records", sync.server.log())
    assert imported == TABLES
    for table in TABLES:
        assert sync.rows(table) == expected_rows(catalogue, table), table
    assert sync.version() == "DBVER=20\r\n"


def test_catalogue_server_down(server, catalogue, monkeypatch):
    stopped = catalogue_server.StandIn(catalogue)
    url = stopped.url
    stopped.stop()  # nothing listens there any more
    server.start("--catalogue-url", url)
    sync = Sync(server, stopped, catalogue).prepare()
    assert sync.ask("/dbAccess/CHK_DB") == "0"  # falls through to the jan_code check
    assert sync.ask("/dbAccess/UPDATE_DB") == ""
    assert sync.ask("/dbAccess/UPDATE_STATUS_DB") == "V=0&M=100"
    assert sync.count("kbn_infos") == 0
    assert sync.version() == "DBVER=0\n"


@pytest.mark.parametrize("key, mode, empty_table", [
    pytest.param("categories", "close", "categories", id="unreachable table"),
    pytest.param("paper_size_infos/getUpdate", "500", "paper_size_infos", id="server error"),
    pytest.param("kbn_infos/getUpdate", "malformed", "kbn_infos", id="malformed XML"),
    pytest.param("template_infos/getUpdate", "truncate", "template_infos", id="truncated body"),
    pytest.param("paper_group_infos/getUpdate", "stall", "paper_group_infos", id="stalled body"),
    pytest.param("paper_relation2s/getUpdate", "huge", "paper_relation2s",
                 id="endless body over the memory limit"),
    pytest.param("pict_group_infos/getUpdate", "huge-announced", "pict_group_infos",
                 id="length announced over the memory limit"),
    pytest.param("/paper/mask/", "500", None, id="picture download fails"),
    pytest.param("/paper/cut/", "truncate", None, id="picture cut short"),
    pytest.param("/paper/thumb2/", "close", None, id="picture connection dropped"),
])
def test_a_failing_request_is_skipped_and_keeps_the_version(sync, stand_in, catalogue, key,
                                                            mode, empty_table):
    assert sync.ask("/dbAccess/CHK_DB") == "1"
    stand_in.faults[key] = mode
    assert sync.ask("/dbAccess/UPDATE_DB") == ""
    if key.startswith("/"):
        # The failed files are fetched alongside the others, which all arrive.
        for path in picture_paths(catalogue):
            if not path.startswith(key):
                assert (sync.data / path.lstrip("/")).read_bytes() == \
                    stand_in.file_bytes(path), path
    if mode.startswith("huge"):
        # Refused as it arrived, not held whole first.
        assert peak_memory(sync.server.proc.pid) < catalogue_server.HUGE_BYTES
    for table in TABLES:
        expected = 0 if table == empty_table else len(catalogue[table])
        assert sync.count(table) == expected, table
    assert sync.version() == "DBVER=0\n"
    assert sync.ask("/dbAccess/CHK_DB") == "1"

    # Once the server is mended the next run completes the sync.
    stand_in.faults.clear()
    stand_in.clear()
    assert sync.ask("/dbAccess/UPDATE_DB") == ""
    for path in picture_paths(catalogue):
        assert (sync.data / path.lstrip("/")).read_bytes() == stand_in.file_bytes(path), path
    if empty_table is None:
        # The product records are current, so the run asks for none of them
        # and fetches only the pictures still missing, which completes it.
        assert all(not p.endswith("getUpdate?date=" + FIRST) for p in stand_in.received())
    for table in TABLES:
        assert sync.rows(table) == expected_rows(catalogue, table), table
    assert sync.version() == "DBVER=20\r\n"
    assert sync.ask("/dbAccess/CHK_DB") == "0"


@pytest.mark.parametrize("kind, mode, wrong", [
    ("chkUpdate", "html", "not well-formed XML"),
    ("chkUpdate", "no-count", "no /categories_count/count in it"),
    ("chkUpdate", "other-root", "(its root element is <error>)"),
    ("chkUpdate", "no-element", "No document element found"),
    ("getUpdate", "html", "not well-formed XML"),
    ("getUpdate", "other-root", "its root element <error> names no table"),
    ("getUpdate", "no-element", "No document element found"),
])
def test_an_unusable_table_answer_keeps_the_version(sync, stand_in, kind, mode, wrong):
    assert sync.ask("/dbAccess/CHK_DB") == "1"
    stand_in.faults["categories/" + kind] = mode
    assert sync.ask("/dbAccess/UPDATE_DB") == ""
    assert sync.version() == "DBVER=0\n"
    assert sync.ask("/dbAccess/CHK_DB") == "1"
    url = "%s/categories/%s?date=%s" % (stand_in.url, kind, FIRST)
    lines = [line for line in sync.server.log().splitlines() if url in line]
    prefix = "quillbox-server: error: unusable answer from %s: " % url
    assert len(lines) == 1 and lines[0].startswith(prefix) and wrong in lines[0], lines


def test_an_archive_cut_short_is_fetched_again_until_unpacked(sync, stand_in, catalogue):
    # A product names an archive of pictures; the first run gets it cut short.
    archive = "/paper/set/pictures.zip"
    stand_in.change("paper_infos", catalogue["paper_infos"][0]["id"],
                    catalogue["paper_infos"][0]["update_at"], goodsThumbName=archive)
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as made:
        made.writestr("a.png", pngfile.png(4, 4, (1, 2, 3, 255)))
        made.writestr("b.png", pngfile.png(4, 4, (4, 5, 6, 255)))
    stand_in.files[archive.lstrip("/")] = buffer.getvalue()
    unpacked = sync.data / "paper" / "set"
    stand_in.faults["/paper/set/"] = "short"
    assert sync.ask("/dbAccess/CHK_DB") == "1"
    assert sync.ask("/dbAccess/UPDATE_DB") == ""
    assert sync.version() == "DBVER=0\n"
    assert not unpacked.exists() or list(unpacked.iterdir()) == []
    assert "cannot unpack the archive" in sync.server.log()

    stand_in.faults.clear()
    for run, (fetched, version) in enumerate([
            ([archive], "DBVER=20\r\n"),  # the next good run unpacks it
            ([], "DBVER=20\r\n"),  # nothing new: no archive fetched
    ]):
        stand_in.clear()
        assert sync.ask("/dbAccess/UPDATE_DB") == "", run
        assert [r for r in stand_in.received() if "Update?" not in r] == fetched, run
        assert sorted(p.name for p in unpacked.iterdir()) == [
            ".pictures.zip.unpacked", "a.png", "b.png"], run
        assert sync.version() == version, run
    assert sync.ask("/dbAccess/CHK_DB") == "0"


@pytest.mark.concurrency
def test_stop_during_a_stalled_download(sync, stand_in, server):
    stand_in.faults["/paper/thumb/"] = "stall"
    os.environ.pop("QUILLBOX_HTTP_STALL_SECONDS", None)
    answer = {}
    update = threading.Thread(target=lambda: answer.update(
        body=exchange(server.port, b"GET /dbAccess/UPDATE_DB HTTP/1.1\r\n\r\n", timeout=60)))
    update.start()
    assert wait_for(lambda: any(p.startswith("/paper/thumb/") for p in stand_in.received()), 30)
    server.proc.send_signal(signal.SIGTERM)
    assert server.proc.wait(timeout=10) == 0
    update.join(10)
    assert sync.version() == "DBVER=0\n"


@pytest.mark.concurrency
def test_queries_and_status_polls_during_an_update(sync, stand_in):
    # Each table is imported in one transaction: a query sees it whole before
    # or whole after, never in between.
    assert sync.ask("/dbAccess/CHK_DB") == "1"
    stand_in.faults["/paper/thumb/"] = "slow"
    queries = ["/dbAccess/LIST&C", "/dbAccess/LIST_P&C&P", "/dbAccess/SEARCH@category_id=99"]
    before = {q: sync.ask(q) for q in queries}
    seen = {q: set() for q in queries}
    statuses = []
    answer = {}
    update = threading.Thread(target=lambda: answer.update(
        body=sync.ask("/dbAccess/UPDATE_DB", timeout=120)))
    update.start()
    try:
        while update.is_alive():
            for query in queries:
                seen[query].add(sync.ask(query))
            statuses.append(sync.ask("/dbAccess/UPDATE_STATUS_DB"))
    finally:
        update.join(120)
    assert answer == {"body": ""}
    after = {q: sync.ask(q) for q in queries}
    for query in queries:
        assert before[query] != after[query], query
        assert seen[query] <= {before[query], after[query]}, query
    assert all(s.startswith("V=") and s.endswith("&M=100") for s in statuses), statuses
    assert any(s != "V=0&M=100" for s in statuses)
    assert sync.version() == "DBVER=20\r\n"


def test_killed_while_importing_an_answer(server, monkeypatch):
    # Many products sharing one picture: a long import, one download.
    catalogue = sample_catalogue.generate(seed=1, products=3000)
    for row in catalogue["paper_infos"]:
        for field, _ in PICTURE_RULES:
            row[field] = "/paper/thumb/shared.png"
    stand_in = catalogue_server.StandIn(catalogue, files={"paper/thumb/shared.png": b"PNG"})
    stand_in.start()
    try:
        sync = Sync(server, stand_in, catalogue).start().prepare()
        journal = sync.data / "qkprint.db-journal"
        update = threading.Thread(target=lambda: exchange(
            server.port, b"GET /dbAccess/UPDATE_DB HTTP/1.1\r\n\r\n", timeout=60))
        update.start()
        # The tables before the products are imported first (in table order,
        # though their requests overlap); the next import is the products'.
        before = TABLES[:TABLES.index("paper_infos")]

        def imported_before():
            try:
                return all(sync.count(t) == len(catalogue[t]) for t in before)
            except sqlite3.OperationalError:
                return False  # a commit holds the file just now

        assert wait_for(imported_before, 60, interval=0.001)
        assert wait_for(journal.exists, 60, interval=0.0005)
        server.proc.kill()
        server.proc.wait()
        update.join(10)

        assert sync.count("paper_infos") == 0  # no half answer
        assert sync.count("kbn_infos") == len(catalogue["kbn_infos"])

        server.start("--catalogue-url", stand_in.url)
        sync.prepare(version=None)
        assert sync.ask("/dbAccess/UPDATE_DB", timeout=120) == ""
        for table in TABLES:
            assert sync.count(table) == len(catalogue[table]), table
        assert (sync.data / "paper/thumb/shared.png").read_bytes() == b"PNG"
    finally:
        stand_in.stop()


def test_a_fresh_data_folder_starts_at_version_zero(server, stand_in):
    # Nothing installs a catalogue: the first DB_URL leaves version 0 behind,
    # so the first check finds the catalogue server newer; a version file
    # already there is kept.
    sync = Sync(server, stand_in, None).start().prepare(version=None)
    assert sync.version() == "DBVER=0\n"
    assert sync.ask("/dbAccess/CHK_DB") == "1"
    (sync.data / "verFile_DB.txt").write_text("DBVER=20\n")
    sync.ask("/dbAccess/DB_URL")
    assert sync.version() == "DBVER=20\n"
    assert sync.ask("/dbAccess/CHK_DB") == "0"


class Trap:
    """A listener on another loopback port, standing for any other host a
    hostile catalogue server could name: it counts who connects."""

    def __init__(self):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(16)
        self.sock.settimeout(0.2)
        self.url = "http://127.0.0.1:%d" % self.sock.getsockname()[1]
        self.connections = 0
        self.done = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        while not self.done.is_set():
            try:
                conn, _ = self.sock.accept()
            except OSError:
                continue
            self.connections += 1
            conn.close()

    def close(self):
        self.done.set()
        self.thread.join()
        self.sock.close()


def files_holding(root, data):
    """Every file below `root` whose bytes contain `data`."""
    found = []
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            if not os.path.isfile(path):
                continue  # the control socket
            with open(path, "rb") as f:
                if data in f.read():
                    found.append(os.path.relpath(path, root))
    return sorted(found)


# A hostile catalogue server names files of the server itself, other hosts and
# paths out of the data folder as product pictures (or material pictures):
# none of them is asked for or written, the catalogue stays whole and the run
# still completes; a name merely containing "http" is an ordinary picture.
@pytest.mark.parametrize("name, fetched, written", [
    pytest.param("database", False, [], id="catalogue database"),
    pytest.param("database-journal", False, [], id="database journal"),
    pytest.param("version", False, [], id="version file"),
    pytest.param("new-version", False, [], id="new version file"),
    pytest.param("partial", False, [], id="temporary download file"),
    pytest.param("dot-dot", False, [], id="path leaving the data folder"),
    pytest.param("other-host", False, [], id="absolute URL to another port"),
    pytest.param("material-trap", False, [], id="material list naming another port"),
    pytest.param("http-in-name", True, ["x/HTTP_LOGO.png"], id="name containing http"),
    pytest.param("archive", True, [], id="archive holding the server's files"),
])
def test_hostile_catalogue_answers(sync, stand_in, catalogue, name, fetched, written):
    trap = Trap()
    try:
        named = stand_in.hostile(name, trap.url)
        assert sync.ask("/dbAccess/CHK_DB") == "1"
        assert sync.ask("/dbAccess/UPDATE_DB") == ""
        assert sync.ask("/dbAccess/SOZAI_DOWNLOAD@kind=3&folder=&value=0") == ""
        assert trap.connections == 0
    finally:
        trap.close()
    received = stand_in.received()
    assert (named in received) == fetched, received
    assert all(".." not in r and "partial" not in r and "qkprint" not in r
               and "verFile" not in r for r in received[1:]), received
    assert received[0] == "/Ver3/DeskTop/verFile_DB.txt"
    # Junk lands only where a picture may be; the catalogue and its version
    # are untouched and the run completed.
    data = os.path.relpath(sync.data, sync.server.root)
    assert files_holding(sync.server.root, catalogue_server.HOSTILE_JUNK) == \
        [os.path.join(data, w) for w in written]
    for table in TABLES:
        assert sync.rows(table) == expected_rows(catalogue, table), table
    assert sync.version() == "DBVER=20\r\n"
    assert sync.ask("/dbAccess/CHK_DB") == "0"
    if name == "archive":
        assert (sync.data / "hostile.png").exists()
    if not fetched and name != "material-trap":
        assert re.search(r"error: refused to download %s: " % re.escape(named),
                         sync.server.log()), sync.server.log()


def damage_schema(path):
    data = bytearray(path.read_bytes())
    data[100:3100] = b"\x7f" * 3000
    path.write_bytes(bytes(data))


# A damaged catalogue is moved aside and rebuilt by the next DB_URL, after
# which the version check asks for an update and the update fills it.
@pytest.mark.parametrize("spoil", [
    pytest.param(lambda p: p.write_bytes(b"not a catalogue " * 512), id="not a database"),
    pytest.param(damage_schema, id="corrupt"),
])
def test_a_damaged_catalogue_heals(sync, stand_in, catalogue, spoil):
    assert sync.ask("/dbAccess/UPDATE_DB") == ""  # version 0: records, no commit
    db = sync.data / "qkprint.db"
    spoil(db)
    spoiled = db.read_bytes()
    assert sync.ask("/dbAccess/DB_URL") == str(sync.server.data_home)
    aside = list(sync.data.glob("qkprint.db.damaged-*"))
    assert len(aside) == 1 and aside[0].read_bytes() == spoiled
    assert re.search(r"error: the catalogue %s is damaged \(.*\); moved to %s" % (
        re.escape(str(db)), re.escape(str(aside[0]))), sync.server.log()), sync.server.log()
    assert sync.version() == "DBVER=0\n"
    assert sync.ask("/dbAccess/CHK_DB") == "1"
    assert sync.ask("/dbAccess/UPDATE_DB") == ""
    for table in TABLES:
        assert sync.rows(table) == expected_rows(catalogue, table), table
    assert sync.version() == "DBVER=20\r\n"
    assert sync.ask("/dbAccess/CHK_DB") == "0"


def test_a_read_only_catalogue_is_not_moved(sync):
    if os.geteuid() == 0:
        pytest.skip("the superuser writes read-only files")
    db = sync.data / "qkprint.db"
    con = sqlite3.connect(db)
    con.execute("DROP TABLE categories")  # DB_URL would create it again
    con.commit()
    con.close()
    db.chmod(0o444)
    before = db.read_bytes()
    assert sync.ask("/dbAccess/DB_URL") == str(sync.server.data_home)
    assert sync.ask("/dbAccess/CHK_DB") == "1"
    assert db.read_bytes() == before
    assert not list(sync.data.glob("qkprint.db.damaged-*"))


# Transfers at once to the catalogue server, as the server allows them.
PER_HOST_LIMIT = 6


@pytest.mark.concurrency
def test_downloads_keep_their_connections_and_stay_within_the_limit(sync, stand_in, catalogue):
    assert sync.ask("/dbAccess/CHK_DB") == "1"
    stand_in.clear()
    assert sync.ask("/dbAccess/UPDATE_DB") == ""
    requests = len(stand_in.received())
    connections = stand_in.connections()
    assert requests == 2 * len(TABLES) + len(picture_paths(catalogue))
    # Every request of the run went over a few kept connections, several of
    # them open at once for the pictures, never more than the limit.
    assert connections["accepted"] <= PER_HOST_LIMIT, connections
    assert 2 <= connections["peak_open"] <= PER_HOST_LIMIT, connections
    assert sync.version() == "DBVER=20\r\n"


@pytest.fixture
def http2_front(stand_in, tmp_path, monkeypatch):
    """The stand-in behind an https front that speaks HTTP/2 only, its
    throw-away certificate trusted by the server."""
    cert, key = http2_front_module.make_certificate(str(tmp_path))
    monkeypatch.setenv("SSL_CERT_FILE", cert)
    front = http2_front_module.Http2Front(stand_in, cert, key).start()
    yield front
    front.stop()


def test_over_http2_one_connection_carries_up_to_32_streams(server, stand_in, catalogue,
                                                            http2_front):
    server.start("--catalogue-url", http2_front.url)
    sync = Sync(server, stand_in, catalogue).prepare()
    assert sync.ask("/dbAccess/CHK_DB") == "1"
    pictures = picture_paths(catalogue)
    assert len(pictures) > 32  # enough to fill every stream
    before = http2_front.streams()["connections"]
    assert sync.ask("/dbAccess/UPDATE_DB") == ""
    streams = http2_front.streams()
    assert streams["connections"] - before == 1, streams
    assert streams["peak_streams"] == 32, streams
    for path in pictures:
        assert (sync.data / path.lstrip("/")).read_bytes() == stand_in.file_bytes(path), path
    assert sync.version() == "DBVER=20\r\n"


BIG_PICTURE = "/paper/thumb/big.png"
BIG_BYTES = 2 * 1024 * 1024
DEFAULT_RATE = 409600  # bytes per second: 4096 bytes per 10 ms


# A large picture is held to the download rate cap unless the configuration
# lifts it: 2 MiB at 400 KiB/s takes over 5 s, without the cap a moment.
@pytest.mark.parametrize("setting, capped", [
    pytest.param(None, True, id="default cap"),
    pytest.param("0", False, id="cap lifted"),
])
def test_the_download_rate_cap(server, setting, capped):
    catalogue = sample_catalogue.generate(seed=1, products=2)
    catalogue["paper_infos"][0]["goodsThumbName"] = BIG_PICTURE
    files = sample_catalogue.picture_files(catalogue)
    big = pngfile.png(4, 4, (1, 2, 3, 255))
    files[BIG_PICTURE.lstrip("/")] = big + bytes(BIG_BYTES - len(big))
    stand_in = catalogue_server.StandIn(catalogue, files).start()
    try:
        if setting is not None:
            with open(server.config_file, "a") as config:
                config.write("[Catalogue]\nmaxDownloadRate=%s\n" % setting)
        sync = Sync(server, stand_in, catalogue).start().prepare()
        assert sync.ask("/dbAccess/CHK_DB") == "1"
        started = time.monotonic()
        assert sync.ask("/dbAccess/UPDATE_DB") == ""
        elapsed = time.monotonic() - started
    finally:
        stand_in.stop()
    assert (sync.data / BIG_PICTURE.lstrip("/")).read_bytes() == files[BIG_PICTURE.lstrip("/")]
    assert sync.version() == "DBVER=20\r\n"
    least = BIG_BYTES / DEFAULT_RATE  # 5.1 s
    if capped:
        assert elapsed > least * 0.8, elapsed
    else:
        assert elapsed < least * 0.6, elapsed
