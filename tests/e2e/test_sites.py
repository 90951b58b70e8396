"""The site list from the command line while a server runs headless:
--sites lists the allowed and denied origins with where each comes from,
--forget-site takes one of the user's entries back, and the running server
applies that, and an edit of the user's file, at once, without a restart."""
from conftest import OK_EMPTY, exchange, wait_for
from test_browser_guards import DENIED, FORBIDDEN, request

ASKS = "other sites: the user is asked about each (when a display is available)"


def from_origin(origin):
    return request(b"GET /dbAccess/IMG_URL HTTP/1.1", b"Origin: " + origin.encode())


def lines(run):
    return run.stdout.decode().splitlines()


def test_sites_listed_forgotten_and_edited_while_the_server_runs(server):
    user = server.config_file
    user.write_text(
        "[Server]\nport=%d\nallowedOrigins=https://a.example http://localhost:8080\n"
        "deniedOrigins=https://d.example\nansweredOrigins=https://a.example https://d.example\n"
        % server.port)
    system = server.system_config_file
    system.parent.mkdir(parents=True, exist_ok=True)
    system.write_text("[Server]\nallowedOrigins=https://corp.example https://d.example\n"
                      "deniedOrigins=https://evil.example\n")
    server.start()
    assert exchange(server.port, from_origin("https://a.example")) == OK_EMPTY
    assert exchange(server.port, from_origin("https://d.example")) == DENIED
    run = server.run("--sites")
    assert (run.returncode, lines(run)) == (0, [
        "allowed https://a.example (an answer to the question, %s)" % user,
        "allowed http://localhost:8080 (the user's file, %s)" % user,
        "denied https://d.example (an answer to the question, %s)" % user,
        "allowed https://corp.example (the system file, %s)" % system,
        "denied https://evil.example (the system file, %s)" % system,
        ASKS,
    ])

    rows = [
        # what is forgotten, exit status, output, error output
        ("HTTPS://A.example:443", 0,
         "forgot allowed https://a.example (an answer to the question, %s)\n" % user, ""),
        ("https://d.example", 0,
         "forgot denied https://d.example (an answer to the question, %s); still allowed "
         "https://d.example (the system file, %s)\n" % (user, system), ""),
        ("https://a.example", 1, "",
         "quillbox-server: https://a.example is not listed in %s\n" % user),
        ("https://corp.example", 1, "",
         "quillbox-server: https://corp.example is not in the user's file %s; it is allowed "
         "https://corp.example (the system file, %s), which only an administrator can "
         "change\n" % (user, system)),
        ("corp.example", 1, "",
         "quillbox-server: not an origin (scheme://host[:port] or null): corp.example\n"),
    ]
    for origin, status, out, err in rows:
        run = server.run("--forget-site", origin)
        assert (origin, run.returncode, run.stdout.decode(), run.stderr.decode()) == (
            origin, status, out, err)

    # The running server took both changes, without a restart: a is no longer
    # listed (refused without a display), d is allowed by the system file.
    changed = 'sites changed: origin "https://a.example" was allowed, is now not listed'
    assert wait_for(lambda: changed in server.log(), 10), server.log()
    assert wait_for(lambda: 'origin "https://d.example" was denied, is now allowed'
                    in server.log(), 10), server.log()
    assert exchange(server.port, from_origin("https://a.example")) == FORBIDDEN
    assert exchange(server.port, from_origin("https://d.example")) == OK_EMPTY
    assert server.log().count(changed) == 1
    assert lines(server.run("--sites")) == [
        "allowed http://localhost:8080 (the user's file, %s)" % user,
        "allowed https://corp.example (the system file, %s)" % system,
        "allowed https://d.example (the system file, %s)" % system,
        "denied https://evil.example (the system file, %s)" % system,
        ASKS,
    ]

    # An edit of the user's file by hand: applied at once too.
    user.write_text(user.read_text().replace("allowedOrigins=http://localhost:8080",
                                             "allowedOrigins=http://localhost:8080 "
                                             "https://b.example"))
    assert wait_for(lambda: 'origin "https://b.example" was not listed, is now allowed'
                    in server.log(), 10), server.log()
    assert exchange(server.port, from_origin("https://b.example")) == OK_EMPTY
    assert server.proc.poll() is None
    assert "listening on " in server.log() and server.log().count("listening on ") == 1
