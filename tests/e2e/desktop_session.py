"""A desktop session for the window and tray tests, on top of an XDisplay: a
D-Bus session bus (through which Qt and the tests reach the accessibility
bus, started on demand by at-spi2-core), an X11 tray host (trayer) and the
accessibility tree, read with pyatspi so that widgets are found by role and
name rather than by coordinates.

pyatspi binds to the session bus of the process when first imported, so one
session serves every test of a run."""
import os
import re
import shutil
import subprocess
import tempfile

from harness import wait_for
from x_display import stop_groups


class SessionUnavailable(Exception):
    pass


class DesktopSession:
    def __init__(self, display):
        self.display = display
        self.bus = None
        self.tray = None
        self.address = None
        self.runtime = None
        self.saved_address = os.environ.get("DBUS_SESSION_BUS_ADDRESS")

    def start(self):
        for tool in ("dbus-daemon", "trayer"):
            if shutil.which(tool) is None:
                raise SessionUnavailable("%s is missing (scripts/setup installs it)" % tool)
        # The accessibility bus launched through this bus puts its socket in
        # the runtime folder it inherits: a private one, not the user's.
        self.runtime = tempfile.mkdtemp(prefix="quillbox-session-")
        self.bus = subprocess.Popen(
            ["dbus-daemon", "--session", "--nofork", "--print-address=1"],
            env=dict(os.environ, XDG_RUNTIME_DIR=self.runtime, **self.display.env()),
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
            start_new_session=True)
        self.address = self.bus.stdout.readline().strip()
        if not self.address:
            self.stop()
            raise SessionUnavailable("dbus-daemon gave no address")
        # pyatspi reads the variable when it is first imported.
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = self.address
        self.start_tray()
        return self

    def start_tray(self):
        self.tray = subprocess.Popen(
            ["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
             "--height", "32", "--SetDockType", "true", "--transparent", "false"],
            env=self.env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        if not wait_for(lambda: self.tray_window() is not None, 30):
            self.stop()
            raise SessionUnavailable("trayer did not show its panel")

    def tray_window(self):
        """The tray host's panel, where icons dock."""
        found = self.display.xdotool("search", "--classname", "^panel$").stdout.split()
        return found[0] if found else None

    def env(self):
        """What a program on this desktop gets besides HOME and the rest:
        the display, the session bus, and Qt's accessibility bridge on."""
        return dict(self.display.env(), DBUS_SESSION_BUS_ADDRESS=self.address,
                    QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")

    def docked_icons(self):
        """Ids of the application windows docked in the tray's panel."""
        panel = self.tray_window()
        if panel is None:
            return []
        tree = subprocess.run(["xwininfo", "-tree", "-id", panel],
                              env=dict(os.environ, **self.display.env()),
                              capture_output=True, text=True, timeout=20).stdout
        return [str(int(match.group(1), 16)) for match in
                re.finditer(r'^\s*(0x[0-9a-f]+) "[^"]*": \("[^"]+" "[^"]+"\)', tree, re.M)]

    def stop(self):
        if self.saved_address is None:
            os.environ.pop("DBUS_SESSION_BUS_ADDRESS", None)
        else:
            os.environ["DBUS_SESSION_BUS_ADDRESS"] = self.saved_address
        stop_groups(self.tray, self.bus)
        if self.runtime is not None:
            shutil.rmtree(self.runtime, ignore_errors=True)


class Accessible:
    """The accessibility tree of the running applications."""

    def __init__(self):
        import pyatspi  # noqa: E402 (bound to the session bus set by DesktopSession)
        self.pyatspi = pyatspi

    def refresh(self):
        """Takes in the tree's change events, which libatspi reads only in
        its main loop, and forgets what it cached."""
        from gi.repository import GLib
        context = GLib.MainContext.default()
        while context.pending():
            context.iteration(False)

    def application(self, name="quillbox-server"):
        self.refresh()
        desktop = self.pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == name:
                app.clear_cache()
                return app
        return None

    def find_all(self, root, role=None, name=None, showing=True):
        """Every node below `root` with `role` (a pyatspi ROLE_ name's tail,
        such as "push button") and `name` (exact, or a callable)."""
        found = []
        stack = [root]
        while stack:
            node = stack.pop()
            if node is None:
                continue
            try:
                role_name = node.getRoleName()
                node_name = node.name
                states = node.getState()
                children = [node.getChildAtIndex(i) for i in range(node.childCount)]
            except Exception:  # the node went away while being read
                continue
            if showing and not states.contains(self.pyatspi.STATE_SHOWING):
                continue
            if (role is None or role_name == role) and (
                    name is None or (name(node_name) if callable(name) else node_name == name)):
                found.append(node)
            stack.extend(reversed(children))
        return found

    def wait_for(self, role=None, name=None, timeout=60, app="quillbox-server"):
        """The first showing node of `app` with `role` and `name`; None after
        `timeout` seconds."""
        result = []

        def look():
            root = self.application(app)
            if root is None:
                return False
            result[:] = self.find_all(root, role, name)
            return bool(result)

        return result[0] if wait_for(look, timeout, interval=0.2) else None

    def press(self, node):
        action = node.queryAction()
        for i in range(action.nActions):
            if action.getName(i) in ("Press", "press", "click", "Toggle"):
                return action.doAction(i)
        return action.doAction(0)

    def enabled(self, node):
        return node.getState().contains(self.pyatspi.STATE_ENABLED)
