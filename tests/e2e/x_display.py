"""A private X display for the dialog tests: Xvfb on a display number it
picks itself (-displayfd), the openbox window manager, and xdotool to find
the dialogs, read their titles and type into them as a user would.

Every step is bounded by a timeout; the processes are killed on stop."""
import ctypes
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tools"))
from harness import wait_for  # noqa: E402


class DisplayUnavailable(Exception):
    pass


def stop_groups(*procs):
    """Ends the process group of each of `procs` that still runs (None is
    skipped): SIGTERM, then SIGKILL after 10 s."""
    for proc in procs:
        if proc is not None and proc.poll() is None:
            os.killpg(proc.pid, 15)
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.killpg(proc.pid, 9)
                proc.wait(timeout=10)


class XDisplay:
    def __init__(self):
        self.xvfb = None
        self.wm = None
        self.display = None
        self.root = None

    def start(self):
        for tool in ("Xvfb", "openbox", "xdotool"):
            if shutil.which(tool) is None:
                raise DisplayUnavailable("%s is missing (scripts/setup installs it)" % tool)
        self.root = tempfile.mkdtemp(prefix="quillbox-x-")
        read_end, write_end = os.pipe()
        try:
            self.xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
                 "-nolisten", "tcp"],
                pass_fds=(write_end,), stdout=subprocess.DEVNULL,
                stderr=open(os.path.join(self.root, "xvfb.log"), "wb"),
                start_new_session=True)
        finally:
            os.close(write_end)
        number = b""
        deadline = time.monotonic() + 30
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n") and time.monotonic() < deadline:
                chunk = pipe.read(1)
                if not chunk:
                    break
                number += chunk
        if not number.strip().isdigit():
            self.stop()
            raise DisplayUnavailable("Xvfb did not start: " + self._log("xvfb.log"))
        self.display = ":" + number.strip().decode()
        started = os.path.join(self.root, "wm-started")
        self.wm = subprocess.Popen(
            ["openbox", "--sm-disable", "--startup", "touch " + started],
            env=self.env(), stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(self.root, "openbox.log"), "wb"), start_new_session=True)
        if not wait_for(lambda: os.path.exists(started) or self.wm.poll() is not None, 30) \
                or self.wm.poll() is not None:
            self.stop()
            raise DisplayUnavailable("openbox did not start: " + self._log("openbox.log"))
        return self

    def _log(self, name):
        path = os.path.join(self.root, name)
        return open(path, errors="replace").read()[-2000:] if os.path.exists(path) else ""

    def env(self):
        return {"DISPLAY": self.display}

    def xdotool(self, *args, timeout=20):
        return subprocess.run(["xdotool"] + list(args), env=dict(os.environ, **self.env()),
                              capture_output=True, text=True, timeout=timeout)

    def windows(self):
        """{window id: title} of every visible window with a title."""
        found = self.xdotool("search", "--onlyvisible", "--name", ".").stdout.split()
        titles = {}
        for window in found:
            name = self.xdotool("getwindowname", window)
            if name.returncode == 0 and name.stdout.strip():
                titles[window] = name.stdout.rstrip("\n")
        return titles

    def wait_for_window(self, predicate, timeout=60, exclude=()):
        """The first visible window whose title satisfies `predicate`, as
        (id, title); None after `timeout` seconds."""
        found = []

        def look():
            for window, title in self.windows().items():
                if window not in exclude and predicate(title):
                    found.append((window, title))
                    return True
            return False

        return found[0] if wait_for(look, timeout, interval=0.2) else None

    def wait_gone(self, window, timeout=30):
        return wait_for(lambda: window not in self.windows(), timeout, interval=0.2)

    def press(self, window, *keys):
        """Focuses `window` and types `keys` (xdotool key names) into it."""
        self.xdotool("windowactivate", "--sync", window)
        result = self.xdotool("key", "--clearmodifiers", *keys)
        assert result.returncode == 0, result.stderr

    def screen(self, window):
        """The pixels the screen shows where `window` is: rows of 4 bytes per
        pixel (blue, green, red, unused) read from the root window, which is
        what a user sees. (xwd's picture of the whole screen can show a
        process's second window black although the screen shows it drawn.)"""
        geometry = self.xdotool("getwindowgeometry", window).stdout
        x, y = map(int, re.search(r"Position: (-?\d+),(-?\d+)", geometry).groups())
        width, height = map(int, re.search(r"Geometry: (\d+)x(\d+)", geometry).groups())
        return read_screen(self.display, x, y, width, height)

    def stop(self):
        stop_groups(self.wm, self.xvfb)
        if self.root is not None:
            shutil.rmtree(self.root, ignore_errors=True)


class _XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_ubyte)),
                ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                ("bits_per_pixel", ctypes.c_int)]


def read_screen(display, x, y, width, height):
    """Rows of the screen rectangle, 4 bytes per pixel (blue, green, red,
    unused), read with XGetImage on the root window of a 24-bit display."""
    xlib = ctypes.CDLL("libX11.so.6")
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XDefaultRootWindow.restype = ctypes.c_ulong
    xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    xlib.XGetImage.restype = ctypes.POINTER(_XImage)
    xlib.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                               ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    connection = xlib.XOpenDisplay(display.encode())
    if not connection:
        raise DisplayUnavailable("cannot open " + display)
    try:
        image = xlib.XGetImage(connection, xlib.XDefaultRootWindow(connection), x, y, width,
                               height, 0xFFFFFFFF, 2)  # ZPixmap
        if not image:
            raise DisplayUnavailable("XGetImage failed for %dx%d+%d+%d" % (width, height, x, y))
        line, bits = image.contents.bytes_per_line, image.contents.bits_per_pixel
        raw = ctypes.string_at(image.contents.data, line * height)
        xlib.XFree(image.contents.data)
        xlib.XFree(image)
        if bits != 32:
            raise DisplayUnavailable("%d bits per pixel; 32 expected" % bits)
        return [raw[row * line:row * line + 4 * width] for row in range(height)]
    finally:
        xlib.XCloseDisplay(connection)
