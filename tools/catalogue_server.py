#!/usr/bin/env python3
"""A stand-in for the maker's catalogue web server, serving a sample catalogue.

It answers what the quillbox server asks of the catalogue server:

    /Ver3/DeskTop/verFile_DB.txt            the catalogue version ("DBVER=<n>")
    /<table>/chkUpdate?date=D               <table>_count/count: records with update_at > D
    /<table>/getUpdate?date=D               <table> with those records, one element each
    /<picture path>                         files named by the records (generated PNGs,
                                            drawing and template files)
    /generic_group_infos/list2?level=L      material groups of a level (slevel)
    /generic_group_infos/images2?level=S    the pictures of a material group (imageUrl)
    /generic_group_infos/backimages?level=L background pictures (imageUrl)
    /sozai4/F/image.zip, /sozai4_S/F/image.zip  a material folder as a ZIP archive
    /template_infos/list?partsNo=P          the templates of a product
    /template/<name>                        template files

Faults can be switched on per table (its name, or "<table>/chkUpdate" or
"<table>/getUpdate") or per path prefix (beginning with "/"): "500" answers a
server error, "close" drops the connection without an answer (an unreachable
table), "truncate" sends half the announced body, "stall" sends the headers and
a few bytes and then nothing, "malformed" sends broken XML, "slow" answers after
a pause of SLOW_SECONDS, "hold" answers only once `.release_held()` is called
(or the stand-in stops), "huge" streams a body of HUGE_BYTES until it closes
(no Content-Length) and "huge-announced" the same with its Content-Length;
both write it as they go, never holding it, and stop when the client leaves.
Answers that arrive whole but are not the document asked for: "html" (a
maintenance page), "no-count" (XML with the count's root and no count),
"other-root" (an XML error document), "no-element" (the XML declaration
alone) and "short" (the first half of the body, sent as if complete: an
archive cut short).

A hostile catalogue server is switched on by name (`.hostile(name, trap=URL)`,
--hostile NAME): the first product's thumbnail then names what HOSTILE gives
for it (the catalogue database, a version file, a temporary download, a path
leaving the data folder, an absolute URL to the `trap` address, a name merely
containing "http", an archive holding the server's own files), and the stand-in
serves junk there; "material-trap" makes the background picture list name the
trap address.

Connections are kept open between requests (HTTP/1.1 keep-alive) unless a
fault ends them; `.connections()` says how many were accepted and how many
were open at once at most since the last `.clear()`.

In a test: `StandIn(generate(...))`, `.start()`, `.url`, `.faults[...] = mode`,
`.release_held()`, `.received()` (request targets in order, as sent), `.connections()`, `.stop()`. From outside:
GET /_stand_in/requests (JSON), /_stand_in/clear, /_stand_in/fault?key=K&mode=M
(an empty mode clears), /_stand_in/version?value=N, /_stand_in/hostile?name=H.

    catalogue_server.py [--host 127.0.0.1] [--port 3211] [--products N] [--seed S]
                        [--version N] [--no-pictures] [--hostile NAME [--trap URL]]
"""
import argparse
import hashlib
import io
import json
import os
import ssl
import sys
import threading
import time
import urllib.parse
import zipfile
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from xml.sax.saxutils import escape

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pngfile  # noqa: E402
import sample_catalogue  # noqa: E402

FIRST_DATE = ""
GENERIC = sample_catalogue.GENERIC_FOLDER
# Numbers the server always sends, even where the catalogue has none.
SLOW_SECONDS = 0.3
HUGE_BYTES = 1 << 30
NUMBER_DEFAULTS = {("paper_infos", "templateInfo_id"): 0}
# What a hostile server names as a product picture, by switch name; "{trap}"
# is replaced by the trap address. The bytes served there are junk that would
# break whatever they overwrote.
HOSTILE = {
    "database": "/qkprint.db",
    "database-journal": "/qkprint.db-journal",
    "version": "/verFile_DB.txt",
    "new-version": "/New_verFile_DB.txt",
    "partial": "/paper/thumb/hostile.png.partial",
    "dot-dot": "/../../hostile.png",
    "other-host": "{trap}/hostile.png",
    "http-in-name": "/x/HTTP_LOGO.png",
    "archive": "/hostile.zip",
}
HOSTILE_JUNK = b"DBVER=999\n" + b"\0junk" * 100
# Whole answers that are not the document asked for, by fault mode.
UNUSABLE = {
    "html": b"<!DOCTYPE html>\n<html><head><title>Maintenance</title></head>"
            b"<body><p>Back soon.<br></p></body></html>\n",
    "other-root": b'<?xml version="1.0" encoding="UTF-8"?>\n<error><message>maintenance'
                  b'</message></error>\n',
    "no-element": b'<?xml version="1.0" encoding="UTF-8"?>\n',
}
PICTURE_FIELDS = ["goodsThumbName", "goodsThumbName2", "goodsPictFileName",
                  "goodsPictPartsLabel", "goodsPictPartsCut", "goodsPictPartsBending",
                  "goodsPictPartsDesign1", "goodsPictPartsDesign2", "goodsPictMask"]


def xml_document(root, records):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<%s>\n%s</%s>\n'
            % (root, "".join(records), root)).encode("utf-8")


def xml_record(fields):
    inner = "".join("<%s>%s</%s>" % (name, escape(str(value)), name)
                    for name, value in fields if value is not None)
    return "  <row>%s</row>\n" % inner


def value_text(value):
    if isinstance(value, float):
        return repr(value)
    return value


class StandIn:
    def __init__(self, catalogue, files=None, version=20, host="127.0.0.1", port=0, tls=None):
        """`tls`: (certificate file, key file) to serve https with; a client
        that refuses the certificate ends the connection before any request."""
        self.catalogue = catalogue
        self.files = dict(files if files is not None else sample_catalogue.picture_files(catalogue))
        self.version = version
        self.faults = {}
        self._requests = []
        self._accepted = 0   # connections accepted since the last clear()
        self._open = 0       # connections open now
        self._peak_open = 0  # most open at once since the last clear()
        self._lock = threading.Lock()  # guards _requests and the connection counts
        self._release = threading.Event()
        self._held = threading.Event()  # set: requests under "hold" are answered
        self._httpd = ThreadingHTTPServer((host, port), self._handler())
        self._httpd.daemon_threads = True
        self._scheme = "http"
        if tls is not None:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(*tls)
            self._httpd.socket = context.wrap_socket(self._httpd.socket, server_side=True)
            self._scheme = "https"
        self._thread = None
        self._named = None  # server paths the records name, built on first use
        self.trap_backimages = None  # "material-trap": the URL the background list names

    @property
    def url(self):
        host, port = self._httpd.server_address[:2]
        return "%s://%s:%d" % (self._scheme, host, port)

    def start(self):
        self._thread = threading.Thread(target=self._httpd.serve_forever, daemon=True)
        self._thread.start()
        return self

    def stop(self):
        self._release.set()
        self._held.set()
        if self._thread is not None:
            self._httpd.shutdown()
            self._thread = None
        self._httpd.server_close()

    def release_held(self):
        """Answers the requests waiting under "hold", and those to come."""
        self._held.set()

    def received(self):
        with self._lock:
            return list(self._requests)

    def record(self, target):
        """Adds a request target, as sent, to what received() lists."""
        with self._lock:
            self._requests.append(target)

    def clear(self):
        with self._lock:
            self._requests.clear()
            self._accepted = 0
            self._peak_open = self._open

    def connections(self):
        """{"accepted": connections accepted, "peak_open": most open at once},
        both since the last clear()."""
        with self._lock:
            return {"accepted": self._accepted, "peak_open": self._peak_open}

    def _opened(self):
        with self._lock:
            self._accepted += 1
            self._open += 1
            self._peak_open = max(self._peak_open, self._open)

    def _closed(self):
        with self._lock:
            self._open -= 1

    def change(self, table, row_id, when, **values):
        """Changes one record and marks it changed at `when`."""
        for row in self.catalogue[table]:
            if row["id"] == row_id:
                row.update(values, update_at=when)
                self._named = None
                return row
        raise KeyError(row_id)

    def hostile(self, name, trap="http://127.0.0.1:9"):
        """Switches on the hostile answer `name` (see HOSTILE); returns the
        server path or URL it names."""
        if name == "material-trap":
            self.trap_backimages = trap + "/hostile.png"
            return self.trap_backimages
        path = HOSTILE[name].format(trap=trap)
        self.catalogue["paper_infos"][0]["goodsThumbName"] = path
        self._named = None
        if name == "archive":
            buffer = io.BytesIO()
            with zipfile.ZipFile(buffer, "w") as archive:
                for entry in ("qkprint.db", "verFile_DB.txt", "hostile.png.partial"):
                    archive.writestr(entry, HOSTILE_JUNK)
                archive.writestr("hostile.png", pngfile.png(4, 4, (1, 2, 3, 255)))
            self.files[path.lstrip("/")] = buffer.getvalue()
        elif not path.startswith("http"):
            self.files[path.lstrip("/")] = HOSTILE_JUNK
        return path

    # -- answers ---------------------------------------------------------------

    def changed(self, table, date):
        return [r for r in self.catalogue.get(table, []) if (r.get("update_at") or "") > date]

    def count_answer(self, table, date):
        return xml_document(table + "_count", ["<count>%d</count>" % len(self.changed(table, date))])

    def records_answer(self, table, date):
        records = []
        for row in self.changed(table, date):
            fields = []
            for name in sample_catalogue.COLUMNS[table]:
                value = row.get(name)
                if value is None:
                    value = NUMBER_DEFAULTS.get((table, name))
                fields.append((name, value_text(value)))
            records.append(xml_record(fields))
        return xml_document(table, records)

    def named_files(self, rescan=False):
        """Every server path a record names. Built once and kept: a path it
        lacks makes the caller rescan, since tests change records directly."""
        if self._named is None or rescan:
            named = set()
            for table, rows in self.catalogue.items():
                if table in ("logs", "pict_generic_history_infos"):
                    continue
                for row in rows:
                    for value in row.values():
                        if (isinstance(value, str) and value.startswith("/")
                                and os.path.splitext(value)[1] in (".png", ".svg", ".jpg",
                                                                   ".qx3")):
                            named.add(value)
            self._named = named
        return self._named

    def file_bytes(self, path):
        relative = path.lstrip("/")
        if relative in self.files:
            return self.files[relative]
        if relative.startswith("sozai4/"):
            small = "sozai4_S/" + relative[len("sozai4/"):]
            if small in self.files:
                return self.files[small]
        if path in self.named_files() or path in self.named_files(rescan=True):
            digest = hashlib.sha1(path.encode()).digest()
            return pngfile.png(4, 4, (digest[0], digest[1], digest[2], 255))
        return None

    def archive(self, folder):
        prefix = "sozai4_S/" + folder.strip("/") + "/"
        entries = {k[len(prefix):]: v for k, v in self.files.items() if k.startswith(prefix)}
        if not entries:
            return None
        buffer = io.BytesIO()
        with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as archive:
            for name in sorted(entries):
                archive.writestr(name, entries[name])
        return buffer.getvalue()

    def pictures_below(self, base, folder):
        prefix = "%s/%s/%s/" % (base, GENERIC, folder)
        return sorted("/" + k for k in self.files
                      if k.startswith(prefix) and "/" not in k[len(prefix):]
                      and k.endswith(".png"))

    def answer(self, path, query):
        """(status, body) for a request path (decoded) and its query."""
        first = lambda key: query.get(key, [""])[0]  # noqa: E731
        parts = path.strip("/").split("/")
        if path == "/Ver3/DeskTop/verFile_DB.txt":
            return 200, ("DBVER=%d\r\n" % self.version).encode()
        if len(parts) == 2 and parts[0] in sample_catalogue.SERVER_TABLES:
            if parts[1] == "chkUpdate":
                return 200, self.count_answer(parts[0], first("date"))
            if parts[1] == "getUpdate":
                return 200, self.records_answer(parts[0], first("date"))
        groups = self.catalogue.get("generic_group_infos", [])
        if path == "/generic_group_infos/list2":
            rows = [r for r in groups if r["kbn"] == 4 and r["level"] == first("level")]
            return 200, xml_document("generic_group_infos", [
                xml_record([("slevel", r["subLevel"]), ("name", r["name"])]) for r in rows])
        if path == "/generic_group_infos/images2":
            urls = []
            for r in groups:
                if r["kbn"] == 4 and r["subLevel"] == first("level"):
                    urls += [u.replace("/sozai4_S/", "/sozai4/", 1)
                             for u in self.pictures_below("sozai4_S", r["folder"])]
            return 200, xml_document("generic_group_infos",
                                     [xml_record([("imageUrl", u)]) for u in urls])
        if path == "/generic_group_infos/backimages":
            urls = []
            for r in groups:
                if r["kbn"] == 1 and r["level"] == first("level"):
                    urls += self.pictures_below("sozai", r["folder"])
            if self.trap_backimages:
                urls.insert(0, self.trap_backimages)
            return 200, xml_document("generic_group_infos",
                                     [xml_record([("imageUrl", u)]) for u in urls])
        if path == "/template_infos/list":
            thumbs = {r["goodsThumbName"] for r in self.catalogue.get("paper_infos", [])
                      if r["goodsPartsNo"] == first("partsNo")}
            rows = [r for r in self.catalogue.get("template_infos", [])
                    if r["goodsThumbName"] in thumbs]
            return 200, xml_document("template_infos", [
                xml_record([("templateName", r["templateName"]),
                            ("thumbnailUrl", r["thumbnailUrl"]),
                            ("templateUrl", r["templateUrl"])]) for r in rows])
        if (path.startswith("/sozai4/") or path.startswith("/sozai4_S/")) and \
                path.endswith("/image.zip"):
            body = self.archive(path.split("/", 2)[2][:-len("/image.zip")])
            return (200, body) if body is not None else (404, b"")
        body = self.file_bytes(path)
        return (200, body) if body is not None else (404, b"")

    def fault_for(self, path):
        parts = path.strip("/").split("/")
        for key in (parts[0], "/".join(parts[:2])):
            if key in self.faults:
                return self.faults[key]
        for key, mode in self.faults.items():
            if key.startswith("/") and path.startswith(key):
                return mode
        return None

    # -- HTTP ------------------------------------------------------------------

    def _handler(self):
        stand_in = self

        class Handler(BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *args):
                pass

            def setup(self):
                super().setup()
                stand_in._opened()

            def finish(self):
                try:
                    super().finish()
                finally:
                    stand_in._closed()

            def send(self, status, body, length=None, content_type="text/xml; charset=utf-8",
                     close=False):
                self.send_response(status)
                self.send_header("Content-Type", content_type)
                self.send_header("Content-Length", str(len(body) if length is None else length))
                if close:
                    self.send_header("Connection", "close")
                    self.close_connection = True
                self.end_headers()
                self.wfile.write(body)
                self.wfile.flush()

            def send_huge(self, announce):
                self.send_response(200)
                self.send_header("Content-Type", "text/xml; charset=utf-8")
                if announce:
                    self.send_header("Content-Length", str(HUGE_BYTES))
                self.send_header("Connection", "close")
                self.end_headers()
                self.close_connection = True
                chunk = b"<row></row>\n" * 5000
                left = HUGE_BYTES
                try:
                    while left > 0:
                        piece = chunk[:left]
                        self.wfile.write(piece)
                        left -= len(piece)
                    self.wfile.flush()
                except OSError:
                    pass  # the client stopped reading

            def control(self, path, query):
                value = lambda key: query.get(key, [""])[0]  # noqa: E731
                if path == "/_stand_in/requests":
                    return json.dumps(stand_in.received()).encode()
                if path == "/_stand_in/clear":
                    stand_in.clear()
                elif path == "/_stand_in/fault":
                    if value("mode"):
                        stand_in.faults[value("key")] = value("mode")
                    else:
                        stand_in.faults.pop(value("key"), None)
                elif path == "/_stand_in/version":
                    stand_in.version = int(value("value"))
                elif path == "/_stand_in/hostile":
                    stand_in.hostile(value("name"), value("trap") or "http://127.0.0.1:9")
                else:
                    return None
                return b"ok"

            def do_GET(self):
                # The request line arrives as bytes read as Latin-1; the
                # quillbox server sends non-ASCII folder names as raw UTF-8.
                try:
                    target = self.path.encode("iso-8859-1").decode("utf-8")
                except UnicodeError:
                    target = self.path
                split = urllib.parse.urlsplit(target)
                path = urllib.parse.unquote(split.path)
                query = urllib.parse.parse_qs(split.query, keep_blank_values=True)
                if path.startswith("/_stand_in/"):
                    body = self.control(path, query)
                    return self.send(200 if body is not None else 404, body or b"",
                                     content_type="application/json")
                stand_in.record(self.path)
                fault = stand_in.fault_for(path)
                if fault == "close":
                    self.close_connection = True
                    return
                if fault == "500":
                    return self.send(500, b"")
                if fault == "slow":
                    time.sleep(SLOW_SECONDS)
                if fault == "hold":
                    stand_in._held.wait(300)
                if fault in ("huge", "huge-announced"):
                    return self.send_huge(fault == "huge-announced")
                if fault in UNUSABLE:
                    return self.send(200, UNUSABLE[fault], content_type="text/html"
                                     if fault == "html" else "text/xml; charset=utf-8")
                status, body = stand_in.answer(path, query)
                if fault == "no-count" and status == 200:
                    return self.send(200, xml_document(path.strip("/").split("/")[0] + "_count",
                                                       []))
                if fault == "short" and status == 200:
                    return self.send(200, body[: len(body) // 2])
                if fault == "malformed" and status == 200:
                    return self.send(200, body[: len(body) // 2] + b"<broken")
                if fault == "truncate" and status == 200:
                    return self.send(200, body[: len(body) // 2], length=len(body), close=True)
                if fault == "stall" and status == 200:
                    self.send_response(200)
                    self.send_header("Content-Length", str(len(body)))
                    self.end_headers()
                    self.wfile.write(body[:16])
                    self.wfile.flush()
                    stand_in._release.wait(300)
                    self.close_connection = True
                    return
                self.send(status, body)

        return Handler


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=3211)
    parser.add_argument("--products", type=int, default=200)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--version", type=int, default=20, help="catalogue version served")
    parser.add_argument("--no-pictures", action="store_true",
                        help="products name no picture files (for timing the records alone)")
    parser.add_argument("--hostile", choices=sorted(HOSTILE) + ["material-trap"],
                        help="serve this hostile answer (see the module help)")
    parser.add_argument("--trap", default="http://127.0.0.1:9",
                        help="the other address the hostile answers name")
    args = parser.parse_args()
    catalogue = sample_catalogue.generate(args.seed, args.products, "")
    files = sample_catalogue.picture_files(catalogue, args.seed)
    if args.no_pictures:
        for row in catalogue["paper_infos"]:
            for field in PICTURE_FIELDS:
                row[field] = None
    stand_in = StandIn(catalogue, files, args.version, args.host, args.port)
    if args.hostile:
        stand_in.hostile(args.hostile, args.trap)
    print("catalogue server %s: %d products, version %d" % (
        stand_in.url, len(catalogue["paper_infos"]), args.version), flush=True)
    try:
        stand_in._httpd.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
