"""An https catalogue server: its certificate's name, dates and authority are
checked before any request is sent, and a private authority is trusted
through [Catalogue] caFile. The authority and the certificates are made for
each test with openssl."""
import subprocess

import pytest

import catalogue_server
import sample_catalogue
from conftest import ask

VERSION_FILE = "/Ver3/DeskTop/verFile_DB.txt"


@pytest.fixture(scope="module")
def catalogue():
    return sample_catalogue.generate(seed=1, products=2)


class Authority:
    """A throw-away certificate authority in `folder`."""

    def __init__(self, folder):
        self.folder = folder
        self.certificate = folder / "ca.pem"
        self.key = folder / "ca.key"
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", self.key,
                "-out", self.certificate, "-days", "2", "-subj", "/CN=Throw-away test authority")
        (folder / "index.txt").write_text("")
        (folder / "serial").write_text("01\n")
        self.config = folder / "ca.cnf"
        self.config.write_text(
            "[ca]\ndefault_ca = authority\n"
            "[authority]\ndatabase = %(f)s/index.txt\nnew_certs_dir = %(f)s\n"
            "serial = %(f)s/serial\ndefault_md = sha256\npolicy = any\nunique_subject = no\n"
            "[any]\ncommonName = supplied\n" % {"f": folder})

    def issue(self, name, alt_name, start="", end=""):
        """(certificate, key) for CN=`name` with subjectAltName `alt_name`,
        valid from `start` to `end` (openssl's YYYYMMDDHHMMSSZ; default: now
        for a day)."""
        key = self.folder / (name + ".key")
        request = self.folder / (name + ".csr")
        certificate = self.folder / (name + ".pem")
        extensions = self.folder / (name + ".ext")
        extensions.write_text("subjectAltName = %s\n" % alt_name)
        openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", request,
                "-subj", "/CN=" + name)
        dates = (["-startdate", start] if start else []) + (["-enddate", end] if end
                                                             else ["-days", "1"])
        openssl("ca", "-batch", "-notext", "-config", self.config, "-cert", self.certificate,
                "-keyfile", self.key, "-in", request, "-out", certificate,
                "-extfile", extensions, *dates)
        return str(certificate), str(key)


def openssl(*args):
    subprocess.run(["openssl"] + [str(a) for a in args], check=True, capture_output=True)


@pytest.fixture
def authority(tmp_path):
    folder = tmp_path / "authority"
    folder.mkdir()
    return Authority(folder)


# (certificate's CN, its subjectAltName, its dates, how the authority is
# trusted, whether the version is read, the reason logged when it is not)
@pytest.mark.parametrize("name, alt_name, dates, trust, accepted, reason", [
    pytest.param("127.0.0.1", "IP:127.0.0.1", (), "caFile", True, None,
                 id="right name through caFile"),
    pytest.param("127.0.0.1", "IP:127.0.0.1", (), "SSL_CERT_FILE", True, None,
                 id="right name through SSL_CERT_FILE"),
    pytest.param("other.example", "DNS:other.example", (), "caFile", False,
                 "certificate is for other.example, not 127.0.0.1", id="another name"),
    pytest.param("127.0.0.1", "IP:127.0.0.2, DNS:other.example", (), "caFile", False,
                 "certificate is for 127.0.0.2, other.example, not 127.0.0.1",
                 id="another address"),
    pytest.param("127.0.0.1", "IP:127.0.0.1", ("20200101000000Z", "20200102000000Z"), "caFile",
                 False, "SSL certificate problem: certificate has expired", id="expired"),
    pytest.param("127.0.0.1", "IP:127.0.0.1", (), None, False,
                 "SSL certificate problem: unable to get local issuer certificate",
                 id="authority not trusted"),
])
def test_certificate_is_checked_before_any_request(server, catalogue, authority, monkeypatch,
                                                   name, alt_name, dates, trust, accepted,
                                                   reason):
    stand_in = catalogue_server.StandIn(
        catalogue, tls=authority.issue(name, alt_name, *dates)).start()
    try:
        config = "[Server]\nport=%d\n" % server.port
        if trust == "caFile":
            config += "[Catalogue]\ncaFile=%s\n" % authority.certificate
        elif trust == "SSL_CERT_FILE":
            monkeypatch.setenv("SSL_CERT_FILE", str(authority.certificate))
        server.config_file.parent.mkdir(parents=True, exist_ok=True)
        server.config_file.write_text(config)
        server.start("--catalogue-url", stand_in.url, catalogue_flag=False)
        assert ask(server.port, "/dbAccess/DB_URL") == str(server.data_home)
        answer = ask(server.port, "/dbAccess/CHK_DB")
        received = stand_in.received()
        status = server.run("--status", timeout=30).stdout.decode()
    finally:
        stand_in.stop()
    if accepted:
        assert answer == "1", server.log()
        assert VERSION_FILE in received
    else:
        assert received == []
        expected = ("quillbox-server: error: cannot read the catalogue version from %s%s: %s"
                    % (stand_in.url, VERSION_FILE, reason))
        assert expected in server.log().splitlines(), server.log()
        # --status names the same reason, where the user looks first.
        assert "  reachable: no (GET %s%s: %s)\n" % (stand_in.url, VERSION_FILE, reason) in status, \
            status
