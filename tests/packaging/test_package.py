"""Builds the Debian package from the release build folder, unpacks it into a
temporary root and checks its files, its metadata and the user unit.

QUILLBOX_SOURCE_DIR names the source tree, QUILLBOX_PACKAGE_BUILD_DIR the
non-sanitizer build folder to build the package in (the one scripts/run uses,
so that an existing build is reused), QUILLBOX_VERSION the project version."""
import gzip
import os
import re
import shutil
import subprocess

import pytest

SOURCE = os.environ.get("QUILLBOX_SOURCE_DIR", "")
BUILD = os.environ.get("QUILLBOX_PACKAGE_BUILD_DIR", "")
VERSION = os.environ.get("QUILLBOX_VERSION", "")
UNIT = "usr/lib/systemd/user/quillbox-server.service"
AUTOSTART = "etc/xdg/autostart/quillbox-server.desktop"
MENU_ENTRY = "usr/share/applications/quillbox-label-server.desktop"
MAN_PAGE = "usr/share/man/man1/quillbox-server.1.gz"
TRANSLATION = "usr/share/quillbox-server/translations/quillbox_ja.qm"
BINARY = "usr/bin/quillbox-server"
BROKER = "usr/bin/quillbox-broker"
BROKER_UNITS = ["usr/lib/systemd/system/quillbox-broker.socket",
                "usr/lib/systemd/system/quillbox-broker.service"]


def run(*command, **kwargs):
    return subprocess.run(list(command), check=True, capture_output=True, text=True, **kwargs)


@pytest.fixture(scope="module")
def package(tmp_path_factory):
    if not (SOURCE and BUILD and VERSION):
        pytest.skip("QUILLBOX_SOURCE_DIR, QUILLBOX_PACKAGE_BUILD_DIR and QUILLBOX_VERSION are needed")
    # The same options as scripts/run, plus the prefix the package installs
    # to. The folder was configured before without that prefix (scripts/run),
    # maybe with an autostart folder relative to it cached by an older build:
    # the entry still lands in /etc/xdg/autostart.
    # A catalogue server URL cached by an older build is dropped: the README's
    # build names none.
    options = ["-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DQUILLBOX_TESTS=OFF"]
    run("cmake", "-S", SOURCE, "-B", BUILD, *options, "-DCMAKE_INSTALL_PREFIX=/usr/local",
        "-DQUILLBOX_AUTOSTART_DIR:STRING=etc/xdg/autostart", "-UQUILLBOX_CATALOGUE_URL")
    run("cmake", "-S", SOURCE, "-B", BUILD, *options, "-DCMAKE_INSTALL_PREFIX=/usr")
    run("cmake", "--build", BUILD, "-j2")
    out = tmp_path_factory.mktemp("package")
    run("cpack", "-G", "DEB", "-B", str(out), cwd=BUILD)
    deb = out / ("quillbox-server_%s_amd64.deb" % VERSION)
    assert deb.exists(), sorted(p.name for p in out.iterdir())
    root = out / "root"
    run("dpkg", "-x", str(deb), str(root))
    return deb, root


def fields(deb):
    control = run("dpkg-deb", "--field", str(deb)).stdout
    return dict(re.findall(r"^(\S+): (.*(?:\n .*)*)", control, re.M))


def test_metadata_is_sane(package):
    deb, _ = package
    info = fields(deb)
    assert info["Package"] == "quillbox-server"
    assert info["Version"] == VERSION
    assert info["Architecture"] == "amd64"
    assert info["Maintainer"] and info["Description"].startswith("local catalogue-and-print server")
    depends = [d.strip().split(" ")[0] for d in info["Depends"].split(",")]
    # Computed from the libraries the binary links.
    for needed in ["libc6", "libstdc++6", "libqt6core6", "libqt6gui6", "libqt6widgets6",
                   "libqt6printsupport6", "libsqlite3-0", "libcurl4", "libpugixml1v5",
                   "libminizip1"]:
        assert needed in depends, info["Depends"]
    assert not [d for d in depends if re.match(r"lib(asan|ubsan|tsan|gtest)", d)], info["Depends"]
    assert "qt6-image-formats-plugins" in info["Recommends"]
    # Qt's own dialog texts in the user's language.
    assert "qt6-translations-l10n" in info["Recommends"]
    # Japanese dialogs need a font with Japanese glyphs.
    assert "fonts-noto-cjk" in info["Recommends"]
    # dpkg-deb --info reads the whole control archive without complaint.
    assert "quillbox-server" in run("dpkg-deb", "--info", str(deb)).stdout


def test_files_are_in_place(package):
    deb, root = package
    listed = run("dpkg-deb", "--contents", str(deb)).stdout
    for path in [BINARY, BROKER, *BROKER_UNITS, UNIT, AUTOSTART, MENU_ENTRY, MAN_PAGE, TRANSLATION]:
        assert " ./" + path + "\n" in listed, listed
    # The autostart entry lives in /etc: dpkg keeps a local edit of it.
    assert run("dpkg-deb", "--info", str(deb), "conffiles").stdout == "/" + AUTOSTART + "\n"
    binary = root / BINARY
    assert os.access(binary, os.X_OK)
    assert run(str(binary), "--version").stdout == "quillbox-server %s\n" % VERSION
    assert "not stripped" not in run("file", "-b", str(binary)).stdout

    unit = (root / UNIT).read_text()
    for line in ["Type=simple", "Restart=on-failure", "ExecStart=/usr/bin/quillbox-server",
                 "ExecReload=/bin/kill -HUP $MAINPID", "PartOf=graphical-session.target",
                 "WantedBy=graphical-session.target"]:
        assert "\n" + line + "\n" in unit, unit

    desktop = (root / AUTOSTART).read_text()
    # TryExec: an entry kept after the package's removal (a conffile stays
    # until purge) starts nothing.
    for line in ["[Desktop Entry]", "Type=Application", "TryExec=/usr/bin/quillbox-server",
                 "Exec=/usr/bin/quillbox-server", "X-systemd-skip=true"]:
        assert line + "\n" in desktop, desktop

    # The application menu's way to the server's window.
    menu = (root / MENU_ENTRY).read_text()
    for line in ["[Desktop Entry]", "Type=Application", "Name=Quillbox label server",
                 "TryExec=/usr/bin/quillbox-server", "Exec=/usr/bin/quillbox-server --show"]:
        assert line + "\n" in menu, menu
    assert "NoDisplay" not in menu, menu

    page = gzip.decompress((root / MAN_PAGE).read_bytes()).decode()
    assert page.startswith(".TH QUILLBOX-SERVER 1")
    for section in ["OPTIONS", "CONFIGURATION", "SEVERAL USERS ON ONE COMPUTER",
                    "CONTROL MESSAGES", "SIGNALS", "FILES",
                    "EXIT STATUS", "REMOVING A USER'S DATA"]:
        assert "\n.SH " + section + "\n" in page
    assert "/etc/xdg/Tavrim/Quillbox.conf" in page


def test_nothing_lands_below_the_prefix_etc(package):
    deb, _ = package
    listed = run("dpkg-deb", "--contents", str(deb)).stdout
    assert "./usr/etc/" not in listed, listed


def fake_systemctl(folder, status):
    """A systemctl that records its arguments and exits with `status`."""
    folder.mkdir()
    script = folder / "systemctl"
    script.write_text("#!/bin/sh\necho \"$@\" >> %s/calls\nexit %d\n" % (folder, status))
    script.chmod(0o755)
    return folder


# (maintainer script, its argument, systemctl's exit status or None for no
# systemctl, systemctl call expected, lines expected on stdout, on stderr)
@pytest.mark.parametrize("script, argument, systemctl, call, out, err", [
    pytest.param("postinst", "configure", 0, "--global enable quillbox-server.service\n"
                 "enable --now quillbox-broker.socket",
                 ["the user service is enabled for every user", "log in again",
                  "/etc/xdg/Tavrim/Quillbox.conf", "the port broker is on",
                  "systemctl disable --now quillbox-broker.socket"], [], id="postinst enables"),
    pytest.param("postinst", "configure", 1, "--global enable quillbox-server.service\n"
                 "enable --now quillbox-broker.socket",
                 ["log in again"], ["could not enable the user service",
                                    "the port broker could not be started"],
                 id="postinst says when enabling fails"),
    pytest.param("postinst", "configure", None, None,
                 ["/etc/xdg/autostart/quillbox-server.desktop at the next login"], [],
                 id="postinst without systemd"),
    pytest.param("prerm", "remove", 0, "--global disable quillbox-server.service\n"
                 "disable --now quillbox-broker.socket quillbox-broker.service",
                 ["systemctl --user stop quillbox-server", "pkill -x"], [], id="prerm disables"),
    pytest.param("prerm", "upgrade", 0, None, [], [], id="prerm leaves an upgrade alone"),
    pytest.param("postrm", "remove", None, None,
                 ["rm -r ~/.local/share/jp.co.tavrim.Pelloran.V3"], [],
                 id="postrm names the users' data"),
])
def test_maintainer_scripts(package, tmp_path, script, argument, systemctl, call, out, err):
    deb, _ = package
    control = tmp_path / "control"
    run("dpkg-deb", "--control", str(deb), str(control))
    assert os.access(control / script, os.X_OK)
    bin_dir = (fake_systemctl(tmp_path / "bin", systemctl) if systemctl is not None
               else tmp_path / "empty")
    bin_dir.mkdir(exist_ok=True)
    result = subprocess.run(["/bin/sh", str(control / script), argument],
                            env={"PATH": str(bin_dir)}, capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    calls = (bin_dir / "calls").read_text() if (bin_dir / "calls").exists() else ""
    assert calls == (call + "\n" if call else "")
    for text in out:
        assert text in result.stdout, result.stdout
    for text in err:
        assert text in result.stderr, result.stderr
    if not err:
        assert result.stderr == ""
    if script != "postinst":
        # Read once the binary is gone: no advice may need it.
        assert "quillbox-server --" not in result.stdout, result.stdout


def test_installed_server_has_no_catalogue_server_of_its_own(package, tmp_path):
    _, root = package
    home = tmp_path / "home"
    runtime = tmp_path / "runtime"
    runtime.mkdir(mode=0o700)
    env = dict(os.environ, HOME=str(home), XDG_CONFIG_HOME=str(home / ".config"),
               XDG_DATA_HOME=str(home / ".local/share"), XDG_STATE_HOME=str(home / ".local/state"),
               XDG_CONFIG_DIRS=str(tmp_path / "no-system-config"), XDG_RUNTIME_DIR=str(runtime),
               CUPS_SERVER="/nonexistent/cups.sock")
    for name in ("DISPLAY", "WAYLAND_DISPLAY", "SSL_CERT_FILE"):
        env.pop(name, None)
    result = subprocess.run([str(root / BINARY), "--status"], env=env, capture_output=True,
                            text=True, timeout=60)
    lines = result.stdout.splitlines()
    assert "  [Catalogue] url: none (default)" in lines, result.stdout
    assert "  url: none configured" in lines, result.stdout
    assert ("  - no catalogue server is configured: set [Catalogue] url "
            "(see man quillbox-server)") in lines, result.stdout


def test_man_page_renders_without_warnings(package):
    _, root = package
    if not shutil.which("groff"):
        pytest.skip("groff is not installed")
    page = gzip.decompress((root / MAN_PAGE).read_bytes())
    result = subprocess.run(["groff", "-man", "-ww", "-z"], input=page, capture_output=True)
    assert result.returncode == 0 and result.stderr == b"", result.stderr.decode()


@pytest.mark.parametrize("entry", [AUTOSTART, MENU_ENTRY])
def test_desktop_entry_is_valid(package, entry):
    _, root = package
    if not shutil.which("desktop-file-validate"):
        pytest.skip("desktop-file-validate is not installed (Debian package desktop-file-utils)")
    result = subprocess.run(["desktop-file-validate", str(root / entry)], capture_output=True,
                            text=True)
    assert result.returncode == 0 and result.stdout + result.stderr == "", \
        result.stdout + result.stderr


def test_systemd_accepts_the_unit(package, tmp_path):
    _, root = package
    if not shutil.which("systemd-analyze"):
        pytest.skip("systemd-analyze is not installed (Debian package systemd)")
    # The unit names /usr/bin/quillbox-server, which exists only inside the
    # unpacked root: verify a copy that starts the unpacked binary instead
    # (its ExecStart line is checked above). The man page named by
    # Documentation= is looked up in the unpacked root too.
    unit = (root / UNIT).read_text()
    copy = tmp_path / "unit" / "quillbox-server.service"
    copy.parent.mkdir()
    copy.write_text(unit.replace("ExecStart=/usr/bin/", "ExecStart=%s/usr/bin/" % root))
    runtime = tmp_path / "runtime"
    runtime.mkdir(mode=0o700)
    env = dict(os.environ, XDG_RUNTIME_DIR=str(runtime), MANPATH=str(root / "usr/share/man"))
    result = subprocess.run(["systemd-analyze", "--user", "verify", str(copy)], env=env,
                            capture_output=True, text=True)
    if "Failed to initialize manager" in result.stderr:
        pytest.skip("systemd-analyze cannot run here: " + result.stderr.strip())
    # verify reports unknown keys and bad values but still exits 0: both count.
    assert result.returncode == 0 and result.stdout + result.stderr == "", \
        result.stdout + result.stderr


def test_the_broker_links_only_what_it_needs(package):
    _, root = package
    broker = root / BROKER
    assert run(str(broker), "--version").stdout == "quillbox-broker %s\n" % VERSION
    needed = re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]",
                        run("readelf", "-d", str(broker)).stdout)
    assert needed and all(re.match(r"lib(c|m|stdc\+\+|gcc_s)\.so", lib) for lib in needed), needed


def test_systemd_accepts_the_broker_units(package, tmp_path):
    _, root = package
    if not shutil.which("systemd-analyze"):
        pytest.skip("systemd-analyze is not installed (Debian package systemd)")
    # As for the user unit: copies that start the unpacked binary, in one
    # folder so that the socket finds its service.
    units = tmp_path / "units"
    units.mkdir()
    for path in BROKER_UNITS:
        text = (root / path).read_text()
        (units / os.path.basename(path)).write_text(
            text.replace("ExecStart=/usr/bin/", "ExecStart=%s/usr/bin/" % root))
    service = (root / BROKER_UNITS[1]).read_text()
    for line in ["ExecStart=/usr/bin/quillbox-broker", "DynamicUser=yes",
                 "RuntimeDirectory=quillbox", "ProtectSystem=strict", "ProtectHome=yes",
                 "NoNewPrivileges=yes",
                 "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6 AF_NETLINK"]:
        assert "\n" + line + "\n" in service, service
    socket_unit = (root / BROKER_UNITS[0]).read_text()
    for line in ["ListenStream=127.0.0.1:3210", "ListenStream=[::1]:3210",
                 "ListenSequentialPacket=/run/quillbox/broker", "WantedBy=sockets.target"]:
        assert "\n" + line + "\n" in socket_unit, socket_unit
    env = dict(os.environ, MANPATH=str(root / "usr/share/man"))
    result = subprocess.run(["systemd-analyze", "verify", *sorted(str(p) for p in units.iterdir())],
                            env=env, capture_output=True, text=True)
    if "Failed to initialize manager" in result.stderr:
        pytest.skip("systemd-analyze cannot run here: " + result.stderr.strip())
    assert result.returncode == 0 and result.stdout + result.stderr == "", \
        result.stdout + result.stderr
