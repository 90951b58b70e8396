"""An idle server sleeps: none of its threads wakes while nothing happens, and
the events it waits for (a rebind, a stop) still reach it at once. Wake-ups
are read from the threads' context-switch counters, not timed."""
import glob
import signal
import time

from conftest import accepts, free_port, wait_for


def switches(pid):
    """Context switches of every thread of `pid`, by thread id."""
    counts = {}
    for status in glob.glob("/proc/%d/task/*/status" % pid):
        try:
            with open(status) as f:
                fields = dict(line.split(":", 1) for line in f if ":" in line)
        except FileNotFoundError:
            continue  # the thread ended
        counts[status.split("/")[4]] = (int(fields["voluntary_ctxt_switches"]) +
                                        int(fields["nonvoluntary_ctxt_switches"]))
    return counts


def settled(pid, quiet=1.0, limit=30.0):
    """The counters once no thread switched for `quiet` seconds (start-up and
    the readiness probe are over)."""
    deadline = time.monotonic() + limit
    before = switches(pid)
    while time.monotonic() < deadline:
        time.sleep(quiet)
        now = switches(pid)
        if now == before:
            return now
        before = now
    return before


def woke_while_idle(pid, seconds=3):
    """Wake-ups by thread id over `seconds` once `pid` has settled; empty
    when nothing woke."""
    before = settled(pid)
    time.sleep(seconds)
    after = switches(pid)
    return {tid: after.get(tid, 0) - count for tid, count in before.items()
            if after.get(tid, 0) != count}


def test_an_idle_server_does_not_wake(server):
    server.start()
    woke = woke_while_idle(server.proc.pid)
    assert woke == {}, "threads woke while idle: %s\n%s" % (woke, server.log())


def test_events_reach_a_sleeping_server(server):
    server.start()
    settled(server.proc.pid)
    old_port, new_port = server.port, free_port()
    server.write_port(new_port)
    assert server.run("--relisten").returncode == 0
    assert wait_for(lambda: accepts(new_port), 10), server.log()
    assert wait_for(lambda: not accepts(old_port), 10), server.log()
    server.port = new_port
    settled(server.proc.pid)
    server.proc.send_signal(signal.SIGTERM)
    assert server.proc.wait(timeout=10) == 0, server.log()
