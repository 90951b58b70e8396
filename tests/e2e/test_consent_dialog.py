"""The question about a web origin on a real X display: asked once per
origin, answered by pressing the dialog's buttons, remembered in the
configuration file and used without a question afterwards, also by the next
run."""
import threading

import pytest

from conftest import LEAKS, OK, OK_EMPTY, exchange, started, wait_for
from test_browser_guards import DENIED, FORBIDDEN, WAITING, logs_stored, request
from x_display import DisplayUnavailable, XDisplay

TITLE = "Label server"


@pytest.fixture
def display():
    """An X display of its own, with a window manager."""
    yield from started(XDisplay(), DisplayUnavailable, "no X display")


@pytest.fixture
def shown(display, server, monkeypatch):
    """A server that shows dialogs on `display` (set up first, so that the
    display outlives the server)."""
    env = server.env

    def with_display():
        return dict(env(), DISPLAY=display.display, LSAN_OPTIONS="suppressions=" + LEAKS)

    monkeypatch.setattr(server, "env", with_display)
    return server


def question_open(display):
    return TITLE in display.windows().values()


def answer(display, key):
    """Waits for the question and presses `key` in it."""
    found = display.wait_for_window(lambda title: title == TITLE, 30)
    assert found, "no question appeared"
    display.press(found[0], key)
    assert display.wait_gone(found[0]), "the question stayed open"


def in_background(port, raw):
    """Sends `raw` on a thread; the answer is in result[0] once joined."""
    result = []
    thread = threading.Thread(target=lambda: result.append(exchange(port, raw, timeout=90)))
    thread.start()
    return thread, result


def questions(server, origin):
    return server.log().count('asking the user whether origin "%s" may use the server' % origin)


def test_origin_question_answered_and_remembered(display, shown):
    server = shown
    server.start()
    assert exchange(server.port, request(b"GET /dbAccess/DB_URL HTTP/1.1")).startswith(OK)
    allow = b"Origin: https://allow.example"
    deny = b"Origin: https://deny.example:8443"

    # Allow: the waiting request is served once the user answers.
    thread, result = in_background(server.port, request(b"GET /dbAccess/LOG@p=A&t=1 HTTP/1.1",
                                                        allow))
    answer(display, "alt+a")
    thread.join(60)
    assert result == [OK_EMPTY]
    assert logs_stored(server) == [("A",)]
    # Remembered: served at once, without a question.
    assert exchange(server.port, request(b"GET /dbAccess/LOG@p=B&t=1 HTTP/1.1", allow)) == OK_EMPTY
    assert questions(server, "https://allow.example") == 1
    assert not question_open(display)

    # Deny, with more requests waiting than an origin may have: the one too
    # many is refused at once, the others wait for the answer.
    waiting = [in_background(server.port, request(b"POST /print/init HTTP/1.1", deny,
                                                  body=b"width=1")) for _ in range(4)]
    assert wait_for(lambda: server.log().count(
        'a request from origin "https://deny.example:8443" waits') == 4, 30), server.log()
    assert exchange(server.port, request(b"GET /dbAccess/LOG@p=C&t=1 HTTP/1.1", deny)) == WAITING
    answer(display, "alt+d")
    for thread, result in waiting:
        thread.join(60)
        assert result == [DENIED]
    assert exchange(server.port, request(b"GET /dbAccess/IMG_URL HTTP/1.1", deny)) == DENIED
    assert questions(server, "https://deny.example:8443") == 1
    # Nothing of the denied requests was done.
    assert logs_stored(server) == [("A",), ("B",)]
    assert exchange(server.port, request(b"POST /print/init HTTP/1.1")) == OK + b"1\r\n\r\n0"

    config = server.config_file.read_text()
    assert "allowedOrigins=https://allow.example\n" in config
    assert "deniedOrigins=https://deny.example:8443\n" in config

    # The next run reads both answers from the file: no question at all.
    server.stop()
    server.start()
    assert exchange(server.port, request(b"GET /dbAccess/LOG@p=D&t=1 HTTP/1.1", allow)) == OK_EMPTY
    assert exchange(server.port, request(b"GET /dbAccess/LOG@p=E&t=1 HTTP/1.1", deny)) == DENIED
    assert logs_stored(server) == [("A",), ("B",), ("D",)]
    assert questions(server, "https://allow.example") == 1  # the log holds both runs
    assert questions(server, "https://deny.example:8443") == 1
    assert not question_open(display)


def answered_origins(n):
    return ["https://old%d.example" % i for i in range(n)]


def test_denials_pause_the_questions_and_the_file_stays_bounded(display, shown):
    server = shown
    # Earlier answers fill the remembered denials to their bound.
    old = answered_origins(100)
    server.config_file.write_text(
        "[Server]\nport=%d\ndeniedOrigins=%s\nansweredOrigins=%s\n"
        % (server.port, " ".join(old), " ".join(old)))
    size = server.config_file.stat().st_size
    server.start()
    # A page that tries one new origin after another.
    flood = ["https://flood%d.example" % i for i in range(6)]
    waiting = [in_background(server.port, request(b"GET /dbAccess/IMG_URL HTTP/1.1",
                                                  b"Origin: " + origin.encode()))
               for origin in flood]
    assert wait_for(lambda: server.log().count("asking the user whether origin") == 6, 30), (
        server.log())
    for _ in range(3):
        answer(display, "Escape")
    # The questions still waiting close unanswered: every request is refused,
    # as denied for the three denied origins, as not allowed for the others.
    answers = []
    for thread, result in waiting:
        thread.join(60)
        answers += result
    assert sorted(answers) == sorted([DENIED] * 3 + [FORBIDDEN] * 3)
    assert not question_open(display)
    pause = ("the user denied 3 origins within 10 minutes: origins not yet allowed are refused "
             "without asking for the next hour")
    assert server.log().count(pause) == 1
    # A new origin now is refused at once, without a question.
    assert exchange(server.port, request(b"GET /dbAccess/IMG_URL HTTP/1.1",
                                         b"Origin: https://flood6.example")) == FORBIDDEN
    assert questions(server, "https://flood6.example") == 0
    assert not question_open(display)
    assert server.log().count(pause) == 1
    # Three denials remembered, the three oldest answers dropped for them.
    config = server.config_file.read_text()
    denied = next(line for line in config.splitlines()
                  if line.startswith("deniedOrigins=")).split("=", 1)[1].split()
    assert len(denied) == 100
    assert denied[:97] == old[3:]
    assert sorted(denied[97:]) == sorted(o for o in flood if 'denied origin "%s"' % o
                                         in server.log())
    assert server.config_file.stat().st_size <= size + 3 * len("https://floodN.example") + 3


def test_dont_ask_again_refuses_new_origins_until_turned_back_on(display, shown):
    server = shown
    server.start()
    thread, result = in_background(server.port, request(b"GET /dbAccess/IMG_URL HTTP/1.1",
                                                        b"Origin: https://first.example"))
    answer(display, "alt+n")
    thread.join(60)
    assert result == [DENIED]
    config = server.config_file.read_text()
    assert "askForNewSites=false\n" in config
    assert "first.example" not in config  # refused, not remembered as denied
    assert exchange(server.port, request(b"GET /dbAccess/IMG_URL HTTP/1.1",
                                         b"Origin: https://second.example")) == FORBIDDEN
    assert questions(server, "https://second.example") == 0
    assert ('the user refused origin "https://first.example" and chose not to be asked again'
            in server.log())
    # The next run keeps it off.
    server.stop()
    server.start()
    assert exchange(server.port, request(b"GET /dbAccess/IMG_URL HTTP/1.1",
                                         b"Origin: https://second.example")) == FORBIDDEN
    assert ("refused a request from origin \"https://second.example\": not in [Server] "
            "allowedOrigins, and asking about new origins is turned off "
            "([Server] askForNewSites=false)") in server.log()
    # Turned back on in the file: asked again.
    server.config_file.write_text(config.replace("askForNewSites=false", "askForNewSites=true"))
    count = server.log().count("listening on ")
    assert server.run("--relisten").returncode == 0
    assert wait_for(lambda: server.log().count("listening on ") > count, 10), server.log()
    thread, result = in_background(server.port, request(b"GET /dbAccess/IMG_URL HTTP/1.1",
                                                        b"Origin: https://second.example"))
    answer(display, "alt+a")
    thread.join(60)
    assert result == [OK_EMPTY]
