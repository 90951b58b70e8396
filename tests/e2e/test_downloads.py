"""Material and template downloads against the stand-in catalogue server:
the requests each kind sends, what lands in the data folder, the shared
download queue during an update run, and paths that would leave the data
folder."""
import os
import sys
import threading

import pytest

from conftest import SERVER_ERROR, Sync, ask, exchange, wait_for

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tools"))
import catalogue_server  # noqa: E402
import sample_catalogue  # noqa: E402
from harness import expected_rows, picture_paths  # noqa: E402

GENERIC = sample_catalogue.GENERIC_FOLDER
STAMP = ".image.zip.unpacked"  # beside an unpacked archive: what shows it was unpacked


@pytest.fixture
def catalogue():
    catalogue = sample_catalogue.generate(seed=1, products=12)
    # A third sub-level below top-level group 1.
    catalogue["pict_group_sub_level_infos"].append(dict(
        catalogue["pict_group_sub_level_infos"][1], id=99, subLevelId=3, folder="top001/sub3"))
    return catalogue


def material(sync, kind, folder="", value=""):
    return sync.ask("/dbAccess/SOZAI_DOWNLOAD@kind=%s&folder=%s&value=%s" % (kind, folder, value))


def synced(sync):
    """Runs the update and forgets its requests."""
    assert sync.ask("/dbAccess/UPDATE_DB", timeout=120) == ""
    sync.stand_in.clear()
    return sync


def files_below(folder):
    return sorted(os.path.relpath(os.path.join(d, f), folder)
                  for d, _, names in os.walk(folder) for f in names)


def test_kind_2_with_a_folder_unpacks_both_archives(sync, stand_in):
    assert material(sync, 2, "top002/sub1", "2") == ""
    # Archives are fetched several at a time: in any order, once each.
    assert sorted(stand_in.received()) == ["/sozai4/top002/sub1/image.zip",
                                           "/sozai4_S/top002/sub1/image.zip"]
    for variant in ("sozai4", "sozai4_S"):
        assert files_below(sync.data / variant / "top002" / "sub1") == [
            STAMP, "pict_1.png", "pict_2.png"]
    assert sync.ask("/dbAccess/SOZAI_TEMP_STATUS_DOWNLOAD") == "V=0&M=100"


def test_a_harmless_archive_entry_is_skipped_with_an_info_line(sync, stand_in):
    stand_in.files["sozai4_S/top002/sub1/Thumbs.db"] = b"\xd0\xcf\x11\xe0 thumbnail cache"
    assert material(sync, 2, "top002/sub1", "2") == ""
    for variant in ("sozai4", "sozai4_S"):
        assert files_below(sync.data / variant / "top002" / "sub1") == [
            STAMP, "pict_1.png", "pict_2.png"]
    lines = [line for line in sync.server.log().splitlines() if "Thumbs.db" in line]
    assert len(lines) == 2, lines  # one for each archive
    assert all("skipped archive entry Thumbs.db" in line and "error" not in line
               for line in lines), lines


def test_kind_2_without_a_folder_follows_the_local_sub_levels(sync, stand_in):
    synced(sync)
    assert material(sync, 2, "", "1") == ""
    assert sorted(stand_in.received()) == [
        "/sozai4/top001/sub1/image.zip", "/sozai4/top001/sub2/image.zip",
        "/sozai4/top001/sub3/image.zip", "/sozai4_S/top001/sub1/image.zip",
        "/sozai4_S/top001/sub2/image.zip", "/sozai4_S/top001/sub3/image.zip"]
    assert files_below(sync.data / "sozai4_S" / "top001") == [
        "sub1/" + STAMP, "sub1/pict_1.png", "sub1/pict_2.png",
        "sub2/" + STAMP, "sub2/pict_1.png", "sub2/pict_2.png",
        "sub3/" + STAMP, "sub3/pict_1.png", "sub3/pict_2.png"]


def test_kind_1_fetches_each_picture_and_its_small_variant_into_memory(sync, stand_in, catalogue):
    assert material(sync, 1, "", "1") == ""
    received = stand_in.received()
    assert received[:2] == ["/generic_group_infos/list2?level=1",
                            "/generic_group_infos/images2?level=11"]
    images = [r for r in received if not r.startswith("/generic_group_infos/")]
    large = [r for r in images if r.startswith("/sozai4/")]
    assert large and all(r.endswith(".png") for r in images)
    # Fetched several at a time: each picture and its small variant, once.
    assert sorted(images) == sorted(p for r in large
                                    for p in (r, r.replace("/sozai4/", "/sozai4_S/")))
    assert not (sync.data / "sozai4").exists() and not (sync.data / "sozai4_S").exists()


def test_kind_3_fetches_no_small_variant(sync, stand_in):
    assert material(sync, 3, "", "0") == ""
    received = stand_in.received()
    assert received[0] == "/generic_group_infos/backimages?level=0"
    assert len(received) == 1 + 9
    assert all(r.startswith("/sozai/") for r in received[1:])


@pytest.mark.parametrize("argument, answer", [
    pytest.param("kind=0&folder=top001&value=1", "", id="kind 0"),
    pytest.param("kind=4&folder=top001&value=1", "", id="kind 4"),
    pytest.param("kind=2&folder=top001", None, id="two pieces"),
])
def test_requests_that_send_nothing(sync, stand_in, argument, answer):
    path = "/dbAccess/SOZAI_DOWNLOAD@" + argument
    if answer is None:
        assert exchange(sync.server.port, b"GET " + path.encode() + b" HTTP/1.1\r\n\r\n") == \
            SERVER_ERROR
    else:
        assert sync.ask(path) == answer
    assert stand_in.received() == []


def test_templates_land_in_the_template_folder_once(sync, stand_in, catalogue):
    synced(sync)
    template = catalogue["template_infos"][0]
    product = next(r for r in catalogue["paper_infos"]
                   if r["goodsThumbName"] == template["goodsThumbName"])
    parts_no = product["goodsPartsNo"]
    before = sync.ask("/dbAccess/TEMPLATE_LIST@partsNo=" + parts_no)
    assert "NO_DATA" in before

    assert sync.ask("/dbAccess/TEMPLATE_DOWNLOAD@" + parts_no) == ""
    received = stand_in.received()
    assert received[0] == "/template_infos/list?partsNo=" + parts_no
    assert "/template/T00001.png" in received and "/template/T00001.qx3" in received
    assert (sync.data / "template" / "T00001.qx3").read_bytes() == b'<qx3 template="1"/>\n'
    assert not (sync.data / "template" / "files").exists()
    after = sync.ask("/dbAccess/TEMPLATE_LIST@partsNo=" + parts_no)
    assert str(sync.data / "template" / "T00001.qx3") in after

    stand_in.clear()
    assert sync.ask("/dbAccess/TEMPLATE_DOWNLOAD@" + parts_no) == ""
    assert stand_in.received() == ["/template_infos/list?partsNo=" + parts_no]


def test_a_template_archive_is_unpacked_and_removed(sync, stand_in, catalogue):
    synced(sync)
    template = catalogue["template_infos"][0]
    parts_no = next(r for r in catalogue["paper_infos"]
                    if r["goodsThumbName"] == template["goodsThumbName"])["goodsPartsNo"]
    template["thumbnailUrl"] = "/template/zipped/pack.zip"
    stand_in.files["template/pack.zip"] = zip_bytes({"inner.qx3": b"<qx3/>"})
    assert sync.ask("/dbAccess/TEMPLATE_DOWNLOAD@" + parts_no) == ""
    assert (sync.data / "template" / "inner.qx3").read_bytes() == b"<qx3/>"
    assert not (sync.data / "template" / "pack.zip").exists()


def zip_bytes(entries):
    import io
    import zipfile
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        for name, data in entries.items():
            archive.writestr(zipfile.ZipInfo(name), data)
    return buffer.getvalue()


def test_paths_leaving_the_data_folder_are_refused(sync, stand_in):
    stand_in.files["sozai4_S/evil/ok.png"] = b"ok"
    stand_in.files["sozai4_S/evil/../../../escaped.png"] = b"bad"
    assert material(sync, 2, "evil", "1") == ""
    assert (sync.data / "sozai4" / "evil" / "ok.png").read_bytes() == b"ok"
    assert not (sync.data / "sozai4" / "evil" / "image.zip").exists()

    # A folder that climbs out of the data folder is not downloaded at all.
    assert material(sync, 2, "../../../..", "1") == ""
    home = sync.server.home
    leaked = [p for p in files_below(home) if "escaped" in p or p.endswith("image.zip")]
    assert leaked == []
    assert sync.ask("/dbAccess/SOZAI_TEMP_STATUS_DOWNLOAD") == "V=0&M=100"


@pytest.mark.concurrency
def test_status_routes_follow_a_slow_material_download(sync, stand_in):
    synced(sync)
    # Only the large variants are slow: the small ones end first, so the
    # queue shrinks in steps that the polls can see.
    stand_in.faults["/sozai4/"] = "slow"
    seen = []
    done = threading.Event()

    def poll():
        while not done.is_set():
            for route in ("SOZAI_TEMP_STATUS_DOWNLOAD", "UPDATE_STATUS_DB"):
                seen.append(sync.ask("/dbAccess/" + route))

    poller = threading.Thread(target=poll)
    poller.start()
    try:
        assert material(sync, 2, "", "1") == ""
    finally:
        done.set()
        poller.join()
    numbers = [int(s[2:s.index("&")]) for s in seen]
    assert all(s.endswith("&M=100") for s in seen)
    assert max(numbers) <= 6 and len(set(numbers) - {0}) >= 2
    # The queue fills one entry at a time, then only shrinks while it runs.
    busy = [n for n in numbers if n]
    peak = busy.index(max(busy))
    assert busy[:peak + 1] == sorted(busy[:peak + 1])
    assert busy[peak:] == sorted(busy[peak:], reverse=True)
    assert sync.ask("/dbAccess/SOZAI_TEMP_STATUS_DOWNLOAD") == "V=0&M=100"


@pytest.mark.concurrency
def test_overlapping_updates_and_a_material_request_converge(sync, stand_in, catalogue):
    # A second UPDATE_DB waits for the running update instead of starting
    # another, and a material request during the update takes none of its
    # work away: afterwards every table and picture is there and the version
    # is committed.
    assert sync.ask("/dbAccess/CHK_DB") == "1"
    stand_in.clear()
    stand_in.faults["/paper/thumb/"] = "slow"
    pictures = picture_paths(catalogue)
    answers = {}

    def update(name):
        answers[name] = sync.ask("/dbAccess/UPDATE_DB", timeout=120)
        # Answered only once the run that was going on has finished.
        answers[name + " missing"] = [p for p in pictures
                                      if not (sync.data / p.lstrip("/")).exists()]

    first = threading.Thread(target=update, args=("first",))
    first.start()
    second = threading.Thread(target=update, args=("second",))
    try:
        # The update is downloading product pictures.
        assert wait_for(lambda: any(r.startswith("/paper/thumb/") for r in stand_in.received()),
                        60)
        second.start()
        assert int(sync.ask("/dbAccess/UPDATE_STATUS_DB")[2:].split("&")[0]) > 0
        assert material(sync, 2, "top002/sub2", "2") == ""
    finally:
        first.join(120)
        if second.ident is not None:
            second.join(120)
    assert answers == {"first": "", "first missing": [], "second": "", "second missing": []}
    received = stand_in.received()
    assert sum("/chkUpdate?" in r for r in received) == len(sample_catalogue.SERVER_TABLES)
    assert files_below(sync.data / "sozai4_S" / "top002" / "sub2") == [
        STAMP, "pict_1.png", "pict_2.png"]
    assert not list((sync.data / "sozai4").rglob("image.zip"))
    for route in ("UPDATE_STATUS_DB", "SOZAI_TEMP_STATUS_DOWNLOAD"):
        assert sync.ask("/dbAccess/" + route) == "V=0&M=100"
    for table in sample_catalogue.SERVER_TABLES:
        assert sync.rows(table) == expected_rows(catalogue, table), table
    for path in pictures:
        assert (sync.data / path.lstrip("/")).read_bytes() == stand_in.file_bytes(path), path
    assert sync.version() == "DBVER=20\r\n"
    assert sync.ask("/dbAccess/CHK_DB") == "0"


def test_downloaded_materials_show_in_the_picture_queries(sync, stand_in):
    synced(sync)
    assert "pict_1.png" not in sync.ask("/dbAccess/TOP_GROUP@images&topLevelId=1")
    assert "pict_1.png" not in sync.ask("/dbAccess/GENERIC_GROUP@images&subLevel=1")
    assert material(sync, 2, "top001", "1") == ""
    assert material(sync, 2, GENERIC + "/gen01", "0") == ""
    top = sync.ask("/dbAccess/TOP_GROUP@images&topLevelId=1")
    generic = sync.ask("/dbAccess/GENERIC_GROUP@images&subLevel=1")
    for answer, folder in ((top, "top001"), (generic, GENERIC + "/gen01")):
        for n in (1, 2, 3):
            assert str(sync.data / "sozai4_S" / folder / ("pict_%d.png" % n)) in answer, answer
