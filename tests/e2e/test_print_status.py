"""What became of a print reaches the page and the user: "print/status" reads
each session's state from the private CUPS scheduler, "print/printers" lists
its queues, a print that does not come out is shown as a desktop
notification, the printer remembered for a sheet size is used, and a
scheduler that is down is named as such."""
import json
import re

import pytest

from conftest import OK_EMPTY, exchange, ok, post, started, wait_for
from notification_service import NotificationService, ServiceUnavailable
from test_desktop_dialogs import on_desktop, quadrants
from test_print_sessions import held
from x_display import DisplayUnavailable, XDisplay

UNKNOWN = (b"HTTP/1.1 404 Not Found\r\nAccess-Control-Allow-Origin: *\r\n"
           b"Content-Type: application/json\r\nContent-Length: 33\r\n\r\n"
           b'{"error":"unknown print session"}')
JSON_OK = (b"HTTP/1.1 200 OK\r\nAccess-Control-Allow-Origin: *\r\n"
           b"Content-Type: application/json\r\nContent-Length: ")


@pytest.fixture
def notices():
    yield from started(NotificationService(), ServiceUnavailable, "no notification service")


def queues(cups):
    """Beside the CUPS-PDF default: a queue whose device cannot be written
    (its jobs are aborted), one disabled with a reason, one rejecting jobs."""
    cups.add_queue("Failing", "file:///nonexistent/folder/labels.prn",
                   "-o", "printer-error-policy=abort-job", "-D", "Label printer, broken")
    cups.add_queue("Paused", "file:///dev/null", "-D", "Label printer, paused")
    cups.command("cupsdisable", "-r", "out of labels", "Paused")
    cups.add_queue("Refusing", "file:///dev/null", "-D", "Office printer")
    cups.command("cupsreject", "-r", "closed for the night", "Refusing")


def headless(server, cups, notices=None, printer_for=None):
    """Starts `server` without a display on the sandbox's scheduler (and the
    notification bus); `printer_for` names the queue remembered for 100x50 mm."""
    if printer_for:
        server.config_file.write_text("[Server]\nport=%d\n[Print]\n100x50mm=%s\n"
                                      % (server.port, printer_for))
    original = server.env
    server.env = lambda: dict(original(), **cups.env(), **(notices.env() if notices else {}))
    return server.start()


def print_label(server, session=b"0", pages=1):
    assert post(server.port, b"/print/init", b"width=100&height=50&printCopies=1") == ok(session)
    for _ in range(pages):
        assert post(server.port, b"/print/add", b"id=" + session + b"&img="
                    + quadrants(200, 100)) == OK_EMPTY
    assert post(server.port, b"/print/end", b"id=" + session) == OK_EMPTY


def status(server, session=b"0"):
    answer = post(server.port, b"/print/status", b"id=" + session)
    assert answer.startswith(JSON_OK), answer
    head, body = answer.split(b"\r\n\r\n", 1)
    assert int(head.rsplit(b" ", 1)[1]) == len(body)
    return json.loads(body)


def settled(server, states, session=b"0", timeout=90):
    """The session's status once its state is one of `states`."""
    seen = []
    assert wait_for(lambda: seen.append(status(server, session)) or seen[-1]["state"] in states,
                    timeout), (seen[-1:], server.log()[-3000:])
    return seen[-1]


# The queue remembered for the label's size, the state the print reaches, the
# reasons and message it carries, and the notification the user sees (None:
# none).
OUTCOMES = [
    pytest.param("QuillboxPDF", "completed", [], "^$", None, id="printed"),
    pytest.param("Failing", "stopped", [], "^Failing stopped the job",
                 "^Failing stopped the job", id="device cannot be written"),
    pytest.param("Paused", "stopped", ["paused"], "^Paused is paused: out of labels$",
                 r"^Paused is paused \(paused\)$", id="disabled with a reason"),
    pytest.param("Refusing", "failed", [], r"not accepting jobs.* \(closed for the night\)$",
                 r"not accepting jobs.* \(closed for the night\)$", id="rejects jobs"),
]


@pytest.mark.parametrize("queue, state, reasons, message, notice", OUTCOMES)
def test_print_status_reads_each_queues_outcome(server, cups, notices, queue, state, reasons,
                                                message, notice):
    queues(cups)
    headless(server, cups, notices, printer_for=queue)
    assert post(server.port, b"/print/status", b"id=0") == UNKNOWN
    print_label(server, pages=2)
    answer = settled(server, {state})
    print("print/status on %s: %s" % (queue, json.dumps(answer)))
    assert answer["id"] == "0" and answer["pages"] == 2 and answer["copies"] == 1
    assert answer["printer"] == queue
    if reasons is not None:
        assert answer["reasons"] == reasons, answer
    assert re.search(message, answer["message"]), answer
    if state == "failed":
        assert answer["job"] == 0
        assert re.search(r"print session 0: printing failed: Refusing did not take the job",
                         server.log())
    else:
        # The job is the one CUPS took from this server, never one found by name.
        assert answer["job"] > 0
        jobs = cups.command("lpstat", "-W", "all", "-o", queue)
        assert re.search(r"^%s-%d " % (queue, answer["job"]), jobs, re.M), jobs
        assert "sent to %s: " % queue in server.log()
        assert ", CUPS job %d" % answer["job"] in server.log()
    # The outcome outlives the pages, which are gone at once.
    assert held(server) == (0, 0)
    assert status(server) == answer or state == "stopped"
    if notice is None:
        assert notices.shown() == [], notices.shown()
    else:
        assert wait_for(lambda: notices.shown(), 30), server.log()[-3000:]
        shown = notices.shown()
        assert len(shown) == 1, shown
        print("notification: %s: %s" % (shown[0]["summary"], shown[0]["body"]))
        assert shown[0]["summary"] == "Label not printed"
        assert re.search(notice, shown[0]["body"]), shown
        assert "desktop notification shown" in server.log()
    if queue == "Failing":
        # Cancelled in CUPS, the stopped job is aborted; the user has been
        # told about this job once already.
        cups.command("cancel", "%s-%d" % (queue, answer["job"]))
        aborted = settled(server, {"aborted"})
        assert re.search(r"^the job was cancelled on Failing", aborted["message"]), aborted
        assert len(notices.shown()) == 1, notices.shown()


def test_print_printers_lists_each_queue(server, cups):
    queues(cups)
    headless(server, cups)
    answer = exchange(server.port, b"GET /print/printers HTTP/1.1\r\n\r\n")
    assert answer.startswith(JSON_OK), answer
    listed = json.loads(answer.split(b"\r\n\r\n", 1)[1])
    print("print/printers: %s" % json.dumps(listed))
    assert listed["default"] == "QuillboxPDF"
    printers = {p["name"]: p for p in listed["printers"]}
    assert sorted(printers) == ["Failing", "Paused", "QuillboxPDF", "Refusing"]
    rows = {  # state, accepting, reasons, description
        "QuillboxPDF": ("idle", True, []),
        "Failing": ("idle", True, []),
        "Paused": ("stopped", True, ["paused"]),
        "Refusing": ("idle", False, []),
    }
    for name, (state, accepting, reasons) in rows.items():
        p = printers[name]
        assert (p["state"], p["accepting"], p["reasons"]) == (state, accepting, reasons), p
        assert all(isinstance(m, str) and m for m in p["media"]) and p["media"], p
    assert printers["Refusing"]["description"] == "Office printer"


def test_a_scheduler_that_is_down_is_named(server, cups):
    queues(cups)
    headless(server, cups, printer_for="Paused")
    print_label(server)
    settled(server, {"stopped"})
    cups.stop()
    # The answer comes within the request budget and says why it is not known.
    answer = status(server)
    assert answer["state"] == "stopped"
    assert re.search(r"state unknown: the print scheduler \(CUPS at .*\) cannot be reached",
                     answer["message"]), answer
    printers = exchange(server.port, b"GET /print/printers HTTP/1.1\r\n\r\n")
    assert printers.startswith(b"HTTP/1.1 503 Service Unavailable\r\n"), printers
    assert b"cannot be reached" in printers
    print_label(server, b"1")
    failed = settled(server, {"failed"}, b"1")
    assert re.search(r"the print scheduler \(CUPS at .*\) cannot be reached", failed["message"])
    report = server.run("--status", timeout=120).stdout.decode()
    assert re.search(r"- the print scheduler \(CUPS at .*\) cannot be reached: nothing can "
                     r"print; start it with sudo systemctl start cups", report), report


def test_status_lists_queues_that_cannot_print(server, cups):
    queues(cups)
    headless(server, cups, printer_for="Paused")
    with open(server.config_file, "a") as config:
        config.write("62x29mm=Gone\n")
    report = server.run("--status", timeout=120).stdout.decode()
    for wanted in ["  default destination: QuillboxPDF (idle)",
                   "  printer for 100x50mm: Paused",
                   "  printer for 62x29mm: Gone (not a queue of this scheduler: prints of this "
                   "size go to the default)",
                   "  - the printer Paused is stopped (paused): fix it, then cupsenable Paused",
                   "  - the printer Refusing does not accept jobs: cupsaccept Refusing"]:
        assert wanted in report.splitlines(), (wanted, report)


@pytest.fixture(scope="module")
def display():
    """Xvfb with openbox, shared by the module's tests."""
    yield from started(XDisplay(), DisplayUnavailable, "no X display")


def test_the_dialog_opens_on_the_printer_remembered_for_the_size(server, display, cups):
    queues(cups)
    cups.add_queue("Labels", "file:///dev/null", "-D", "Label printer")
    on_desktop(server, display, cups)
    # Confirmed on the default, the choice is remembered for the size.
    print_label(server)
    found = display.wait_for_window(lambda name: name.startswith("Print "))
    assert found, server.log()
    display.press(found[0], "Return")
    assert settled(server, {"completed"})["printer"] == "QuillboxPDF"
    assert "100x50mm=QuillboxPDF" in server.config_file.read_text()
    assert "printer QuillboxPDF remembered for 100x50mm" in server.log()
    # Remembered elsewhere (by hand, or on another day), the next dialog for
    # that size starts there: accepting it as it opens prints on that queue.
    text = server.config_file.read_text().replace("100x50mm=QuillboxPDF", "100x50mm=Labels")
    server.config_file.write_text(text)
    print_label(server, b"1")
    found = display.wait_for_window(lambda name: name.startswith("Print "), exclude=(found[0],))
    assert found, server.log()
    display.press(found[0], "Return")
    assert settled(server, {"completed", "queued", "printing"}, b"1")["printer"] == "Labels"


def test_a_remembered_printer_that_is_gone_gives_way_to_the_default(server, cups):
    headless(server, cups, printer_for="Gone")
    print_label(server)
    assert settled(server, {"completed"})["printer"] == "QuillboxPDF"
    assert ("print session 0: the printer Gone remembered for 100x50mm is gone; "
            "using the default QuillboxPDF") in server.log()
