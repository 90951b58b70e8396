"""A private CUPS scheduler for the printing test: its own configuration,
spool and socket in a temporary folder, one CUPS-PDF queue as the default
destination. The CUPS-PDF backend reads its settings from a fixed system
path; where a private mount namespace is allowed, a private copy is bound
over it so that the PDFs land in the sandbox; otherwise they land where the
system settings put them (the job owner's ~/PDF) and are found there; that
folder is shared by every scheduler of the machine, so such a sandbox holds a
lock on it from start to stop (test files run side by side).

Every step is bounded by a timeout, and the scheduler is killed on stop."""
import fcntl
import os
import pwd
import shutil
import signal
import subprocess
import tempfile
import time

CUPSD = "/usr/sbin/cupsd"
LPADMIN = "/usr/sbin/lpadmin"
BACKEND = "/usr/lib/cups/backend/cups-pdf"
PPD = "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd"
SYSTEM_CONF = "/etc/cups/cups-pdf.conf"
QUEUE = "QuillboxPDF"


class CupsUnavailable(Exception):
    pass


def _wait(predicate, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.05)
    return predicate()


class CupsSandbox:
    def __init__(self):
        self.root = None
        self.proc = None
        self.private_output = False
        self.output_lock = None

    def start(self):
        for path in (CUPSD, LPADMIN, BACKEND, PPD):
            if not os.path.exists(path):
                raise CupsUnavailable("%s is missing (scripts/setup installs it)" % path)
        if os.geteuid() != 0:
            raise CupsUnavailable("the CUPS-PDF backend runs only under a root scheduler")
        # Filters run as user lp: the sandbox must be reachable for it, which a
        # pytest temporary folder (mode 0700) is not.
        self.root = tempfile.mkdtemp(prefix="quillbox-cups-")
        os.chmod(self.root, 0o755)
        d = {name: os.path.join(self.root, name)
             for name in ("etc", "spool", "cache", "state", "log", "tmp", "out", "pdfspool")}
        for path in d.values():
            os.makedirs(path, exist_ok=True)
            os.chmod(path, 0o755)
        os.chmod(d["tmp"], 0o1777)
        os.chmod(d["out"], 0o777)
        self.socket = os.path.join(self.root, "cups.sock")
        self.out = d["out"]
        with open(os.path.join(d["etc"], "cups-files.conf"), "w") as f:
            f.write("ServerRoot %s\nRequestRoot %s\nCacheDir %s\nStateDir %s\nTempDir %s\n"
                    "ServerBin /usr/lib/cups\nDataDir /usr/share/cups\n"
                    "AccessLog %s/access_log\nErrorLog %s/error_log\nPageLog %s/page_log\n"
                    "Sandboxing Relaxed\nFileDevice Yes\nPrintcap %s/printcap\n"
                    % (d["etc"], d["spool"], d["cache"], d["state"], d["tmp"],
                       d["log"], d["log"], d["log"], self.root))
        with open(os.path.join(d["etc"], "cupsd.conf"), "w") as f:
            f.write("Listen %s\nLogLevel info\nBrowsing No\nWebInterface No\n"
                    "DefaultAuthType None\n"
                    "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                    "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n"
                    "</Policy>\n" % self.socket)
        conf = os.path.join(d["etc"], "cups-pdf.conf")
        with open(conf, "w") as f:
            f.write("Out %s\nAnonDirName %s\nSpool %s\nGrp root\nLog %s\nUserUMask 0000\n"
                    % (d["out"], d["out"], d["pdfspool"], d["log"]))
        command = [CUPSD, "-f", "-c", os.path.join(d["etc"], "cupsd.conf"),
                   "-s", os.path.join(d["etc"], "cups-files.conf")]
        if shutil.which("unshare") and self._can_bind(conf):
            command = ["unshare", "--mount", "--propagation", "private", "sh", "-c",
                       'mount --bind "$0" %s && exec "$@"' % SYSTEM_CONF, conf] + command
            self.private_output = True
        else:
            # Blocks while another sandbox shares the output folder.
            self.output_lock = open(os.path.join(tempfile.gettempdir(),
                                                 "quillbox-cups-pdf-%d.lock" % os.getuid()), "w")
            fcntl.flock(self.output_lock, fcntl.LOCK_EX)
        self.log = open(os.path.join(d["log"], "cupsd.out"), "wb")
        self.proc = subprocess.Popen(command, stdout=self.log, stderr=subprocess.STDOUT,
                                     start_new_session=True)
        if not _wait(lambda: os.path.exists(self.socket) or self.proc.poll() is not None, 15) \
                or self.proc.poll() is not None:
            self.stop()
            raise CupsUnavailable("cupsd did not start")
        try:
            self._admin("-p", QUEUE, "-E", "-v", "cups-pdf:/", "-P", PPD)
            self._admin("-d", QUEUE)
        except (subprocess.SubprocessError, OSError) as error:
            self.stop()
            raise CupsUnavailable("cannot set up the CUPS-PDF queue: %s" % error)
        if not self.private_output:
            home = pwd.getpwuid(os.getuid()).pw_dir
            self.out = os.path.join(home, "PDF")
        self.before = set(self.pdfs())
        return self

    @staticmethod
    def _can_bind(conf):
        try:
            return subprocess.run(
                ["unshare", "--mount", "--propagation", "private", "mount", "--bind", conf,
                 SYSTEM_CONF], capture_output=True, timeout=10).returncode == 0
        except (subprocess.SubprocessError, OSError):
            return False

    def _admin(self, *args):
        subprocess.run([LPADMIN, "-h", self.socket] + list(args), check=True,
                       capture_output=True, timeout=20)

    def add_queue(self, name, device, *options):
        """Another queue, with the CUPS-PDF driver, on `device`."""
        self._admin("-p", name, "-E", "-v", device, "-P", PPD, *options)

    def command(self, program, *args):
        """Runs a CUPS command (cupsdisable, cupsreject, lpstat ...) against
        this scheduler; its output."""
        return subprocess.run([program, "-h", self.socket] + list(args), check=True,
                              capture_output=True, text=True, timeout=20).stdout

    def env(self):
        return {"CUPS_SERVER": self.socket}

    def pdfs(self):
        if not os.path.isdir(self.out):
            return []
        return [os.path.join(self.out, n) for n in os.listdir(self.out) if n.endswith(".pdf")]

    def wait_for_new_pdf(self, timeout):
        """The first PDF that was not there when the queue was set up, once
        it ends with its trailer and its size has stopped changing (a busy
        machine can pause the PDF writer for longer than any fixed wait)."""
        found = []

        def ended(path):
            with open(path, "rb") as pdf:
                pdf.seek(max(0, os.path.getsize(path) - 1024))
                return b"%%EOF" in pdf.read()

        def ready():
            new = [p for p in self.pdfs() if p not in self.before]
            if not new:
                return False
            size = os.path.getsize(new[0])
            time.sleep(0.3)
            if size > 0 and size == os.path.getsize(new[0]) and ended(new[0]):
                found.append(new[0])
                return True
            return False

        return found[0] if _wait(ready, timeout) else None

    def error_log(self):
        path = os.path.join(self.root, "log", "error_log")
        return open(path, errors="replace").read() if os.path.exists(path) else ""

    def stop(self):
        if self.proc is not None and self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGTERM)
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.killpg(self.proc.pid, signal.SIGKILL)
                self.proc.wait(timeout=10)
        if not self.private_output and self.root is not None:
            for path in self.pdfs():
                if path not in getattr(self, "before", set()):
                    os.remove(path)
        if self.root is not None:
            shutil.rmtree(self.root, ignore_errors=True)
        if self.output_lock is not None:
            self.output_lock.close()  # releases the lock
            self.output_lock = None
