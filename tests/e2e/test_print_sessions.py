"""However a print ends on the desktop (cancelled in the dialog, failed,
without a printer), its page images leave the all-sessions budget at once:
the running server's status report shows none held, and printing goes on
after any number of such ends."""
import base64
import re

import pytest

from conftest import OK_EMPTY, exchange, ok, post, started, wait_for
from pngfile import noise_png
from test_desktop_dialogs import on_desktop, pdf_info, quadrants
from x_display import DisplayUnavailable, XDisplay


@pytest.fixture(scope="module")
def display():
    """Xvfb with openbox, shared by the module's tests."""
    yield from started(XDisplay(), DisplayUnavailable, "no X display")


@pytest.fixture(scope="module")
def large_page():
    """A page image of about 5.9 MB: 35 of them held pass the budget of all
    sessions (192 MiB)."""
    return b"data:image/png;base64," + base64.b64encode(noise_png(1400))


def held(server):
    """(bytes of page images held, print sessions open) from the running
    server's status report."""
    report = server.run("--status", timeout=120).stdout.decode()
    found = re.search(r"page images held: (\d+) bytes, (\d+) print session\(s\) open", report)
    assert found, report
    return int(found.group(1)), int(found.group(2))


def send_print(server, session, pages):
    assert post(server.port, b"/print/init", b"width=210&height=297") == ok(session)
    for page in pages:
        body = b"id=" + session + b"&img=" + page
        # A large page takes a while to decode on a busy machine.
        assert exchange(server.port, b"POST /print/add HTTP/1.1\r\nContent-Length: %d\r\n\r\n"
                        % len(body) + body, timeout=120) == OK_EMPTY, server.log()[-2000:]
    assert post(server.port, b"/print/end", b"id=" + session) == OK_EMPTY


def dialog_title(name):
    return name.startswith("Print ")


def no_queue(cups, server):
    cups._admin("-x", "QuillboxPDF")


def no_temporary_folder(cups, server):
    # The print system's spool file cannot be made: the document cannot start.
    original = server.env
    server.env = lambda: dict(original(), TMPDIR=str(server.root / "missing"))


# How the print ends: what is arranged before the server starts, the key that
# answers the print dialog (None: no dialog opens) and the log line that says
# how it ended.
ENDS = [
    pytest.param(None, "Escape", "print session 0: print dialog cancelled, nothing printed",
                 id="cancelled"),
    pytest.param(no_temporary_folder, "Return",
                 "print session 0: printing failed: cannot create a file to print",
                 id="failed"),
    pytest.param(no_queue, None, "no printer: print session 0 is dropped", id="no printer"),
]


@pytest.mark.parametrize("arrange, key, logged", ENDS)
def test_an_ended_print_holds_no_pages(server, display, cups, large_page, arrange, key,
                                       logged):
    if arrange is not None:
        arrange(cups, server)
    on_desktop(server, display, cups)
    send_print(server, b"0", [large_page, large_page])
    if key is not None:
        found = display.wait_for_window(dialog_title)
        assert found, "no print dialog\n%s\n%s" % (display.windows(), server.log())
        # While the dialog is open the pages are held.
        assert held(server)[0] > 10**7
        display.press(found[0], key)
    assert wait_for(lambda: logged in server.log(), 60), server.log()
    assert held(server) == (0, 0)


def test_fifty_cancelled_large_prints_leave_printing_working(server, display, cups,
                                                             large_page):
    on_desktop(server, display, cups)
    for number in range(50):
        session = str(number).encode()
        send_print(server, session, [large_page])
        found = display.wait_for_window(dialog_title)
        assert found, "no print dialog for %d\n%s\n%s" % (number, display.windows(),
                                                          server.log())
        display.press(found[0], "Escape")
        assert display.wait_gone(found[0]), number
        assert wait_for(lambda: server.log().count("print dialog cancelled") == number + 1,
                        60), server.log()
    assert held(server) == (0, 0)
    # The next print is printed.
    assert post(server.port, b"/print/init", b"width=100&height=50") == ok(b"50")
    assert post(server.port, b"/print/add", b"id=50&img=" + quadrants(200, 100)) == OK_EMPTY
    assert post(server.port, b"/print/end", b"id=50") == OK_EMPTY
    found = display.wait_for_window(dialog_title)
    assert found, "no print dialog\n%s\n%s" % (display.windows(), server.log())
    display.press(found[0], "Return")
    pdf = cups.wait_for_new_pdf(120)
    assert pdf, "no PDF from CUPS-PDF\n" + cups.error_log()[-3000:] + server.log()
    assert pdf_info(pdf)[1] == 1
    assert wait_for(lambda: "print session 50: sent to QuillboxPDF" in server.log(), 30), \
        server.log()
    assert held(server) == (0, 0)
