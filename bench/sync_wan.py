#!/usr/bin/env python3
"""A first catalogue sync over a slow network, against curl and aria2c.

The sample catalogue's picture files are served statically by nginx, which
passes every other request to the stand-in catalogue server; nginx listens
for http and for https (HTTP/2 offered; a throw-away certificate trusted for
this run only, through SSL_CERT_FILE for the server, --cacert and
--ca-certificate for the tools). For each condition (loopback; a 20 ms round
trip over http; over https, through bench/delay_proxy.py) it times, RUNS
times each: UPDATE_DB of a server with a fresh data folder (DB_URL and CHK_DB
before it, untimed), curl fetching every picture in one invocation (one
kept-alive connection) and aria2c -j 8 fetching the same list. Prints
seconds, files/s and the ratios to aria2c.

    bench/sync_wan.py SERVER_BINARY [products] (run by bench/sync_wan.sh)

Environment: RUNS (default 3), CURL_RUNS (default RUNS; curl over a round
trip takes one round trip per file), CONDITIONS (default "loopback http-20ms
https-20ms"), TOOLS (default "server curl aria2c").
"""
import os
import shutil
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tools"))
import catalogue_server  # noqa: E402
import sample_catalogue  # noqa: E402
from harness import accepts, free_port, picture_paths, wait_for  # noqa: E402

ONE_WAY_MS = 10


def export_files(products, root):
    """Writes every picture the products name below root; returns the paths."""
    catalogue = sample_catalogue.generate(1, products, "")
    stand_in = catalogue_server.StandIn(catalogue, sample_catalogue.picture_files(catalogue, 1))
    stand_in.stop()
    paths = picture_paths(catalogue)
    for path in paths:
        target = os.path.join(root, path.lstrip("/"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as f:
            f.write(stand_in.file_bytes(path))
    return paths


def write_nginx(work, www, http_port, https_port, upstream_port, cert, key):
    user = "user root root;\n" if os.geteuid() == 0 else ""
    conf = os.path.join(work, "nginx.conf")
    with open(conf, "w") as f:
        f.write("""%(user)sworker_processes 1;
pid %(work)s/nginx.pid;
error_log %(work)s/nginx-error.log warn;
events { worker_connections 4096; }
http {
  access_log off;
  client_body_temp_path %(work)s/nginx-tmp;
  proxy_temp_path %(work)s/nginx-tmp;
  fastcgi_temp_path %(work)s/nginx-tmp;
  uwsgi_temp_path %(work)s/nginx-tmp;
  scgi_temp_path %(work)s/nginx-tmp;
  keepalive_requests 1000000;
  keepalive_timeout 300s;
  upstream stand_in { server 127.0.0.1:%(upstream)d; keepalive 16; }
  server {
    listen 127.0.0.1:%(http)d;
    listen 127.0.0.1:%(https)d ssl http2;
    ssl_certificate %(cert)s;
    ssl_certificate_key %(key)s;
    root %(www)s;
    location / { try_files $uri @stand_in; }
    location @stand_in {
      proxy_pass http://stand_in;
      proxy_http_version 1.1;
      proxy_set_header Connection "";
      proxy_buffering off;
    }
  }
}
""" % dict(user=user, work=work, http=http_port, https=https_port, upstream=upstream_port,
           cert=cert, key=key, www=www))
    os.makedirs(os.path.join(work, "nginx-tmp"), exist_ok=True)
    return conf


QUERY = "/dbAccess/SEARCH@category_id=1"


def percentiles(times):
    ordered = sorted(times) or [0.0]
    return "%.1f/%.1f" % (1000 * ordered[len(ordered) // 2],
                          1000 * ordered[min(len(ordered) - 1, int(len(ordered) * 0.99))])


def get(port, path, timeout=3600):
    with urllib.request.urlopen("http://127.0.0.1:%d%s" % (port, path), timeout=timeout) as r:
        return r.read().decode()


class Run:
    def __init__(self, work):
        self.work = work
        self.procs = []

    def start(self, args, **kwargs):
        proc = subprocess.Popen(args, **kwargs)
        self.procs.append(proc)
        return proc

    def stop(self, proc):
        if proc.poll() is None:
            proc.terminate()
            try:
                proc.wait(timeout=20)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()

    def stop_all(self):
        for proc in reversed(self.procs):
            self.stop(proc)


def server_sync(run, binary, base_url, cert, index):
    """Seconds of UPDATE_DB from a fresh data folder; the files it fetched."""
    home = os.path.join(run.work, "home-%d" % index)
    config = os.path.join(home, ".config")
    runtime = os.path.join(run.work, "run-%d" % index)
    for folder in (config + "/Tavrim", runtime):
        os.makedirs(folder, exist_ok=True)
    os.chmod(runtime, 0o700)
    port = free_port()
    with open(os.path.join(config, "Tavrim", "Quillbox.conf"), "w") as f:
        f.write("[Server]\nport=%d\n" % port)
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env.update(HOME=home, XDG_CONFIG_HOME=config, XDG_DATA_HOME=home + "/.local/share",
               XDG_RUNTIME_DIR=runtime, SSL_CERT_FILE=cert)
    log = open(os.path.join(run.work, "server-%d.log" % index), "wb")
    proc = run.start([binary, "--catalogue-url", base_url], env=env, stdout=subprocess.DEVNULL,
                     stderr=log)
    try:
        assert wait_for(lambda: accepts(port), 30), "the server did not start"
        get(port, "/dbAccess/DB_URL")
        data = home + "/.local/share/jp.co.tavrim.Pelloran.V3/data"
        with open(data + "/verFile_DB.txt", "w") as f:
            f.write("DBVER=0\n")
        assert get(port, "/dbAccess/CHK_DB") == "1"
        # A catalogue query asked over and over while the update runs, and as
        # often afterwards: its answer times during and after.
        during, done = [], threading.Event()

        def query(times):
            started = time.monotonic()
            get(port, QUERY)
            times.append(time.monotonic() - started)

        def poll():
            while not done.is_set():
                query(during)
                time.sleep(0.01)

        poller = threading.Thread(target=poll)
        started = time.monotonic()
        poller.start()
        try:
            get(port, "/dbAccess/UPDATE_DB")
        finally:
            done.set()
            poller.join()
        seconds = time.monotonic() - started
        after = []
        for _ in range(max(len(during), 20)):
            query(after)
            time.sleep(0.01)
        with open(data + "/verFile_DB.txt") as f:
            committed = f.read().strip()
        db = sqlite3.connect(data + "/qkprint.db")
        products = db.execute("SELECT count(*) FROM paper_infos").fetchone()[0]
        db.close()
        files = sum(len(names) for _, _, names in os.walk(data + "/paper"))
        return seconds, files, "%s, %d products; query %s ms during, %s ms after (p50/p99)" % (
            committed, products, percentiles(during), percentiles(after))
    finally:
        run.stop(proc)
        log.close()
        shutil.rmtree(home, ignore_errors=True)


def curl_fetch(run, base_url, paths, cert, index):
    out = os.path.join(run.work, "curl-%d" % index)
    config = os.path.join(run.work, "curl-%d.cfg" % index)
    with open(config, "w") as f:
        for path in paths:
            f.write('url = "%s%s"\noutput = "%s%s"\n' % (base_url, path.replace(" ", "%20"),
                                                          out, path))
    started = time.monotonic()
    trust = ["--cacert", cert] if base_url.startswith("https") else []
    subprocess.run(["curl", "-s", "--fail", "--create-dirs", "-K", config] + trust, check=True)
    seconds = time.monotonic() - started
    files = sum(len(names) for _, _, names in os.walk(out))
    shutil.rmtree(out, ignore_errors=True)
    return seconds, files, ""


def aria2c_fetch(run, base_url, paths, cert, index):
    out = os.path.join(run.work, "aria2c-%d" % index)
    listing = os.path.join(run.work, "aria2c-%d.txt" % index)
    with open(listing, "w") as f:
        for path in paths:
            f.write("%s%s\n  out=%s\n" % (base_url, path.replace(" ", "%20"), path.lstrip("/")))
    started = time.monotonic()
    trust = ["--ca-certificate=" + cert] if base_url.startswith("https") else []
    subprocess.run(["aria2c", "-j", "8", "-i", listing, "-d", out, "--allow-overwrite=true",
                    "--auto-file-renaming=false", "--file-allocation=none",
                    "--console-log-level=error", "-q", "--summary-interval=0"] + trust,
                   check=True)
    seconds = time.monotonic() - started
    files = sum(len(names) for _, _, names in os.walk(out))
    shutil.rmtree(out, ignore_errors=True)
    return seconds, files, ""


def main():
    binary = os.path.abspath(sys.argv[1])
    products = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
    runs = int(os.environ.get("RUNS", "3"))
    curl_runs = int(os.environ.get("CURL_RUNS", str(runs)))
    conditions = os.environ.get("CONDITIONS", "loopback http-20ms https-20ms").split()
    tools = os.environ.get("TOOLS", "server curl aria2c").split()
    work = tempfile.mkdtemp(prefix="sync-wan-")
    run = Run(work)
    try:
        www = os.path.join(work, "www")
        paths = export_files(products, www)
        cert, key = os.path.join(work, "cert.pem"), os.path.join(work, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                        "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                        "-keyout", key, "-out", cert], check=True, capture_output=True)
        catalogue_port, http_port, https_port = free_port(), free_port(), free_port()
        run.start([sys.executable, os.path.join(HERE, "..", "tools", "catalogue_server.py"),
                   "--port", str(catalogue_port), "--products", str(products)],
                  stdout=subprocess.DEVNULL, stderr=open(os.path.join(work, "stand-in.log"), "wb"))
        conf = write_nginx(work, www, http_port, https_port, catalogue_port, cert, key)
        run.start(["nginx", "-c", conf, "-p", work, "-g", "daemon off;"])
        proxies = {}
        for name, target in (("http-20ms", http_port), ("https-20ms", https_port)):
            proxies[name] = free_port()
            run.start([sys.executable, os.path.join(HERE, "delay_proxy.py"),
                       str(proxies[name]), str(target), str(ONE_WAY_MS)])
        for port in [catalogue_port, http_port, https_port] + list(proxies.values()):
            assert wait_for(lambda: accepts(port), 120), "nothing listens on %d" % port
        base = {"loopback": "http://127.0.0.1:%d" % http_port,
                "http-20ms": "http://127.0.0.1:%d" % proxies["http-20ms"],
                "https-20ms": "https://127.0.0.1:%d" % proxies["https-20ms"]}
        fetchers = {"server": lambda url, i: server_sync(run, binary, url, cert, i),
                    "curl": lambda url, i: curl_fetch(run, url, paths, cert, i),
                    "aria2c": lambda url, i: aria2c_fetch(run, url, paths, cert, i)}
        print("first sync of %d products, %d picture files; %d runs each; %s" % (
            products, len(paths), runs, binary), flush=True)
        results = {}
        index = 0
        for condition in conditions:
            for tool in tools:
                times = []
                for _ in range(curl_runs if tool == "curl" else runs):
                    index += 1
                    seconds, files, note = fetchers[tool](base[condition], index)
                    times.append(seconds)
                    print("  %-11s %-7s %8.2f s  %6d files  %s" % (condition, tool, seconds,
                                                                   files, note), flush=True)
                results[(condition, tool)] = times
        print("\n| condition | %s |" % " | ".join(tools))
        print("|---|" + "---|" * len(tools))
        for condition in conditions:
            cells = []
            for tool in tools:
                times = results[(condition, tool)]
                median = statistics.median(times)
                cell = "%.2f s (%.0f files/s)" % (median, len(paths) / median)
                if tool != "aria2c" and ("aria2c" in tools):
                    cell += ", %.2fx aria2c" % (median / statistics.median(
                        results[(condition, "aria2c")]))
                cells.append(cell)
            print("| %s | %s |" % (condition, " | ".join(cells)))
        print("(medians of %d runs, curl %d; UPDATE_DB includes the table requests and imports)"
              % (runs, curl_runs))
    finally:
        run.stop_all()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
