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
MAN_PAGE = "usr/share/man/man1/quillbox-server.1.gz"
TRANSLATION = "usr/share/quillbox-server/translations/quillbox_ja.qm"
BINARY = "usr/bin/quillbox-server"


def run(*command, **kwargs):
    return subprocess.run(list(command), check=True, capture_output=True, text=True, **kwargs)


@pytest.fixture(scope="module")
def package(tmp_path_factory):
    if not (SOURCE and BUILD and VERSION):
        pytest.skip("QUILLBOX_SOURCE_DIR, QUILLBOX_PACKAGE_BUILD_DIR and QUILLBOX_VERSION are needed")
    # The same options as scripts/run, plus the prefix the package installs to.
    run("cmake", "-S", SOURCE, "-B", BUILD, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
        "-DQUILLBOX_TESTS=OFF", "-DCMAKE_INSTALL_PREFIX=/usr")
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
    # dpkg-deb --info reads the whole control archive without complaint.
    assert "quillbox-server" in run("dpkg-deb", "--info", str(deb)).stdout


def test_files_are_in_place(package):
    deb, root = package
    listed = run("dpkg-deb", "--contents", str(deb)).stdout
    for path in [BINARY, UNIT, AUTOSTART, MAN_PAGE, TRANSLATION]:
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
    for line in ["[Desktop Entry]", "Type=Application", "Exec=/usr/bin/quillbox-server",
                 "X-systemd-skip=true"]:
        assert line + "\n" in desktop, desktop

    page = gzip.decompress((root / MAN_PAGE).read_bytes()).decode()
    assert page.startswith(".TH QUILLBOX-SERVER 1")
    for section in ["OPTIONS", "CONFIGURATION", "CONTROL MESSAGES", "SIGNALS", "FILES",
                    "EXIT STATUS"]:
        assert "\n.SH " + section + "\n" in page


def test_man_page_renders_without_warnings(package):
    _, root = package
    if not shutil.which("groff"):
        pytest.skip("groff is not installed")
    page = gzip.decompress((root / MAN_PAGE).read_bytes())
    result = subprocess.run(["groff", "-man", "-ww", "-z"], input=page, capture_output=True)
    assert result.returncode == 0 and result.stderr == b"", result.stderr.decode()


def test_autostart_entry_is_valid(package):
    _, root = package
    if not shutil.which("desktop-file-validate"):
        pytest.skip("desktop-file-validate is not installed (Debian package desktop-file-utils)")
    result = subprocess.run(["desktop-file-validate", str(root / AUTOSTART)], capture_output=True,
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
