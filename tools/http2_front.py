#!/usr/bin/env python3
"""An https front for the stand-in catalogue server that speaks HTTP/2 only,
for seeing how a client shares one connection.

It answers every request with the stand-in's answer (`StandIn.answer`, no
faults) and records the target in the stand-in's request list. It counts, per
connection, the streams open at once: a stream opens with its request and
closes once its answer is sent whole. To let them pile up, answers are held
while requests keep coming and sent together once the client has been quiet
for QUIET_SECONDS (or HOLD_LIMIT streams wait), so the most open at once is the
client's own limit when it has that many to ask for.

The certificate is a throw-away one for 127.0.0.1 (`make_certificate`, made
with the openssl program); the client trusts it through SSL_CERT_FILE.

In a test: `Http2Front(stand_in, cert, key).start()`, `.url`, `.streams()`
({"connections": accepted, "peak_streams": most open at once on one
connection}), `.stop()`.
"""
import os
import select
import socket
import ssl
import subprocess
import threading
import urllib.parse

import h2.config
import h2.connection
import h2.events
import h2.exceptions
import h2.settings

QUIET_SECONDS = 0.05
HOLD_LIMIT = 1000
ADVERTISED_STREAMS = 1000


def make_certificate(folder):
    """A self-signed certificate for 127.0.0.1 in `folder`; (cert, key) paths."""
    cert = os.path.join(folder, "front-cert.pem")
    key = os.path.join(folder, "front-key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                    "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                    "-keyout", key, "-out", cert], check=True, capture_output=True)
    return cert, key


class Http2Front:
    def __init__(self, stand_in, cert, key, host="127.0.0.1"):
        self.stand_in = stand_in
        self._context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        self._context.load_cert_chain(cert, key)
        self._context.set_alpn_protocols(["h2"])
        self._listener = socket.create_server((host, 0))
        self._lock = threading.Lock()  # guards the counts
        self._connections = 0
        self._peak = 0
        self._stopped = threading.Event()
        self._thread = None

    @property
    def url(self):
        host, port = self._listener.getsockname()[:2]
        return "https://%s:%d" % (host, port)

    def start(self):
        self._thread = threading.Thread(target=self._accept, daemon=True)
        self._thread.start()
        return self

    def stop(self):
        self._stopped.set()
        self._listener.close()
        if self._thread is not None:
            self._thread.join(10)

    def streams(self):
        with self._lock:
            return {"connections": self._connections, "peak_streams": self._peak}

    def _accept(self):
        while not self._stopped.is_set():
            try:
                raw, _ = self._listener.accept()
            except OSError:
                return
            threading.Thread(target=self._serve, args=(raw,), daemon=True).start()

    def _serve(self, raw):
        try:
            sock = self._context.wrap_socket(raw, server_side=True)
        except (OSError, ssl.SSLError):
            raw.close()
            return
        if sock.selected_alpn_protocol() != "h2":
            sock.close()  # HTTP/2 only
            return
        with self._lock:
            self._connections += 1
        Connection(self, sock).run()

    def _opened(self, count):
        with self._lock:
            self._peak = max(self._peak, count)


class Connection:
    """One client connection, served on its own thread."""

    def __init__(self, front, sock):
        self.front = front
        self.sock = sock
        self.h2 = h2.connection.H2Connection(
            h2.config.H2Configuration(client_side=False, header_encoding="iso-8859-1"))
        self.open = set()  # streams whose answers are not sent whole
        self.held = []     # (stream, status, body) not yet answered
        self.sending = {}  # stream -> body bytes still to send

    def run(self):
        self.h2.initiate_connection()
        self.h2.update_settings({h2.settings.SettingCodes.MAX_CONCURRENT_STREAMS:
                                 ADVERTISED_STREAMS})
        self.flush()
        try:
            while not self.front._stopped.is_set():
                waiting = self.held and not self.sending
                ready, _, _ = select.select([self.sock], [], [],
                                            QUIET_SECONDS if waiting else 1.0)
                if ready or self.sock.pending():
                    data = self.sock.recv(65536)
                    if not data:
                        return
                    self.handle(self.h2.receive_data(data))
                if (not ready and self.held) or len(self.held) >= HOLD_LIMIT:
                    self.release()
                self.send_pending()
                self.flush()
        except (OSError, ssl.SSLError, h2.exceptions.ProtocolError):
            pass
        finally:
            self.sock.close()

    def handle(self, events):
        for event in events:
            if isinstance(event, h2.events.RequestReceived):
                headers = dict(event.headers)
                target = headers.get(":path", "/")
                self.front.stand_in.record(target)
                split = urllib.parse.urlsplit(target)
                status, body = self.front.stand_in.answer(
                    urllib.parse.unquote(split.path),
                    urllib.parse.parse_qs(split.query, keep_blank_values=True))
                self.open.add(event.stream_id)
                self.front._opened(len(self.open))
                self.held.append((event.stream_id, status, body))
            elif isinstance(event, h2.events.StreamReset):
                self.open.discard(event.stream_id)
                self.sending.pop(event.stream_id, None)
            elif isinstance(event, h2.events.ConnectionTerminated):
                raise OSError("closed by the client")

    def release(self):
        for stream, status, body in self.held:
            self.h2.send_headers(stream, [(":status", str(status)),
                                          ("content-length", str(len(body))),
                                          ("content-type", "application/octet-stream")])
            self.sending[stream] = body
        self.held = []

    def send_pending(self):
        for stream in list(self.sending):
            body = self.sending[stream]
            while body:
                window = min(self.h2.local_flow_control_window(stream),
                             self.h2.max_outbound_frame_size)
                if window <= 0:
                    break
                self.h2.send_data(stream, body[:window])
                body = body[window:]
            if body:
                self.sending[stream] = body
                continue
            self.h2.end_stream(stream)
            del self.sending[stream]
            self.open.discard(stream)

    def flush(self):
        data = self.h2.data_to_send()
        if data:
            self.sock.sendall(data)
