"""The question about a web origin on a real X display: asked once per
origin, answered by pressing the dialog's buttons, remembered in the
configuration file and used without a question afterwards, also by the next
run."""
import os
import pathlib
import subprocess
import threading

import pytest

from conftest import OK, OK_EMPTY, exchange, wait_for
from test_browser_guards import FORBIDDEN, logs_stored, request

TITLE = "^Label server$"


class Display:
    """Xvfb on a display number it picks itself, with a window manager."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
             "-nolisten", "tcp"], pass_fds=(write_end,), stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read_end, 16)
            if not chunk:
                raise RuntimeError("Xvfb did not start")
            number += chunk
        os.close(read_end)
        self.name = ":" + number.decode().strip()
        self.wm = subprocess.Popen(["openbox"], env=self.env(), stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)

    def env(self):
        return dict(os.environ, DISPLAY=self.name)

    def xdotool(self, *args, timeout=30):
        return subprocess.run(["xdotool", *args], env=self.env(), capture_output=True,
                              timeout=timeout)

    def windows(self):
        return self.xdotool("search", "--onlyvisible", "--name", TITLE).stdout.split()

    def answer(self, key):
        """Waits for the question and presses `key` in it."""
        assert wait_for(lambda: self.windows(), 30), "no question appeared"
        window = self.windows()[0]
        self.xdotool("windowactivate", "--sync", window)
        self.xdotool("key", "--clearmodifiers", key)
        assert wait_for(lambda: not self.windows(), 30), "the question stayed open"

    def stop(self):
        for proc in (self.wm, self.xvfb):
            proc.terminate()
            proc.wait(timeout=10)


@pytest.fixture
def display():
    screen = Display()
    yield screen
    screen.stop()


@pytest.fixture
def shown(display, server, monkeypatch):
    """A server that shows dialogs on `display` (set up first, so that the
    display outlives the server)."""
    env = server.env

    def with_display():
        values = env()
        values["DISPLAY"] = display.name
        values["LSAN_OPTIONS"] = "suppressions=%s" % (
            pathlib.Path(__file__).parent / "lsan_display.supp")
        return values

    monkeypatch.setattr(server, "env", with_display)
    return server


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
    display.answer("alt+a")
    thread.join(60)
    assert result == [OK_EMPTY]
    assert logs_stored(server) == [("A",)]
    # Remembered: served at once, without a question.
    assert exchange(server.port, request(b"GET /dbAccess/LOG@p=B&t=1 HTTP/1.1", allow)) == OK_EMPTY
    assert questions(server, "https://allow.example") == 1
    assert not display.windows()

    # Deny, with more requests waiting than an origin may have: the one too
    # many is refused at once, the others wait for the answer.
    waiting = [in_background(server.port, request(b"POST /print/init HTTP/1.1", deny,
                                                  body=b"width=1")) for _ in range(4)]
    assert wait_for(lambda: server.log().count(
        'a request from origin "https://deny.example:8443" waits') == 4, 30), server.log()
    assert exchange(server.port, request(b"GET /dbAccess/LOG@p=C&t=1 HTTP/1.1", deny)) == FORBIDDEN
    display.answer("alt+d")
    for thread, result in waiting:
        thread.join(60)
        assert result == [FORBIDDEN]
    assert exchange(server.port, request(b"GET /dbAccess/IMG_URL HTTP/1.1", deny)) == FORBIDDEN
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
    assert exchange(server.port, request(b"GET /dbAccess/LOG@p=E&t=1 HTTP/1.1", deny)) == FORBIDDEN
    assert logs_stored(server) == [("A",), ("B",), ("D",)]
    assert questions(server, "https://allow.example") == 1  # the log holds both runs
    assert questions(server, "https://deny.example:8443") == 1
    assert not display.windows()
