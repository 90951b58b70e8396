"""A private D-Bus session bus with a stand-in desktop notification service:
every Notify call it takes is appended to a file as one JSON line
({"app": ..., "summary": ..., "body": ...}), so that a test sees exactly what
the user would have been shown."""
import json
import os
import subprocess
import tempfile
import time

SERVICE = r'''
import json, sys
import dbus, dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
name = dbus.service.BusName("org.freedesktop.Notifications", bus)
out = sys.argv[1]

class Notifications(dbus.service.Object):
    count = 0

    @dbus.service.method("org.freedesktop.Notifications", in_signature="susssasa{sv}i",
                         out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        with open(out, "a") as f:
            f.write(json.dumps({"app": str(app), "summary": str(summary),
                                "body": str(body)}) + "\n")
        Notifications.count += 1
        return Notifications.count

    @dbus.service.method("org.freedesktop.Notifications", out_signature="as")
    def GetCapabilities(self):
        return ["body"]

Notifications(bus, "/org/freedesktop/Notifications")
open(out + ".ready", "w").close()
GLib.MainLoop().run()
'''


class ServiceUnavailable(Exception):
    pass


class NotificationService:
    def __init__(self):
        self.bus = None
        self.service = None

    def start(self):
        try:
            import dbus  # noqa: F401  (python3-dbus, installed by scripts/setup)
        except ImportError as error:
            raise ServiceUnavailable(str(error))
        self.root = tempfile.mkdtemp(prefix="quillbox-bus-")
        self.out = os.path.join(self.root, "notifications.jsonl")
        self.bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address"],
                                    stdout=subprocess.PIPE, text=True)
        self.address = self.bus.stdout.readline().strip()
        if not self.address:
            self.stop()
            raise ServiceUnavailable("dbus-daemon gave no address")
        self.service = subprocess.Popen(
            ["/usr/bin/python3", "-c", SERVICE, self.out],
            env=dict(os.environ, DBUS_SESSION_BUS_ADDRESS=self.address))
        deadline = time.monotonic() + 20
        while not os.path.exists(self.out + ".ready"):
            if time.monotonic() > deadline or self.service.poll() is not None:
                self.stop()
                raise ServiceUnavailable("the notification service did not start")
            time.sleep(0.05)
        return self

    def env(self):
        return {"DBUS_SESSION_BUS_ADDRESS": self.address}

    def shown(self):
        """Every notification shown so far, oldest first."""
        if not os.path.exists(self.out):
            return []
        with open(self.out) as f:
            return [json.loads(line) for line in f if line.strip()]

    def stop(self):
        for proc in (self.service, self.bus):
            if proc is not None and proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()

