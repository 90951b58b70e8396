"""Printing and saving through the real dialogs, as a user meets them: the
server runs on a private X display with a window manager, prints to a private
CUPS scheduler whose default queue is CUPS-PDF, and the dialogs are read and
answered with xdotool."""
import os
import re
import subprocess

import pytest

from conftest import LEAKS, OK_EMPTY, data_image, ok, post, ppm_pixels, started, wait_for
from x_display import DisplayUnavailable, XDisplay

BLUE = (0, 0, 255)
RED = (255, 0, 0)


@pytest.fixture(scope="module")
def display():
    """Xvfb with openbox, shared by the module's tests."""
    yield from started(XDisplay(), DisplayUnavailable, "no X display")


def on_desktop(server, display, cups=None, lang="C.UTF-8"):
    """Starts `server` on the display (and the CUPS sandbox) in `lang`."""
    original = server.env

    def env():
        values = {k: v for k, v in original().items()
                  if k not in ("QT_QPA_PLATFORM", "LANGUAGE", "LC_ALL", "LC_MESSAGES")}
        values.update(display.env(), LANG=lang)
        values["LSAN_OPTIONS"] = ":".join(
            filter(None, [values.get("LSAN_OPTIONS"), "suppressions=" + LEAKS]))
        if cups is not None:
            values.update(cups.env())
        return values

    server.env = env
    (server.home / "Documents").mkdir(exist_ok=True)
    return server.start()


def quadrants(width, height):
    """A page image whose top-left quarter is blue and the rest red."""
    return data_image(width, height, lambda x, y: BLUE + (255,)
                      if x < width // 2 and y < height // 2 else RED + (255,))


def start_print(server, init, image_size, pages=1):
    assert post(server.port, b"/print/init", init) == ok(b"0")
    for _ in range(pages):
        assert post(server.port, b"/print/add", b"id=0&img=" + quadrants(*image_size)) \
            == OK_EMPTY
    assert post(server.port, b"/print/end", b"id=0") == OK_EMPTY


def pdf_info(path):
    """((width, height) of the first page in points, page count, title)."""
    out = subprocess.run(["pdfinfo", path], capture_output=True, text=True, timeout=60).stdout
    size = re.search(r"Page size:\s+([\d.]+) x ([\d.]+) pts", out)
    pages = re.search(r"Pages:\s+(\d+)", out)
    title = re.search(r"Title:\s+(.*)", out)
    return ((float(size.group(1)), float(size.group(2))), int(pages.group(1)),
            title.group(1) if title else "")


def close(a, b, tolerance=24):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


# Session (paper, orientation, copies), the page image's size as the sheet
# lies, the dialog's title, the PDF's page in millimetres (within 1 mm: the
# printer's own definition of a standard size counts) and whether the sheet
# is landscape, and whether the user opens the printer properties and
# accepts them unchanged first. The print system describes a sheet as its paper is fed, short
# side first, and turns landscape content onto it (a quarter turn counter-
# clockwise): the page image's top-left corner lands at the paper's
# bottom-left. A print without a dialog comes out the same way.
SHEETS = [
    pytest.param(b"width=100&height=50&orientation=0&printCopies=1", (200, 100),
                 "Print 100 × 50 mm – 1 page", (50, 100), True, 1, False, id="label 100x50 mm"),
    pytest.param(b"width=100&height=50&orientation=0&printCopies=1", (200, 100),
                 "Print 100 × 50 mm – 1 page", (50, 100), True, 1, True,
                 id="label 100x50 mm, properties accepted"),
    pytest.param(b"width=148&height=210&orientation=0&printCopies=1", (148, 210),
                 "Print 148 × 210 mm – 1 page", (148, 210), False, 1, False, id="A5"),
    pytest.param(b"width=100&height=148&orientation=1&printCopies=1", (148, 100),
                 "Print 148 × 100 mm – 1 page", (100, 148), True, 1, False,
                 id="postcard landscape"),
    pytest.param(b"width=182&height=257&orientation=0&printCopies=2", (182, 257),
                 "Print 182 × 257 mm – 1 page", (182, 257), False, 2, False,
                 id="JIS B5 2 copies"),
]


@pytest.mark.parametrize("init, image_size, title, sheet, landscape, copies, properties",
                         SHEETS)
def test_print_dialog_prints_on_the_sessions_sheet(server, display, cups, tmp_path, init,
                                                   image_size, title, sheet, landscape,
                                                   copies, properties):
    on_desktop(server, display, cups)
    start_print(server, init, image_size)
    found = display.wait_for_window(lambda name: name.startswith("Print "))
    assert found, "no print dialog\n%s\n%s" % (display.windows(), server.log())
    window, name = found
    assert name == title
    if properties:
        display.press(window, "alt+r")
        opened = display.wait_for_window(lambda n: n == "Printer Properties", exclude=(window,))
        assert opened, display.windows()
        display.press(opened[0], "Return")
        assert display.wait_gone(opened[0])
    display.press(window, "Return")
    pdf = cups.wait_for_new_pdf(120)
    assert pdf, "no PDF from CUPS-PDF\n" + cups.error_log()[-3000:] + server.log()
    points, pages, job = pdf_info(pdf)
    millimetres = tuple(round(p * 25.4 / 72, 1) for p in points)
    print("measured %s: %s x %s pt = %s x %s mm, %d page(s)"
          % (title, points[0], points[1], millimetres[0], millimetres[1], pages))
    assert close(millimetres, sheet, 1), (millimetres, sheet)
    assert pages == copies  # CUPS-PDF writes each copy as a page
    # The job's name says what it is: the session, the sheet, the pages.
    dimensions = title[len("Print "):title.index(" mm")].replace(" × ", " x ")
    assert job == "(Quillbox print 0 - %s mm, 1 page)" % dimensions, job
    # The page image fills the whole sheet, its blue top-left quarter where
    # the sheet's top-left corner lies.
    prefix = str(tmp_path / "page")
    subprocess.run(["pdftoppm", "-r", "24", "-f", "1", "-l", "1", "-singlefile", pdf, prefix],
                   check=True, timeout=60)
    width, height, pixels = ppm_pixels(prefix + ".ppm")

    def at(x, y):
        offset = 3 * (y * width + x)
        return tuple(pixels[offset:offset + 3])

    blue = (1, height - 2) if landscape else (1, 1)
    inside = (width // 4, 3 * height // 4) if landscape else (width // 4, height // 4)
    corners = [(1, 1), (width - 2, 1), (1, height - 2), (width - 2, height - 2)]
    for x, y in corners + [inside, (3 * width // 4, height // 2)]:
        expected = BLUE if (x, y) in (blue, inside) else RED
        assert close(at(x, y), expected), (x, y, at(x, y), width, height)
    assert wait_for(lambda: "CUPS job" in server.log(), 30), server.log()
    printed = [line for line in server.log().splitlines() if ": sent to " in line]
    assert len(printed) == 1, server.log()
    assert re.search(r"sent to QuillboxPDF: .* %d copies, CUPS job \d+$" % copies,
                     printed[0]), printed[0]
    assert "print dialog opened" in server.log()


def test_a_second_print_job_waits_for_the_open_print_dialog(server, display, cups):
    on_desktop(server, display, cups)
    for session, init in [(b"0", b"width=148&height=210"), (b"1", b"width=100&height=50")]:
        assert post(server.port, b"/print/init", init) == ok(session)
        assert post(server.port, b"/print/add", b"id=" + session + b"&img="
                    + quadrants(4, 4)) == OK_EMPTY
    for session in (b"0", b"1"):
        assert post(server.port, b"/print/end", b"id=" + session) == OK_EMPTY
    first = display.wait_for_window(lambda name: name.startswith("Print "))
    assert first and first[1] == "Print 148 × 210 mm – 1 page", display.windows()
    assert display.wait_for_window(lambda name: "100 × 50" in name, timeout=2) is None
    display.press(first[0], "Escape")
    second = display.wait_for_window(lambda name: "100 × 50" in name, exclude=(first[0],))
    assert second and second[1] == "Print 100 × 50 mm – 1 page", display.windows()
    display.press(second[0], "Escape")
    assert wait_for(lambda: server.log().count("print dialog cancelled") == 2, 30), server.log()


def test_save_dialog_saves_under_the_suggested_name_and_a_second_save_after_it(server,
                                                                               display):
    on_desktop(server, display)
    documents = server.home / "Documents"
    assert post(server.port, b"/saveqx/save?name=first.qx3", b"first document") == OK_EMPTY
    first = display.wait_for_window(lambda name: name.startswith("Save "))
    assert first, "no save dialog\n%s\n%s" % (display.windows(), server.log())
    assert first[1] == "Save label document “first.qx3”"
    # A second document while the dialog is open: answered, and waiting.
    assert post(server.port, b"/saveqx/save?name=second.pdf", b"%PDF second") == OK_EMPTY
    assert display.wait_for_window(lambda name: "second" in name, timeout=2) is None
    display.press(first[0], "Return")
    second = display.wait_for_window(lambda name: "second" in name, exclude=(first[0],))
    assert second, "no second save dialog\n%s\n%s" % (display.windows(), server.log())
    assert second[1] == "Save PDF document “second.pdf”"
    display.press(second[0], "Return")
    assert wait_for(lambda: (documents / "second.pdf").exists(), 30), server.log()
    assert (documents / "first.qx3").read_bytes() == b"first document"
    assert (documents / "second.pdf").read_bytes() == b"%PDF second"
    log = server.log()
    for line in ["save dialog opened for \"first.qx3\"", "saved 14 bytes to %s" % (
            documents / "first.qx3"), "saved 11 bytes to %s" % (documents / "second.pdf")]:
        assert line in log, log


def test_dialogs_follow_a_japanese_desktop(server, display, cups):
    on_desktop(server, display, cups, lang="ja_JP.UTF-8")
    assert wait_for(lambda: "qtbase_ja.qm" in server.log(), 10), server.log()
    assert "quillbox_ja.qm" in server.log()
    start_print(server, b"width=100&height=50&orientation=0&printCopies=1", (20, 10), pages=2)
    found = display.wait_for_window(lambda name: "mm" in name)
    assert found, "no print dialog\n%s\n%s" % (display.windows(), server.log())
    window, title = found
    assert title == "印刷 100 × 50 mm – 2 ページ"
    # Qt's own texts: the printer properties open with the button's Japanese
    # shortcut and carry their Japanese title.
    display.press(window, "alt+r")
    properties = display.wait_for_window(lambda name: "プロパティ" in name, exclude=(window,))
    assert properties, display.windows()
    assert properties[1] == "プリンタのプロパティ"
    display.press(properties[0], "Escape")
    assert display.wait_gone(properties[0])
    display.press(window, "Escape")
    assert wait_for(lambda: "print dialog cancelled" in server.log(), 30), server.log()

    assert post(server.port, "/saveqx/save?name=ラベル.qx3".encode(), b"doc") == OK_EMPTY
    saving = display.wait_for_window(lambda name: "保存" in name)
    assert saving, "no save dialog\n%s\n%s" % (display.windows(), server.log())
    assert saving[1] == "ラベル文書「ラベル.qx3」を保存"
    display.press(saving[0], "Escape")
    assert wait_for(lambda: "save dialog cancelled" in server.log(), 30), server.log()
