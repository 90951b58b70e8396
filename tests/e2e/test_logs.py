"""What the server writes to standard error: one debug line per request with
--verbose, nothing per request at the normal level, and never a request body."""
import re

import pytest

import catalogue_server
import sample_catalogue
from conftest import Sync, exchange, post

# Bodies carry this text; it must never reach the log.
SECRET = b"SECRET-BODY-0123456789"
PAGE = b"data:image/png;base64," + SECRET * 40


def get(port, target):
    return exchange(port, b"GET %s HTTP/1.1\r\n\r\n" % target)


# (request sent, the request line expected with --verbose)
REQUESTS = [
    (lambda port: get(port, b"/dbAccess/IMG_URL"), r"GET /dbAccess/IMG_URL 200 0 bytes \d+ ms"),
    (lambda port: get(port, b"/dbAccess/UPDATE_STATUS_DB?x=1"),
     r"GET /dbAccess/UPDATE_STATUS_DB 200 9 bytes \d+ ms"),
    (lambda port: post(port, b"/print/init", b"width=210&height=297&" + SECRET),
     r"POST /print/init 200 1 bytes \d+ ms"),
    (lambda port: post(port, b"/print/add", b"id=0&img=" + PAGE),
     r"POST /print/add 500 0 bytes \d+ ms"),
    (lambda port: post(port, b"/saveqx/save?name=kept.qx3", SECRET),
     r"POST /saveqx/save 200 0 bytes \d+ ms"),
    (lambda port: get(port, b"/PRINT/INIT"), r"GET /PRINT/INIT 500 0 bytes \d+ ms"),
]


@pytest.mark.parametrize("verbose", [
    pytest.param(True, id="verbose logs each request"),
    pytest.param(False, id="normal level stays quiet per request"),
])
def test_request_lines_and_no_bodies(server, verbose):
    server.config_file.write_text("[Server]\nport=%d\n[Save]\nfolder=%s\n"
                                  % (server.port, server.root / "saved"))
    server.start(verbose=verbose)
    for send, _ in REQUESTS:
        send(server.port)
    server.stop()
    log = server.log()
    lines = log.splitlines()

    assert all(line.startswith("quillbox-server: ") for line in lines), log
    assert SECRET.decode() not in log
    assert re.search(r"version \S+, data folder \S+, catalogue server http://127\.0\.0\.1:9",
                     log), log
    assert re.search(r"listening on 127\.0\.0\.1( and ::1)? port %d\n" % server.port, log), log
    assert re.search(r"saved 22 bytes to \S+kept\.qx3", log), log
    for _, pattern in REQUESTS:
        found = [line for line in lines
                 if re.fullmatch("quillbox-server: debug: " + pattern, line)]
        assert len(found) == (1 if verbose else 0), (pattern, log)
    if not verbose:
        assert "debug:" not in log
        assert "/dbAccess/IMG_URL" not in log


@pytest.fixture
def catalogue():
    return sample_catalogue.generate(seed=1, products=6)


def test_update_run_is_one_summary_line_at_normal_level(server, stand_in, catalogue):
    server.start("--catalogue-url", stand_in.url, verbose=False)
    sync = Sync(server, stand_in, catalogue).prepare()
    assert sync.ask("/dbAccess/UPDATE_DB", timeout=120) == ""
    server.stop()
    files = [r for r in stand_in.received() if "Update?date=" not in r]
    records = sum(len(catalogue[t]) for t in sample_catalogue.SERVER_TABLES)
    summary = [line for line in server.log().splitlines() if "update run" in line]
    assert len(summary) == 1, server.log()
    assert re.fullmatch(r"quillbox-server: update run: %d tables, %d changed records, "
                        r"%d files downloaded, 0 failures, 0 refused, \d+ ms"
                        % (len(sample_catalogue.SERVER_TABLES), records, len(files)),
                        summary[0]), (summary, len(files), records)


def test_an_unreachable_catalogue_server_is_logged_at_normal_level(server, catalogue):
    stopped = catalogue_server.StandIn(catalogue)
    url = stopped.url
    stopped.stop()  # nothing listens there any more
    server.start("--catalogue-url", url, verbose=False)
    sync = Sync(server, stopped, catalogue).prepare()
    assert sync.ask("/dbAccess/CHK_DB") == "0"  # as specified: falls through
    assert sync.ask("/dbAccess/UPDATE_DB") == ""
    server.stop()
    lines = server.log().splitlines()
    reason = "Could(n't| not) connect to server"
    assert any(re.fullmatch(r"quillbox-server: error: cannot read the catalogue version from "
                            r"%s/Ver3/DeskTop/verFile_DB\.txt: %s" % (re.escape(url), reason), line)
               for line in lines), lines
    for table in sample_catalogue.SERVER_TABLES:
        assert any(re.fullmatch(r"quillbox-server: error: download failed: %s/%s/chkUpdate\?"
                                r"date=2013-01-01%%2000:00:00: %s" % (re.escape(url), table, reason),
                                line) for line in lines), (table, lines)
    summary = [line for line in lines if "update run" in line]
    assert len(summary) == 1 and re.fullmatch(
        r"quillbox-server: update run: %d tables, 0 changed records, 0 files downloaded, "
        r"%d failures, 0 refused, \d+ ms" % ((len(sample_catalogue.SERVER_TABLES),) * 2),
        summary[0]), lines
    assert "debug:" not in server.log()


STAMP = r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} [+-]\d{4} "


# (JOURNAL_STREAM given the device and inode of the server's standard error,
# whether the lines are kept in the log file too)
@pytest.mark.parametrize("journal_stream, kept", [
    pytest.param(None, True, id="no journal: a log file"),
    pytest.param(lambda dev, ino: "%d:%d" % (dev, ino), False,
                 id="standard error is the journal: no file"),
    pytest.param(lambda dev, ino: "%d:%d" % (dev, ino + 1), True,
                 id="the journal stream is another one: a log file"),
])
def test_log_file_when_no_journal_keeps_the_lines(server, journal_stream, kept):
    server.write_port(server.port)
    server.stderr_path.touch()
    if journal_stream:
        info = server.stderr_path.stat()
        original = server.env
        server.env = lambda: dict(original(), JOURNAL_STREAM=journal_stream(info.st_dev,
                                                                            info.st_ino))
    server.start()
    status = server.run("--status", timeout=60).stdout.decode().splitlines()
    server.stop()
    path = server.home / ".local/state/Tavrim/Quillbox/quillbox-server.log"
    assert path.exists() == kept
    if not kept:
        assert "  log: the journal (journalctl --user -u quillbox-server)" in status, status
        return
    assert "  log: %s" % path in status, status
    stderr_lines = server.log().splitlines()
    file_lines = path.read_text().splitlines()
    assert len(file_lines) == len(stderr_lines), (file_lines, stderr_lines)
    for in_file, on_stderr in zip(file_lines, stderr_lines):
        assert re.fullmatch(STAMP + re.escape(on_stderr), in_file), (in_file, on_stderr)
    assert path.stat().st_mode & 0o777 == 0o600
