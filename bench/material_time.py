#!/usr/bin/env python3
"""Times downloading and unpacking every material folder of the sample
catalogue (two archives per folder, kind 2 of SOZAI_DOWNLOAD) from the stand-in
catalogue server, and how much of it the HTTP client's 10 ms pause per
4096-byte chunk accounts for.

    bench/material_time.py SERVER_BINARY [products]
"""
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import catalogue_server  # noqa: E402
import sample_catalogue  # noqa: E402


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def ask(port, path):
    with socket.create_connection(("127.0.0.1", port), timeout=600) as s:
        s.sendall(b"GET " + path.encode() + b" HTTP/1.1\r\n\r\n")
        data = b""
        while chunk := s.recv(65536):
            data += chunk
    assert data.startswith(b"HTTP/1.1 200"), data
    return data


def main():
    binary = sys.argv[1]
    catalogue = sample_catalogue.generate(1, int(sys.argv[2]) if len(sys.argv) > 2 else 200)
    stand_in = catalogue_server.StandIn(catalogue).start()
    root = tempfile.mkdtemp()
    port = free_port()
    env = dict(os.environ, HOME=root, XDG_CONFIG_HOME=root + "/config",
               XDG_DATA_HOME=root + "/share", XDG_RUNTIME_DIR=root + "/run")
    os.makedirs(root + "/config/Tavrim")
    os.makedirs(root + "/run", mode=0o700)
    with open(root + "/config/Tavrim/Quillbox.conf", "w") as f:
        f.write("[Server]\nport=%d\n" % port)
    env.pop("DISPLAY", None)
    server = subprocess.Popen([binary, "--catalogue-url", stand_in.url], env=env,
                              stderr=subprocess.DEVNULL)
    try:
        for _ in range(200):
            try:
                socket.create_connection(("127.0.0.1", port), timeout=0.2).close()
                break
            except OSError:
                time.sleep(0.05)
        folders = [r["folder"] for t in ("pict_group_top_level_infos", "pict_group_sub_level_infos")
                   for r in catalogue[t]]
        folders += [sample_catalogue.GENERIC_FOLDER + "/" + r["folder"]
                    for r in catalogue["generic_group_infos"] if r["kbn"] == 4]
        sizes = [len(stand_in.archive(f) or b"") for f in folders for _ in (0, 1)]
        start = time.monotonic()
        for folder in folders:
            ask(port, "/dbAccess/SOZAI_DOWNLOAD@kind=2&folder=%s&value=0" % urllib.parse.quote(
                folder, safe="/"))
        seconds = time.monotonic() - start
        chunks = sum((size + 4095) // 4096 for size in sizes)
        print("%d archives, %d bytes, %.2f s; %d chunks x 10 ms = %.2f s of pauses (%.0f %%)" % (
            len(sizes), sum(sizes), seconds, chunks, chunks * 0.01,
            100 * chunks * 0.01 / seconds))
    finally:
        server.send_signal(signal.SIGTERM)
        server.wait(30)
        stand_in.stop()
        shutil.rmtree(root)


if __name__ == "__main__":
    main()
