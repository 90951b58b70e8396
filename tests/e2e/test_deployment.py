"""What an administrator sets up and a user diagnoses: the catalogue server
taken from the configuration files, the checks of every configuration value,
the command-line messages and exit statuses, and the --status report."""
import os
import re
import signal
import subprocess

import pytest

import catalogue_server
import sample_catalogue
from conftest import LEAKS, Sync, accepts, ask, has_ipv6_loopback, started, wait_for
from x_display import DisplayUnavailable, XDisplay

VERSION_FILE = "/Ver3/DeskTop/verFile_DB.txt"


@pytest.fixture(scope="module")
def catalogue():
    return sample_catalogue.generate(seed=1, products=2)


@pytest.fixture
def stand_ins(catalogue):
    servers = {name: catalogue_server.StandIn(catalogue).start() for name in ("A", "B")}
    yield servers
    for srv in servers.values():
        srv.stop()


def write(path, text):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(text)


# (user file's url, system file's url, --catalogue-url, which stand-in is asked)
@pytest.mark.parametrize("user, system, flag, asked", [
    pytest.param("A", None, None, "A", id="user file"),
    pytest.param(None, "A", None, "A", id="system-wide file"),
    pytest.param("A", "B", None, "A", id="user file before system-wide file"),
    pytest.param("B", "B", "A", "A", id="command line before both files"),
    pytest.param("", "B", None, None, id="empty url in the user file: no catalogue server"),
])
def test_catalogue_server_from_the_configuration(server, stand_ins, user, system, flag, asked):
    def url(name):
        return stand_ins[name].url if name else ""

    if user is not None:
        write(server.config_file, "[Server]\nport=%d\n[Catalogue]\nurl=%s\n"
              % (server.port, url(user)))
    if system is not None:
        write(server.system_config_file, "[Catalogue]\nurl=%s/\n" % url(system))
    args = ["--catalogue-url", url(flag)] if flag else []
    server.start(*args, catalogue_flag=False)
    assert ask(server.port, "/dbAccess/DB_URL") == str(server.data_home)
    ask(server.port, "/dbAccess/CHK_DB")
    for name, stand_in in stand_ins.items():
        assert (VERSION_FILE in stand_in.received()) == (name == asked), (name, server.log())
    log = server.log()
    if asked:
        assert "catalogue server %s," % url(asked) in log
        assert "no catalogue server is configured" not in log
    else:
        assert "catalogue server none," in log
        assert log.count("no catalogue server is configured ([Catalogue] url); "
                         "no catalogue request is made\n") == 1


# (configuration after the [Server] port line, the warning expected after
# "<file>:<line>: ", the line it names)
BAD_VALUES = [
    pytest.param("[Server]\nbindAddress=my-laptop\n",
                 '[Server] bindAddress "my-laptop" is not an IPv4 or IPv6 address or localhost; '
                 'using this computer only (127.0.0.1 and ::1)', 4, id="bindAddress not an address"),
    pytest.param("[Server]\nallowedOrigins=https://a.example nonsense\n",
                 '[Server] allowedOrigins entry "nonsense" is not an origin '
                 '(scheme://host[:port] or null); it is left out', 4, id="allowedOrigins entry"),
    pytest.param("[Server]\ndeniedOrigins=https://b.example *\n",
                 '[Server] deniedOrigins entry "*" is not an origin '
                 '(scheme://host[:port] or null); it is left out', 4, id="deniedOrigins star"),
    pytest.param("[Server]\nallowedHosts=good.example bad/host\n",
                 '[Server] allowedHosts entry "bad/host" is not a host name or address '
                 '(host[:port]); it is left out', 4, id="allowedHosts entry"),
    pytest.param("[Catalogue]\nurl=ftp://catalogue.example\n",
                 '[Catalogue] url "ftp://catalogue.example" is not http://host[:port] or '
                 'https://host[:port]; no catalogue server is used', 4,
                 id="catalogue url not http"),
    pytest.param("[Catalogue]\nproxy=proxy example\n",
                 '[Catalogue] proxy "proxy example" is not a proxy address '
                 '([scheme://]host[:port]); no proxy is set', 4, id="proxy with a blank"),
    pytest.param("[Save]\nfolder=Documents\n",
                 '[Save] folder "Documents" is not an absolute path or one starting with ~/; '
                 'using the download folder', 4, id="save folder relative"),
    pytest.param("[Server]\ncolour=1\n", "unknown key colour in [Server]; ignored", 4,
                 id="unknown key"),
    pytest.param("[Catalogue]\nulr=http://127.0.0.1:9\n",
                 "unknown key ulr in [Catalogue]; did you mean url?", 4, id="misspelt key"),
    pytest.param("[Printing]\nport=1\n", "unknown group [Printing]; its keys are ignored", 3,
                 id="unknown group"),
    pytest.param("[Sever]\nport=1\n", "unknown group [Sever]; did you mean [Server]?", 3,
                 id="misspelt group"),
    pytest.param("just words\n",
                 '"just words" is neither [Group], key=value nor a comment, or is outside any '
                 'group; ignored', 3, id="line not understood"),
    pytest.param("[Server]\nport=1\n", "[Server] port is set again in this file; "
                 "the first value is used", 4, id="key set twice"),
]


@pytest.mark.parametrize("extra, warning, line", BAD_VALUES)
def test_bad_value_is_logged_once_with_file_and_line(server, extra, warning, line):
    write(server.config_file, "[Server]\nport=%d\n%s" % (server.port, extra))
    server.start()
    # A rebind checks the configuration again without repeating the warning.
    server.proc.send_signal(signal.SIGHUP)
    assert wait_for(lambda: server.log().count("listening on") == 2, 10), server.log()
    expected = "quillbox-server: warning: %s:%d: %s" % (server.config_file, line, warning)
    lines = server.log().splitlines()
    assert lines.count(expected) == 1, server.log()
    assert len([x for x in lines if "warning:" in x]) == 1, server.log()


# (the port value given the free port P, warning given P and the value, port listened on)
@pytest.mark.parametrize("group, key, value, warning", [
    pytest.param("Server", "port", lambda p: str(p + 65536),
                 lambda p, v: "[Server] port %s is above 65535; using its low 16 bits, %d"
                 % (v, p), id="port above 16 bits keeps its low 16 bits"),
    pytest.param("server", "port", str, lambda p, v: "group [server] is read as [Server]",
                 id="lower-case group is read with a warning"),
    pytest.param("Server", "Port", str, lambda p, v: "[Server] Port is read as port",
                 id="other spelling of a key is read with a warning"),
])
def test_port_spellings_and_values(server, group, key, value, warning):
    text = value(server.port)
    write(server.config_file, "[%s]\n%s=%s\n" % (group, key, text))
    server.start()
    line = 1 if "group" in warning(server.port, text) else 2
    assert ("quillbox-server: warning: %s:%d: %s" % (server.config_file, line,
                                                      warning(server.port, text))
            in server.log().splitlines()), server.log()


def test_port_that_is_not_a_number_gives_3210_with_a_warning(server):
    write(server.config_file, "[Server]\nport=abc\n")
    server.start(wait=False)
    expected = ('quillbox-server: warning: %s:2: [Server] port "abc" is not a whole number '
                'from 0 to 4294967295; using 3210' % server.config_file)
    assert wait_for(lambda: expected in server.log().splitlines(), 10), server.log()
    assert wait_for(lambda: "port 3210" in server.log(), 10), server.log()


def test_system_wide_value_applies_where_the_user_sets_none(server):
    write(server.config_file, "[Server]\nallowedOrigins=*\n")
    write(server.system_config_file, "[Server]\nport=%d\n" % server.port)
    server.start()
    assert accepts(server.port)


def test_command_line_messages_and_exit_statuses(server):
    socket_path = server.runtime / "qxprintserverprop"
    # No server yet: the client names the socket it tried.
    result = server.run("--send", "1037", "0")
    assert (result.returncode, result.stdout, result.stderr) == (
        1, b"", b"quillbox-server: no running server (no answer on %s)\n" % str(socket_path).encode())

    server.start()
    cases = [
        (["--send", "1037", "0"], 0, b""),
        (["--send", "9999"], 2,
         b"quillbox-server: the server does not know the message 9999 (it answered unknown)\n"),
        ([], 0, b"quillbox-server: already running (pid %d, port %d)\n"
         % (server.proc.pid, server.port)),
        (["--send"], 1, b"quillbox-server: --send needs a message number\n"),
    ]
    for args, status, stderr in cases:
        result = server.run(*args)
        assert (result.returncode, result.stdout, result.stderr) == (status, b"", stderr), args
    assert server.proc.poll() is None


def test_no_runtime_folder_variable_names_the_fallback_and_prints_no_qt_lines(server):
    env = server.env()
    del env["XDG_RUNTIME_DIR"]
    result = subprocess.run([os.environ["QUILLBOX_SERVER"], "--status"], env=env,
                            capture_output=True, timeout=60)
    assert result.stderr == b""
    fallback = "/tmp/quillbox-%d" % os.getuid()
    assert re.search(r"^  running: (yes, |no \(.*%s)" % re.escape(fallback),
                     result.stdout.decode(), re.M), result.stdout.decode()


@pytest.fixture
def display():
    """An X display of its own, with a window manager."""
    yield from started(XDisplay(), DisplayUnavailable, "no X display")


def status(server, env=None):
    full = dict(server.env(), **(env or {}))
    result = subprocess.run([os.environ["QUILLBOX_SERVER"], "--status"], env=full,
                            capture_output=True, timeout=60)
    assert result.stderr == b""
    return result.returncode, result.stdout.decode().splitlines()


NO_CUPS = {"CUPS_SERVER": "/nonexistent/cups.sock"}


# Each case: configuration lines after [Server] port, whether the stand-in is
# the catalogue server, whether the server gets a display; then lines the
# report must hold exactly (formatted with the case's values) and its exit
# status. No CUPS scheduler is reachable, so it is always among the problems.
STATUS_CASES = [
    pytest.param("", True, False, [
        "  running: yes, pid {pid}, up 0:00:0*, version *",
        "  listening: {loopback} port {port} (bound by this server)",
        "  url: {catalogue} (in use by the running server)",
        "  reachable: yes, catalogue version 20",
        "  server: headless: no dialogs; prints go to the default printer, "
        "documents to [Save] folder",
        "  print scheduler: CUPS at /nonexistent/cups.sock, not reachable",
        "  default destination: unknown",
        "  allowed origins: none listed (with a display, the user is asked about each origin)",
        "  denied origins: none listed",
        "Problems",
        "  - the print scheduler (CUPS at /nonexistent/cups.sock) cannot be reached: nothing "
        "can print; start it with sudo systemctl start cups, or set CUPS_SERVER to the "
        "scheduler to use",
    ], 2, id="catalogue reachable, headless"),
    pytest.param("", False, False, [
        "  url: http://127.0.0.1:9 (in use by the running server)",
        "  reachable: no (GET http://127.0.0.1:9%s: Couldn't connect to server)" % VERSION_FILE,
        "  - the catalogue server http://127.0.0.1:9 cannot be reached "
        "(Couldn't connect to server): the catalogue is not updated",
    ], 2, id="catalogue unreachable"),
    pytest.param("", True, True, [
        "  server: dialogs are shown on DISPLAY={display}",
        "  this shell: DISPLAY={display}",
    ], 2, id="with a display"),
    pytest.param("bindAddress=my-laptop\n", True, False, [
        "  listening: {loopback} port {port} (bound by this server)",
        "  [Server] bindAddress: this computer only (127.0.0.1 and ::1) "
        "(fallback, as {config}:3 is not usable)",
        '  warning: {config}:3: [Server] bindAddress "my-laptop" is not an IPv4 or IPv6 '
        "address or localhost; using this computer only (127.0.0.1 and ::1)",
        "  - the configuration has 1 warning(s), listed above",
    ], 2, id="bad config value"),
]


def matches(pattern, line):
    return re.fullmatch(re.escape(pattern).replace(r"\*", ".*"), line) is not None


@pytest.mark.parametrize("extra, reachable, with_display, expected, exit_status", STATUS_CASES)
def test_status_of_a_running_server(server, stand_ins, extra, reachable, with_display, expected,
                                    exit_status, request):
    shown = request.getfixturevalue("display").display if with_display else ""
    write(server.config_file, "[Server]\nport=%d\n%s" % (server.port, extra))
    catalogue = stand_ins["A"].url if reachable else "http://127.0.0.1:9"
    if with_display:
        original = server.env
        server.env = lambda: dict(original(), DISPLAY=shown, LSAN_OPTIONS="suppressions=" + LEAKS)
    server.start("--catalogue-url", catalogue, catalogue_flag=False)
    try:
        code, lines = status(server, NO_CUPS)
    finally:
        server.stop()  # before its display goes
    values = dict(pid=server.proc.pid, port=server.port, catalogue=catalogue, display=shown,
                  config=server.config_file,
                  loopback="127.0.0.1 and ::1" if has_ipv6_loopback() else "127.0.0.1")
    for pattern in expected:
        wanted = pattern.format(**values)
        assert any(matches(wanted, line) for line in lines), (wanted, "\n".join(lines))
    assert code == exit_status, "\n".join(lines)


def test_status_without_a_server_still_checks_the_catalogue(server, stand_ins):
    write(server.config_file, "[Server]\nport=%d\n" % server.port)
    write(server.system_config_file, "[Catalogue]\nurl=%s\n" % stand_ins["B"].url)
    server.start(catalogue_flag=False)
    sync = Sync(server, stand_ins["B"], None).prepare()
    assert sync.ask("/dbAccess/CHK_DB") == "1"
    assert sync.ask("/dbAccess/UPDATE_DB", timeout=120) == ""
    server.stop()

    code, lines = status(server, NO_CUPS)
    data = server.data_home / "jp.co.tavrim.Pelloran.V3" / "data"
    assert code == 3
    for wanted in [
        "  running: no (no server answers on %s)" % (server.runtime / "qxprintserverprop"),
        "  file: %s (read)" % server.config_file,
        "  file: %s (read)" % server.system_config_file,
        "  [Catalogue] url: %s (%s)" % (stand_ins["B"].url, server.system_config_file),
        "  data folder: %s" % data,
        "  version: 20",
        "  integrity: ok",
        "  url: %s (%s)" % (stand_ins["B"].url, server.system_config_file),
        "  reachable: yes, catalogue version 20",
        "  this shell: no display (a server started here runs headless)",
        "  - no server is running: start it with systemctl --user start quillbox-server",
    ]:
        assert wanted in lines, (wanted, "\n".join(lines))
    catalogue = sample_catalogue.generate(seed=1, products=2)
    assert "  table paper_infos: %d rows" % len(catalogue["paper_infos"]) in lines, lines
    assert any(re.fullmatch(r"  last: \S+ \S+ \S+ update run: \d+ tables, \d+ changed records, "
                            r"\d+ files downloaded, 0 failures, 0 refused, \d+ ms", line)
               for line in lines), lines


def test_status_all_well_exits_0(server, stand_ins, cups):
    write(server.config_file, "[Server]\nport=%d\n" % server.port)
    original = server.env
    server.env = lambda: dict(original(), **cups.env())
    server.start("--catalogue-url", stand_ins["A"].url, catalogue_flag=False)
    code, lines = status(server)
    assert "  default destination: QuillboxPDF (idle)" in lines, "\n".join(lines)
    assert lines[-2:] == ["Problems", "  none found"], "\n".join(lines)
    assert code == 0
