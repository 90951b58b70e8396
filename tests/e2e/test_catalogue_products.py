"""Catalogue lists, product queries, drawing files, usage log and picture
history seen from outside: answer bytes from a small catalogue, the refusals
of unsafe keys and paths, and malformed argument texts."""
import sqlite3
import urllib.parse

import pytest

from conftest import SERVER_ERROR, exchange


CATALOGUE = """
INSERT INTO categories (id, categoryId, name, thumbnail) VALUES
  (1, 1, 'ラベル & <封筒>', 'c1.png'), (2, 13, 'Thirteen', NULL);
INSERT INTO paper_size_infos (id, paperSizeId, name, sizeH, sizeW) VALUES
  (1, 1, 'A4', 297, 210), (2, 13, 'Hidden', 1, 1);
INSERT INTO paper_infos (id, paperInfoId, category_id, goods, goodsPartsNo, searchNo, searchSelNo,
  goodsBackFront, paperSizeInfo_id) VALUES
  (1, 101, 1, 'ラベル&<A>', 'GP-1', 'O''Neil', 'SEL-B', '表', 1);
INSERT INTO paper_infos (id, paperInfoId, category_id, searchSelNo, goodsBackFront,
  paperSizeInfo_id, jan_code) VALUES (2, 102, 13, 'SEL-A', '裏', 1, 'J2');
"""

TAIL = ("    <PAPER_GOODS_PARTS_SIZE>A4</PAPER_GOODS_PARTS_SIZE>\n"
        "    <PAPER_GOODS_PARTS_H>297.0</PAPER_GOODS_PARTS_H>\n"
        "    <PAPER_GOODS_PARTS_W>210.0</PAPER_GOODS_PARTS_W>\n"
        "    <PAPER_GOODS_LOCATION_TYPE></PAPER_GOODS_LOCATION_TYPE>\n")

GOODS_101 = ("  <PAPER_GOODS>\n"
             "    <PAPER_GOODS_PNO>101</PAPER_GOODS_PNO>\n"
             "    <PAPER_GOODS_CATEGORY>1</PAPER_GOODS_CATEGORY>\n"
             "    <PAPER_GOODS_NAME>ラベル&<A></PAPER_GOODS_NAME>\n"
             "    <PAPER_GOODS_PART_NUMBER>GP-1</PAPER_GOODS_PART_NUMBER>\n"
             "    <PAPER_GOODS_SEARCH_NUMBER>O'Neil</PAPER_GOODS_SEARCH_NUMBER>\n"
             "    <PAPER_GOODS_SEARCH_PART_NUMBER>SEL-B</PAPER_GOODS_SEARCH_PART_NUMBER>\n"
             "    <PAPER_GOODS_BACK_FRONT>表</PAPER_GOODS_BACK_FRONT>\n"
             + TAIL +
             "    <PAPER_GOODS_JAN_CODE></PAPER_GOODS_JAN_CODE>\n"
             "  </PAPER_GOODS>\n")

GOODS_102 = ("  <PAPER_GOODS>\n"
             "    <PAPER_GOODS_PNO>102</PAPER_GOODS_PNO>\n"
             "    <PAPER_GOODS_CATEGORY>13</PAPER_GOODS_CATEGORY>\n"
             "    <PAPER_GOODS_SEARCH_PART_NUMBER>SEL-A</PAPER_GOODS_SEARCH_PART_NUMBER>\n"
             "    <PAPER_GOODS_BACK_FRONT>裏</PAPER_GOODS_BACK_FRONT>\n"
             + TAIL +
             "    <PAPER_GOODS_JAN_CODE>J2</PAPER_GOODS_JAN_CODE>\n"
             "  </PAPER_GOODS>\n")

DETAIL_101 = ("<PAPER_INFO>\n"
              "  <PAPER_GOODS>\n"
              "    <PAPER_GOODS_NAME>ラベル&<A></PAPER_GOODS_NAME>\n"
              "    <PAPER_GOODS_PART_NUMBER>GP-1</PAPER_GOODS_PART_NUMBER>\n"
              "    <PAPER_GOODS_SEARCH_NUMBER>O'Neil</PAPER_GOODS_SEARCH_NUMBER>\n"
              "  <PAPER_GOODS_PARTS>\n"
              "    <PAPER_GOODS_SEARCH_PART_NUMBER>SEL-B</PAPER_GOODS_SEARCH_PART_NUMBER>\n"
              "    <PAPER_GOODS_BACK_FRONT>表</PAPER_GOODS_BACK_FRONT>\n"
              + TAIL +
              "    <PAPER_GOODS_PARTS_URL></PAPER_GOODS_PARTS_URL>\n"
              "    <PAPER_GOODS_JAN_CODE></PAPER_GOODS_JAN_CODE>\n"
              "  </PAPER_GOODS_PARTS>\n"
              "    <PAPER_GOODS_NUMBER>1</PAPER_GOODS_NUMBER>\n"
              "  </PAPER_GOODS>\n"
              "</PAPER_INFO>\n")

DETAIL_NONE = ("<PAPER_INFO>\n  <PAPER_GOODS>\n    <PAPER_GOODS_NUMBER>0</PAPER_GOODS_NUMBER>\n"
               "  </PAPER_GOODS>\n</PAPER_INFO>\n")

EMPTY_LIST = "<PAPER_INFO>\n</PAPER_INFO>\n"


def ok(body):
    data = body.encode() if isinstance(body, str) else body
    return (b"HTTP/1.1 200 OK\r\nAccess-Control-Allow-Origin: *\r\n"
            b"Content-Type: text/plain\r\nContent-Length: %d\r\n\r\n" % len(data)) + data


def get(server, path):
    target = urllib.parse.quote(path, safe="/@&=%'")
    return exchange(server.port, b"GET " + target.encode() + b" HTTP/1.1\r\n\r\n")


def data_folder(server):
    return server.data_home / "jp.co.tavrim.Pelloran.V3" / "data"


def database(server):
    return sqlite3.connect(data_folder(server) / "qkprint.db")


@pytest.fixture
def catalogue(server):
    """A started server whose catalogue was created by DB_URL and filled."""
    server.start()
    assert get(server, "/dbAccess/DB_URL") == ok(str(server.data_home))
    with database(server) as db:
        db.executescript(CATALOGUE)
    folder = data_folder(server)
    (folder / "svg").mkdir()
    (folder / "svg" / "f1.svg").write_bytes("<svg>\r\n  <g>表</g>\n</svg>\n".encode())
    (server.data_home / "secret.txt").write_text("secret")
    return server


def test_db_url_creates_the_data_folder_and_every_table_each_time(server):
    server.start()
    assert not data_folder(server).exists()
    assert get(server, "/dbAccess/DB_URL") == ok(str(server.data_home))
    with database(server) as db:
        db.execute("DROP TABLE logs")
    assert get(server, "/dbAccess/DB_URL") == ok(str(server.data_home))
    with database(server) as db:
        # The product search index keeps its own tables beside the fourteen.
        count = db.execute("SELECT count(*) FROM sqlite_master WHERE type = 'table' "
                           "AND name NOT GLOB 'paper_infos_search*'").fetchone()
    assert count == (14,)


@pytest.mark.parametrize("path, body", [
    pytest.param("/dbAccess/LIST&C",
                 "<categoryList>\n"
                 "  <categoryInfo>\n    <pno>1</pno>\n    <category>1</category>\n"
                 "    <label>ラベル & <封筒></label>\n    <thumbnail>c1.png</thumbnail>\n"
                 "    <image>c1.png</image>\n  </categoryInfo>\n"
                 "  <categoryInfo>\n    <pno>2</pno>\n    <category>13</category>\n"
                 "    <label>Thirteen</label>\n  </categoryInfo>\n"
                 "</categoryList>\n", id="categories"),
    pytest.param("/dbAccess/LIST_P&C&P",
                 "<paperSize>\n  <sizeInfo>\n    <id>1</id>\n    <name>A4</name>\n"
                 "    <sizeH>297.0</sizeH>\n    <sizeW>210.0</sizeW>\n  </sizeInfo>\n"
                 "</paperSize>\n", id="paper sizes without 13"),
    pytest.param("/dbAccess/LIST", "", id="list without a marker"),
    pytest.param("/dbAccess/SEARCH@category_id=1", "<PAPER_INFO>\n" + GOODS_102 + GOODS_101
                 + "</PAPER_INFO>\n", id="search admits 13"),
    pytest.param("/dbAccess/SEARCH@usage=ラベル", "<PAPER_INFO>\n" + GOODS_101
                 + "</PAPER_INFO>\n", id="keyword in Japanese"),
    pytest.param("/dbAccess/SEARCH@searchNo=O'Neil", "<PAPER_INFO>\n" + GOODS_101
                 + "</PAPER_INFO>\n", id="quoted value finds its row"),
    pytest.param("/dbAccess/DETAIL@goodsBackFront=front", DETAIL_101, id="detail front"),
    pytest.param("/dbAccess/DETAIL@goodsPartsNo=none", DETAIL_NONE, id="detail without rows"),
    pytest.param("/dbAccess/RECENT@mac_address=x", EMPTY_LIST, id="nothing used yet"),
    pytest.param("/dbAccess/SVG_DATA@/svg/f1.svg", "<svg>  <g>表</g></svg>", id="drawing file"),
    pytest.param("/dbAccess/SVG_DATA@/svg/none.svg", "", id="missing drawing file"),
    # Refused: keys that are no plain identifiers, paths out of the data folder.
    pytest.param("/dbAccess/SEARCH@1=1 OR 1", EMPTY_LIST, id="refused expression key"),
    pytest.param("/dbAccess/SEARCH@category_id=1) UNION SELECT 1--",
                 EMPTY_LIST, id="value cannot leave its parameter"),
    pytest.param("/dbAccess/DETAIL@goods IS NOT NULL OR 1=1", DETAIL_NONE,
                 id="refused detail key"),
    pytest.param("/dbAccess/RECENT@mac_address&x OR 1=1", EMPTY_LIST, id="refused recent key"),
    pytest.param("/dbAccess/SVG_DATA@../../secret.txt", "", id="dot-dot out"),
    pytest.param("/dbAccess/SVG_DATA@/../../../secret.txt", "", id="slash dot-dot out"),
    pytest.param("/dbAccess/SVG_DATA@/etc/passwd", "", id="absolute name stays inside"),
])
def test_answers_are_byte_exact(catalogue, path, body):
    assert get(catalogue, path) == ok(body)


@pytest.mark.parametrize("path", [
    "/dbAccess/SEARCH", "/dbAccess/SEARCH@category_id", "/dbAccess/SEARCH@a=1&",
    "/dbAccess/DETAIL", "/dbAccess/DETAIL@goodsPartsNo=GP-1&&x=1",
    "/dbAccess/RECENT", "/dbAccess/RECENT@category_id", "/dbAccess/SVG_DATA",
    "/dbAccess/LOG", "/dbAccess/PICT_HISTORY",
])
def test_malformed_argument_texts_answer_the_server_error(catalogue, path):
    assert get(catalogue, path) == SERVER_ERROR
    assert get(catalogue, "/dbAccess/SEARCH@category_id=13") == ok(
        "<PAPER_INFO>\n" + GOODS_102 + "</PAPER_INFO>\n")


def test_logged_use_shows_in_the_recent_products(catalogue):
    for used in ("p=SEL-B&t=2024-01-01 10:00:00", "p=SEL-A&t=2024-01-01 11:00:00"):
        assert get(catalogue, "/dbAccess/LOG@" + used.replace(" ", "%20")) == ok("")
    # A missing value writes nothing and still answers the empty success.
    assert get(catalogue, "/dbAccess/LOG@p=SEL-B") == ok("")
    assert get(catalogue, "/dbAccess/LOG@p=O'Neil&t=it's") == ok("")
    with database(catalogue) as db:
        rows = db.execute("SELECT event_type, event_contents1, event_contents2, "
                          "event_contents3, create_at, update_at FROM logs ORDER BY id").fetchall()
    assert rows == [(3, "", "", "SEL-B", "2024-01-01 10:00:00", "2024-01-01 10:00:00"),
                    (3, "", "", "SEL-A", "2024-01-01 11:00:00", "2024-01-01 11:00:00"),
                    (3, "", "", "O'Neil", "it's", "it's")]
    assert get(catalogue, "/dbAccess/RECENT@mac_address") == ok(
        "<PAPER_INFO>\n" + GOODS_102 + GOODS_101 + "</PAPER_INFO>\n")


def test_picture_history_keeps_the_first_image(catalogue):
    for argument in ("t=/th/a'1.png&i=/im/a.png", "t=/th/a'1.png&i=/im/b.png", "t=/th/b.png"):
        assert get(catalogue, "/dbAccess/PICT_HISTORY@" + argument) == ok("")
    with database(catalogue) as db:
        rows = db.execute("SELECT id, topLevelId, thumbUrl, imageUrl "
                          "FROM pict_generic_history_infos").fetchall()
    assert rows == [(0, 0, "/th/a'1.png", "/im/a.png")]


def test_check_db_asks_for_a_refresh_when_the_model_row_lacks_its_code(catalogue):
    assert get(catalogue, "/dbAccess/CHK_DB") == ok("0")
    with database(catalogue) as db:
        db.execute("INSERT INTO paper_infos (id, searchSelNo, goodsBackFront) "
                   "VALUES (9, 'ZZ-KQW7PA', 'なし')")
    assert get(catalogue, "/dbAccess/CHK_DB") == ok("1")
