"""Picture groups, picture lists and templates seen from outside: answer bytes
from a small catalogue, and the refusals of client-written SQL, of unsafe keys
and of paths leaving the data folder."""
import sqlite3
from urllib.parse import quote

import pytest

from conftest import SERVER_ERROR, exchange


SCHEMA = """
CREATE TABLE paper_infos (id INTEGER PRIMARY KEY, searchSelNo TEXT, goodsPartsNo TEXT,
  goodsThumbName TEXT);
CREATE TABLE paper_relation2s (id INTEGER PRIMARY KEY, kbn INTEGER, goodsPartsNo TEXT,
  itemId INTEGER);
CREATE TABLE pict_group_top_level_infos (id INTEGER PRIMARY KEY, topLevelId INTEGER,
  paperGroupId INTEGER, name TEXT, folder TEXT, thumbnailUrl TEXT, thumbnailHitUrl TEXT,
  thumbnailUpUrl TEXT, thumbnailDisUrl TEXT, thumbnailClickUrl TEXT);
CREATE TABLE pict_group_sub_level_infos (id INTEGER PRIMARY KEY, topLevelId INTEGER,
  subLevelId INTEGER, name TEXT, folder TEXT);
CREATE TABLE generic_group_infos (id INTEGER PRIMARY KEY, groupInfoId INTEGER, kbn INTEGER,
  level TEXT, subLevel TEXT, hasSubLevel TEXT, name TEXT, folder TEXT, thumbnailUrl TEXT,
  thumbnailHitUrl TEXT, thumbnailUpUrl TEXT, thumbnailDisUrl TEXT, thumbnailClickUrl TEXT);
CREATE TABLE logs (id INTEGER PRIMARY KEY, mac_address TEXT, event_type INTEGER,
  event_contents1 TEXT, event_contents2 TEXT, event_contents3 TEXT, create_at TEXT,
  update_at TEXT);
CREATE TABLE template_infos (id INTEGER PRIMARY KEY, templateInfoId INTEGER,
  templateName TEXT, goodsThumbName TEXT, templateUrl TEXT, thumbnailUrl TEXT);
CREATE TABLE pict_generic_history_infos (id INTEGER, topLevelId INTEGER,
  thumbUrl TEXT PRIMARY KEY, imageUrl TEXT);
INSERT INTO paper_infos VALUES (1, 'SEL-1', 'P-100', 'thumbA');
INSERT INTO paper_relation2s VALUES (1, 3, 'P-100', 10);
INSERT INTO pict_group_top_level_infos VALUES
  (1, 2, 10, '花 & <葉>', 'flower', '/t/2.png', NULL, NULL, NULL, NULL);
INSERT INTO pict_group_sub_level_infos VALUES (1, 3, 1, 'あ', 'flower');
INSERT INTO generic_group_infos VALUES
  (1, 101, 4, '0', '1', '1', '季節', 'season', NULL, NULL, NULL, NULL, NULL);
INSERT INTO logs VALUES (1, 'aa', 3, '/secret.png', '', 'X', 'T', 'T');
INSERT INTO template_infos VALUES (1, 7, 'ラベル', 'thumbA', '/tpl/t7.qx3', '/tpl/none.png');
INSERT INTO pict_generic_history_infos VALUES (0, 0, '/h/1t.png', '/h/1.png');
"""


def ok(body):
    return (b"HTTP/1.1 200 OK\r\nAccess-Control-Allow-Origin: *\r\n"
            b"Content-Type: text/plain\r\nContent-Length: %d\r\n\r\n" % len(body)) + body


def get(server, path):
    target = quote(path, safe="/@&=,;()'<>*")
    return exchange(server.port, b"GET " + target.encode() + b" HTTP/1.1\r\n\r\n")


@pytest.fixture
def catalogue(server):
    data = server.data_home / "jp.co.tavrim.Pelloran.V3" / "data"
    (data / "sozai4_S" / "flower").mkdir(parents=True)
    (data / "sozai4_S" / "flower" / "a.png").write_bytes(b"png")
    (data / "template").mkdir()
    (data / "template" / "t7.qx3").write_bytes(b"\x00\xffAb")
    (server.home / "secret").write_text("s")
    db = sqlite3.connect(data / "qkprint.db")
    db.executescript(SCHEMA)
    db.commit()
    db.close()
    server.start()
    return data


def test_answers_from_the_catalogue(server, catalogue):
    flower = ("  <pictInfo>\n    <pno>0</pno>\n    <thumbUrl>{0}</thumbUrl>\n"
              "    <imageUrl>{0}</imageUrl>\n  </pictInfo>\n").format(
                  str(catalogue / "sozai4_S" / "flower" / "a.png"))
    cases = [
        ("/dbAccess/TOP_GROUP@list&selNo=SEL-1",
         "<pictGroupTopLevelInfos>\n  <topLevelInfo>\n    <pno>1</pno>\n"
         "    <topLevelId>2</topLevelId>\n    <name>花 & <葉></name>\n"
         "    <folder>flower</folder>\n    <thumbnail>/t/2.png</thumbnail>\n"
         "</topLevelInfo>\n</pictGroupTopLevelInfos>\n"),
        ("/dbAccess/SUB_GROUP@list&topLevelId = 3",
         "<pictGroupSubLevelInfos>\n  <subLevelInfo>\n    <pno>1</pno>\n"
         "    <topLevelId>3</topLevelId>\n    <subLevelId>1</subLevelId>\n"
         "    <name>あ</name>\n    <folder>flower</folder>\n</subLevelInfo>\n"
         "</pictGroupSubLevelInfos>\n"),
        ("/dbAccess/TOP_GROUP@images&topLevelId=2", "<pictInfoList>\n" + flower +
         "</pictInfoList>\n"),
        ("/dbAccess/GENERIC_GROUP@list&name=季節",
         "<genGroupList>\n  <genGroupInfo>\n    <pno>0</pno>\n    <level>0</level>\n"
         "    <slevel>1</slevel>\n    <hasSubLevel>1</hasSubLevel>\n    <name>季節</name>\n"
         "</genGroupInfo>\n  <genGroupInfo>\n    <pno>1</pno>\n    <level>0</level>\n"
         "    <slevel>99</slevel>\n    <hasSubLevel>0</hasSubLevel>\n"
         "    <name>最近使った画像</name>\n"
         "    <thumbnail>/pictGroup/tab_recently_1.png</thumbnail>\n"
         "    <thumbnailH>/pictGroup/tab_recently_1_h.png</thumbnailH>\n"
         "    <thumbnailP>/pictGroup/tab_recently_1_p.png</thumbnailP>\n"
         "    <thumbnailS>/pictGroup/tab_recently_2.png</thumbnailS>\n"
         "  </genGroupInfo>\n</genGroupList>\n"),
        ("/dbAccess/TEMPLATE_LIST@partsNo=P-100",
         "<templateList>\n  <templateInfo>\n    <pno>1</pno>\n"
         "    <templateInfoId>7</templateInfoId>\n    <templateName>ラベル</templateName>\n"
         "    <goodsThumbName>thumbA</goodsThumbName>\n"
         "    <templateUrl>%s</templateUrl>\n    <thumbnailUrl>NO_DATA</thumbnailUrl>\n"
         "</templateInfo>\n</templateList>\n" % (catalogue / "template" / "t7.qx3")),
        ("/dbAccess/TEMPLATE_DATA@template/t7.qx3", "00ff4162"),
        ("/dbAccess/PICT_RECENT@topLevelId = 0",
         "<pictInfoList>\n  <pictInfo>\n    <pno>99</pno>\n    <thumbUrl>/h/1t.png</thumbUrl>\n"
         "    <imageUrl>/h/1.png</imageUrl>\n  </pictInfo>\n</pictInfoList>\n"),
        ("/dbAccess/GENERIC_GROUP@nothing&x=1", ""),
    ]
    for path, body in cases:
        assert get(server, path) == ok(body.encode()), path


@pytest.mark.parametrize("path, body", [
    pytest.param("/dbAccess/SUB_GROUP@list&1=1 UNION SELECT mac_address, event_type, "
                 "event_contents1, id FROM logs",
                 "<pictGroupSubLevelInfos>\n</pictGroupSubLevelInfos>\n", id="sub union"),
    pytest.param("/dbAccess/SUB_GROUP@list&topLevelId = 3; DELETE FROM logs",
                 "<pictGroupSubLevelInfos>\n</pictGroupSubLevelInfos>\n", id="sub second"),
    pytest.param("/dbAccess/PICT_RECENT@1=1 UNION SELECT event_contents1, mac_address FROM logs",
                 "<pictInfoList>\n</pictInfoList>\n", id="history union"),
    pytest.param("/dbAccess/PICT_RECENT@1=1; DROP TABLE logs",
                 "<pictInfoList>\n</pictInfoList>\n", id="history second"),
    pytest.param("/dbAccess/PICT_RECENT@topLevelId = (SELECT count(*) FROM logs)",
                 "<pictInfoList>\n</pictInfoList>\n", id="history subquery"),
    pytest.param("/dbAccess/TOP_GROUP@images&topLevelId=2 OR 1=1",
                 "<pictInfoList>\n</pictInfoList>\n", id="value stays a value"),
    pytest.param("/dbAccess/TOP_GROUP@images&1=1 OR topLevelId=2",
                 "<pictInfoList>\n</pictInfoList>\n", id="key no identifier"),
    pytest.param("/dbAccess/GENERIC_GROUP@list&level IS NOT NULL OR name=x",
                 "<genGroupList>\n</genGroupList>\n", id="list key no identifier"),
    pytest.param("/dbAccess/TEMPLATE_DATA@/etc/passwd", "", id="absolute path out"),
    pytest.param("/dbAccess/TEMPLATE_DATA@../../x", "", id="dot-dot out"),
    pytest.param("/dbAccess/TEMPLATE_DATA@../../../../secret", "", id="dot-dot to a file"),
])
def test_refusals_answer_the_empty_document(server, catalogue, path, body):
    assert get(server, path) == ok(body.encode())
    db = sqlite3.connect(catalogue / "qkprint.db")
    assert db.execute("SELECT count(*) FROM logs").fetchone() == (1,)
    db.close()


@pytest.mark.parametrize("path", [
    "/dbAccess/TOP_GROUP@list",
    "/dbAccess/TOP_GROUP@list&SEL-1",
    "/dbAccess/SUB_GROUP@images&topLevelId",
    "/dbAccess/SUB_GROUP@list",
    "/dbAccess/GENERIC_GROUP@images&level",
    "/dbAccess/GENERIC_GROUP@backlist",
    "/dbAccess/TEMPLATE_LIST@P-100",
    "/dbAccess/TEMPLATE_DATA",
    "/dbAccess/PICT_RECENT",
])
def test_malformed_argument_texts_answer_the_server_error(server, catalogue, path):
    assert get(server, path) == SERVER_ERROR
    assert get(server, "/dbAccess/GENERIC_GROUP@nothing&x=1") == ok(b"")
