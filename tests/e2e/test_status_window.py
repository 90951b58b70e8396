"""The status window and the tray icon on a real X display with a tray host,
driven through the accessibility tree as a user would: --show opens the
window (starting a server when none runs), "Update now" runs an update
against the stand-in and shows its progress and summary, the tray icon docks
and its menu's Quit stops the server, and a Japanese desktop gets Japanese
texts."""
import re
import threading

import pytest

import sample_catalogue
from conftest import LEAKS, OK_EMPTY, Sync, exchange, started, wait_for
from test_browser_guards import request
from test_idle import woke_while_idle
from test_print_status import print_label
from desktop_session import Accessible, DesktopSession, SessionUnavailable
from x_display import DisplayUnavailable, XDisplay, stop_groups

TITLE = "Quillbox label server"


@pytest.fixture(scope="module")
def desktop():
    """One X display with a window manager, a session bus and a tray host
    for the module (pyatspi binds to one bus per process)."""
    for display in started(XDisplay(), DisplayUnavailable, "no X display"):
        yield from started(DesktopSession(display), SessionUnavailable, "no desktop session")


@pytest.fixture(scope="module")
def tree(desktop):
    try:
        return Accessible()
    except ImportError as reason:
        pytest.skip("no pyatspi: %s" % reason)


def put_on(server, desktop, monkeypatch, lang=None):
    env = server.env

    def on_desktop():
        values = {k: v for k, v in env().items()
                  if k not in ("QT_QPA_PLATFORM", "LANGUAGE", "LC_ALL", "LC_MESSAGES")}
        values.update(desktop.env(), LSAN_OPTIONS="suppressions=" + LEAKS)
        if lang:
            values["LANG"] = lang
        return values

    monkeypatch.setattr(server, "env", on_desktop)
    return server


@pytest.fixture
def on_desktop(desktop, server, monkeypatch):
    return put_on(server, desktop, monkeypatch)


@pytest.fixture
def catalogue():
    return sample_catalogue.generate(seed=1, products=12)


def window_shown(tree, title=TITLE, timeout=60):
    # Qt shows a plain top-level widget as a "filler" named by its title.
    return tree.wait_for(None, title, timeout=timeout)


def close_window(desktop, tree, title=TITLE):
    found = desktop.display.wait_for_window(lambda name: name == title, 30)
    assert found, desktop.display.windows()
    # A key pressed while the window manager is still taking the window in
    # can go astray: pressed again while the window stays.
    for _ in range(3):
        desktop.display.press(found[0], "alt+F4")
        if desktop.display.wait_gone(found[0], timeout=10):
            return
    raise AssertionError("the window stayed open")


def open_menu(desktop, server, icon):
    """Right-clicks the tray icon `icon` and waits for the menu's window."""
    def server_windows():
        found = desktop.display.xdotool("search", "--onlyvisible", "--classname",
                                        "^quillbox-server$").stdout.split()
        return set(found) - {icon}

    before = server_windows()
    desktop.display.xdotool("mousemove", "--window", icon, "4", "4", "click", "3")
    assert wait_for(lambda: server_windows() - before, 30), server.log()


def test_show_starts_a_server_then_shows_the_running_ones_window(desktop, tree, on_desktop):
    server = on_desktop
    # No server runs: --show becomes the server and shows its window.
    server.start("--show")
    assert window_shown(tree), server.log()
    close_window(desktop, tree)
    # The running server is asked to show it again; nothing else starts.
    shown = server.run("--show")
    assert shown.returncode == 0, shown.stderr
    assert window_shown(tree), server.log()
    assert server.log().count("version ") == 1
    assert server.proc.poll() is None


def test_update_now_shows_progress_and_summary(desktop, tree, on_desktop, stand_in, catalogue):
    sync = Sync(on_desktop, stand_in, catalogue).start().prepare()
    server = sync.server
    stand_in.faults["/paper/thumb/"] = "hold"  # the pictures wait until released
    assert server.run("--show").returncode == 0
    assert window_shown(tree), server.log()
    button = tree.wait_for("push button", "Update now")
    assert button, server.log()
    tree.press(button)

    progress = tree.wait_for("progress bar", "Update progress")
    assert progress, server.log()
    # The pictures of the imported products wait at the stand-in: the bar
    # shows them as downloads still to come.
    assert wait_for(lambda: re.search(r"Updating: [1-9][0-9]* downloads waiting",
                                      progress.description), 30), progress.description
    assert not tree.enabled(button)  # one run at a time

    stand_in.release_held()
    summary = tree.wait_for("label", lambda name: "update run:" in name and
                            ", 0 failures," in name, timeout=60)
    assert summary, server.log()
    assert re.search(r"\d+ files downloaded", summary.name)
    assert tree.wait_for("progress bar", "Update progress", timeout=2) is None
    # The same run as UPDATE_DB: its one summary line in the log.
    assert server.log().count("update run asked for on the desktop") == 1
    assert len(re.findall(r"update run: \d+ tables", server.log())) == 1


def select_row(tree, cell):
    """Selects the table row of `cell` as a click on it would."""
    action = cell.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    for wanted in ("Toggle", "toggle", "Select", "select", "Press", "press", "click"):
        if wanted in names:
            return action.doAction(names.index(wanted))
    raise AssertionError("the cell offers no way to select it: %s" % names)


def test_a_site_removed_in_the_window_is_asked_about_again(desktop, tree, on_desktop):
    server = on_desktop
    asked = "https://asked.example"
    with open(server.config_file, "a") as config:
        config.write("allowedOrigins=%s https://kept.example\nansweredOrigins=%s\n"
                     % (asked, asked))
    server.start("--show")
    assert window_shown(tree), server.log()
    kept_in = "answer to the question (%s)" % server.config_file
    assert tree.wait_for("table cell", kept_in, timeout=10), server.log()
    assert exchange(server.port, request(b"GET /dbAccess/IMG_URL HTTP/1.1",
                                         b"Origin: " + asked.encode())) == OK_EMPTY

    select_row(tree, tree.wait_for("table cell", asked, timeout=10))
    remove = tree.wait_for("push button", "Remove site", timeout=10)
    assert wait_for(lambda: tree.enabled(remove), 10)
    tree.press(remove)
    # Written through the site list: off the allowed list and no longer an
    # answer; the other entry stays. The running server takes it at once.
    assert wait_for(lambda: "allowedOrigins=https://kept.example\n"
                    in server.config_file.read_text(), 10), server.config_file.read_text()
    assert "answeredOrigins=\n" in server.config_file.read_text()
    assert wait_for(lambda: 'sites changed: origin "%s" was allowed, is now not listed' % asked
                    in server.log(), 10), server.log()
    assert 'origin "%s" forgotten in the status window' % asked in server.log()
    assert wait_for(lambda: tree.wait_for("table cell", asked, timeout=0) is None, 10)

    # The next request from it waits for the question, which is asked again.
    result = []
    thread = threading.Thread(target=lambda: result.append(exchange(
        server.port, request(b"GET /dbAccess/IMG_URL HTTP/1.1", b"Origin: " + asked.encode()),
        timeout=90)))
    thread.start()
    found = desktop.display.wait_for_window(lambda title: title == "Label server", 30)
    assert found, server.log()
    assert 'asking the user whether origin "%s" may use the server' % asked in server.log()
    desktop.display.press(found[0], "alt+a")
    thread.join(60)
    assert result == [OK_EMPTY]


def test_printers_come_from_the_scheduler_and_a_remembered_one_is_forgotten(
        desktop, tree, on_desktop, cups, monkeypatch):
    server = on_desktop
    env = server.env
    monkeypatch.setattr(server, "env", lambda: dict(env(), **cups.env()))
    with open(server.config_file, "a") as config:
        config.write("[Print]\n100x50mm=QuillboxPDF\n62x29mm=Other\n")
    server.start("--show")
    assert window_shown(tree), server.log()
    assert tree.wait_for("table cell", "QuillboxPDF (default)", timeout=30), server.log()

    select_row(tree, tree.wait_for("table cell", "100x50mm", timeout=10))
    forget = tree.wait_for("push button", "Forget printer", timeout=10)
    assert wait_for(lambda: tree.enabled(forget), 10)
    tree.press(forget)
    assert wait_for(lambda: "100x50mm=\n" in server.config_file.read_text(), 10), \
        server.config_file.read_text()
    assert "62x29mm=Other\n" in server.config_file.read_text()
    assert "the printer remembered for sheets of 100x50mm is forgotten" in server.log()
    assert wait_for(lambda: tree.wait_for("table cell", "100x50mm", timeout=0) is None, 10)

    # The scheduler goes away: the window says so, with the reason.
    cups.stop()
    reason = "the print scheduler (CUPS at %s) cannot be reached" % cups.socket
    assert tree.wait_for("table cell", reason, timeout=30), server.log()
    assert tree.wait_for("table cell", "the printers cannot be read", timeout=10)


def drawn(rows):
    """Share of the pixels that are not black (an undrawn window is black)."""
    pixels = [row[i:i + 3] for row in rows for i in range(0, len(row), 4)]
    return sum(pixel != b"\0\0\0" for pixel in pixels) / len(pixels)


def test_a_print_dialog_over_the_open_window_is_drawn_and_the_window_stays_live(
        desktop, tree, on_desktop, cups, monkeypatch):
    server = on_desktop
    env = server.env
    monkeypatch.setattr(server, "env", lambda: dict(env(), **cups.env()))
    server.start("--show")
    assert window_shown(tree), server.log()
    window = desktop.display.wait_for_window(lambda name: name == TITLE, 30)[0]
    print_label(server)
    dialog = desktop.display.wait_for_window(lambda name: name.startswith("Print "), 60)
    assert dialog, server.log()
    assert tree.wait_for("push button", "Print", timeout=30), server.log()
    assert wait_for(lambda: drawn(desktop.display.screen(dialog[0])) > 0.9, 20)
    # The window's clock goes on while the dialog waits for the user.
    before = desktop.display.screen(window)
    assert wait_for(lambda: desktop.display.screen(window) != before, 10)
    desktop.display.press(dialog[0], "Escape")
    assert desktop.display.wait_gone(dialog[0])


def test_a_closed_window_and_the_tray_icon_leave_the_server_asleep(desktop, tree, on_desktop):
    server = on_desktop
    before_icons = set(desktop.docked_icons())
    server.start("--show")
    assert window_shown(tree), server.log()
    assert wait_for(lambda: set(desktop.docked_icons()) - before_icons, 30), server.log()
    close_window(desktop, tree)
    woke = woke_while_idle(server.proc.pid)
    assert woke == {}, "threads woke while idle: %s\n%s" % (woke, server.log())


@pytest.mark.parametrize("setting, docked", [("", True), ("trayIcon=false\n", False)])
def test_tray_icon_docks_and_its_quit_stops_the_server(desktop, tree, on_desktop, setting,
                                                        docked):
    server = on_desktop
    with open(server.config_file, "a") as config:
        config.write(setting)
    before = set(desktop.docked_icons())
    server.start()
    if not docked:
        assert "no tray icon: [Server] trayIcon is false" in server.log()
        assert set(desktop.docked_icons()) == before
        return
    assert wait_for(lambda: set(desktop.docked_icons()) - before, 30), server.log()
    assert "tray icon shown" in server.log()
    icon = sorted(set(desktop.docked_icons()) - before)[0]
    # Qt leaves popup menus out of the accessibility tree: the menu is found
    # as the new window of the server and answered with its Quit mnemonic.
    open_menu(desktop, server, icon)
    desktop.display.xdotool("key", "q")
    assert server.proc.wait(timeout=30) == 0, server.log()
    assert "stopping" in server.log()


def test_tray_icon_docks_when_a_tray_starts_after_the_server(desktop, on_desktop):
    server = on_desktop
    stop_groups(desktop.tray)
    try:
        server.start()
        assert "the desktop has no tray now" in server.log()
        desktop.start_tray()
        assert wait_for(lambda: desktop.docked_icons(), 30), server.log()
    finally:
        if desktop.tray.poll() is not None:
            desktop.start_tray()


def test_japanese_desktop_gets_japanese_texts(desktop, tree, server, monkeypatch):
    put_on(server, desktop, monkeypatch, lang="ja_JP.UTF-8")
    before = set(desktop.docked_icons())
    server.start("--show")
    assert window_shown(tree, "Quillbox ラベルサーバー"), server.log()
    for name in ("今すぐ更新", "ログを開く", "終了", "サイトを削除"):
        assert tree.wait_for("push button", name, timeout=10), name
    assert tree.wait_for("label", "稼働時間:", timeout=10)
    assert tree.wait_for(None, "サイト", timeout=10)
