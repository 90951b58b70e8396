#!/usr/bin/env python3
"""Refreshes the example answers in docs/protocol.md from a real run.

Starts the server binary with a temporary HOME (headless, no printer
reachable), points it at the stand-in catalogue server with a small generated
sample catalogue, fills the catalogue with DB_URL, CHK_DB and UPDATE_DB, then
sends one request per example and writes the request and the exact answer
bytes between the markers

    <!-- example NAME -->
    <!-- /example -->

of the document. Answers longer than MAX_LINES lines are cut, ending with a
line "[... N more lines]". The temporary folder of the run appears as
/home/me in the document, with Content-Length counted for that text.

    tools/protocol_examples.py [--server build/quillbox-server] [--doc docs/protocol.md]
                               [--check]

--check changes nothing and exits 1 when the document differs from the run.
"""
import argparse
import base64
import os
import re
import subprocess
import sys
import tempfile
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import catalogue_server  # noqa: E402
import sample_catalogue  # noqa: E402
from harness import accepts, exchange, free_port, wait_for  # noqa: E402
from pngfile import png  # noqa: E402

MAX_LINES = 24
# Where the server is told its print scheduler is: nowhere, the same on every
# machine.
NO_CUPS = "/nonexistent/cups.sock"
SHOWN_HOME = "/home/me"


def get(target):
    return b"GET %s HTTP/1.1\r\nHost: localhost:3210\r\n\r\n" % target.encode()


def post(target, body):
    return (b"POST %s HTTP/1.1\r\nHost: localhost:3210\r\nContent-Length: %d\r\n\r\n"
            % (target.encode(), len(body)) + body)


def examples(catalogue):
    """(name, request bytes, shown request) in the order they run."""
    first = catalogue["paper_infos"][0]
    sel = first["searchSelNo"]
    template_thumb = catalogue["template_infos"][0]["goodsThumbName"]
    template_part = next(r["goodsPartsNo"] for r in catalogue["paper_infos"]
                         if r["goodsThumbName"] == template_thumb)
    template_file = catalogue["template_infos"][0]["templateUrl"].rsplit("/", 1)[1]
    page = b"data:image/png;base64," + base64.b64encode(png(4, 4, (0, 0, 0, 255)))
    shown_page = b"data:image/png;base64,iVBORw0KGgo..."
    rows = [
        ("IMG_URL", get("/dbAccess/IMG_URL")),
        ("DB_URL", get("/dbAccess/DB_URL")),
        ("CHK_DB", get("/dbAccess/CHK_DB")),
        ("UPDATE_DB", get("/dbAccess/UPDATE_DB")),
        ("UPDATE_STATUS_DB", get("/dbAccess/UPDATE_STATUS_DB")),
        ("CHK_DB_AFTER", get("/dbAccess/CHK_DB")),
        ("LIST_C", get("/dbAccess/LIST&C")),
        ("LIST_P", get("/dbAccess/LIST&P")),
        ("SEARCH", get("/dbAccess/SEARCH@category_id=%d" % first["category_id"])),
        ("SEARCH_USAGE", get("/dbAccess/SEARCH@usage=%s" % sel)),
        ("DETAIL", get("/dbAccess/DETAIL@searchSelNo=%s&goodsBackFront=none" % sel)),
        ("SVG_DATA", get("/dbAccess/SVG_DATA@%s" % first["goodsPictFileName"])),
        ("LOG", get("/dbAccess/LOG@partsNo=%s&date=2026-12-01%%2010:00:00" % sel)),
        ("RECENT", get("/dbAccess/RECENT@mac_address=x")),
        ("TOP_GROUP_LIST", get("/dbAccess/TOP_GROUP@list&selNo=%s" % sel)),
        ("SUB_GROUP_LIST", get("/dbAccess/SUB_GROUP@list&topLevelId%20=%201")),
        ("GENERIC_GROUP_LIST", get("/dbAccess/GENERIC_GROUP@list&level=0")),
        ("GENERIC_GROUP_BACKLIST", get("/dbAccess/GENERIC_GROUP@backlist&level=0")),
        ("SOZAI_DOWNLOAD", get("/dbAccess/SOZAI_DOWNLOAD@kind=2&folder=top001&value=1")),
        ("SOZAI_TEMP_STATUS_DOWNLOAD", get("/dbAccess/SOZAI_TEMP_STATUS_DOWNLOAD")),
        ("TOP_GROUP_IMAGES", get("/dbAccess/TOP_GROUP@images&topLevelId=1")),
        ("SUB_GROUP_IMAGES", get("/dbAccess/SUB_GROUP@images&topLevelId=1&subLevelId=1")),
        ("SOZAI_DOWNLOAD_GENERIC", get("/dbAccess/SOZAI_DOWNLOAD@kind=2&folder=%s/gen01&value=0"
                                       % urllib.parse.quote(sample_catalogue.GENERIC_FOLDER))),
        ("GENERIC_GROUP_IMAGES", get("/dbAccess/GENERIC_GROUP@images&subLevel=1")),
        ("PICT_HISTORY", get("/dbAccess/PICT_HISTORY@thumb=/sozai4_S/top001/a.png"
                             "&image=/sozai4/top001/a.png")),
        ("PICT_RECENT", get("/dbAccess/PICT_RECENT@topLevelId%20=%200")),
        ("TEMPLATE_DOWNLOAD", get("/dbAccess/TEMPLATE_DOWNLOAD@%s" % template_part)),
        ("TEMPLATE_LIST", get("/dbAccess/TEMPLATE_LIST@partsNo=%s" % template_part)),
        ("TEMPLATE_DATA", get("/dbAccess/TEMPLATE_DATA@template/%s" % template_file)),
        ("PRINT_INIT", post("/print/init", b"width=100&height=50&orientation=0&printCopies=1")),
        ("PRINT_ADD", post("/print/add", b"id=0&img=" + page),
         post("/print/add", b"id=0&img=" + shown_page)),
        ("PRINT_END", post("/print/end", b"id=0")),
        ("PRINT_STATUS", post("/print/status", b"id=0")),
        ("PRINT_STATUS_UNKNOWN", post("/print/status", b"id=99")),
        ("PRINT_PRINTERS", get("/print/printers")),
        ("SAVE", post("/saveqx/save?name=label.qx3", b"QX3 document bytes")),
        ("UNKNOWN_ROUTE", get("/dbAccess/NO_SUCH_ROUTE")),
        ("NO_PATH", b"POST\r\n\r\n"),
    ]
    return [(r[0], r[1], r[2] if len(r) > 2 else r[1]) for r in rows]


def shown(request, answer, home):
    """The request (headers only, body as sent) and the answer as text."""
    answer = answer.replace(home.encode(), SHOWN_HOME.encode())
    if b"\r\n\r\n" in answer:
        head, body = answer.split(b"\r\n\r\n", 1)
        if b"Content-Length: " in head:
            head = re.sub(rb"Content-Length: \d+", b"Content-Length: %d" % len(body), head)
        answer = head + b"\r\n\r\n" + body
    text = request.decode("utf-8", "replace").replace("\r\n", "\n")
    lines = answer.decode("utf-8").replace("\r\n", "\n").split("\n")
    if len(lines) > MAX_LINES:
        more = len(lines) - MAX_LINES
        if lines[-1] == "":
            more -= 1  # the answer's last line feed ends a line, it adds none
        lines = lines[:MAX_LINES] + ["[... %d more lines]" % more]
    return "```http\n" + text.rstrip("\n") + "\n```\n\n```http\n" + "\n".join(lines).rstrip("\n") + "\n```\n"


def run(server_binary):
    catalogue = sample_catalogue.generate(seed=1, products=6)
    stand_in = catalogue_server.StandIn(catalogue).start()
    root = tempfile.mkdtemp(prefix="quillbox-protocol-")
    home = os.path.join(root, "home")
    runtime = os.path.join(root, "run")
    os.makedirs(runtime, mode=0o700)
    port = free_port()
    config = os.path.join(home, ".config", "Tavrim")
    os.makedirs(config)
    with open(os.path.join(config, "Quillbox.conf"), "w") as f:
        f.write("[Server]\nport=%d\n[Save]\nfolder=%s/saved\n" % (port, root))
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY") and not k.startswith("XDG_")}
    # No printer is reachable: print/end must not print anywhere.
    env.update(HOME=home, XDG_RUNTIME_DIR=runtime, CUPS_SERVER=NO_CUPS)
    log = open(os.path.join(root, "server.log"), "wb")
    proc = subprocess.Popen([server_binary, "--catalogue-url", stand_in.url], env=env,
                            stdout=subprocess.DEVNULL, stderr=log)
    try:
        if not wait_for(lambda: accepts(port) or proc.poll() is not None, 10) \
                or proc.poll() is not None:
            raise SystemExit("the server did not start; see " + log.name)
        results = {}
        for name, request, request_shown in examples(catalogue):
            if name == "PRINT_STATUS":
                # The print job runs after print/end has answered: its outcome
                # is shown once it has one.
                wait_for(lambda: b'"state":"failed"' in exchange(port, request), 30)
            results[name] = shown(request_shown, exchange(port, request, timeout=120), home)
        return results
    finally:
        proc.terminate()
        proc.wait(timeout=10)
        stand_in.stop()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--server", default=os.path.join(HERE, "..", "build", "quillbox-server"))
    parser.add_argument("--doc", default=os.path.join(HERE, "..", "docs", "protocol.md"))
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()

    results = run(args.server)
    with open(args.doc, encoding="utf-8") as f:
        doc = f.read()
    missing = []

    def fill(match):
        name = match.group(1)
        if name not in results:
            missing.append(name)
            return match.group(0)
        return "<!-- example %s -->\n%s<!-- /example -->" % (name, results[name])

    fresh = re.sub(r"<!-- example (\S+) -->\n.*?<!-- /example -->", fill, doc, flags=re.S)
    if missing:
        raise SystemExit("no such example: " + ", ".join(missing))
    unused = [n for n in results if "<!-- example %s -->" % n not in doc]
    if unused:
        print("not in the document: " + ", ".join(unused), file=sys.stderr)
    if args.check:
        if fresh != doc:
            raise SystemExit("%s differs from a run; refresh it with %s" % (args.doc, sys.argv[0]))
        return
    with open(args.doc, "w", encoding="utf-8") as f:
        f.write(fresh)


if __name__ == "__main__":
    main()
