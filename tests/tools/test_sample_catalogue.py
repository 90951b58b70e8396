"""The sample-catalogue generator: deterministic, and in step with the
server's own schema."""
import os
import sqlite3
import subprocess
import sys

import pytest

TOOLS = os.path.join(os.path.dirname(__file__), "..", "..", "tools")
sys.path.insert(0, TOOLS)
import sample_catalogue  # noqa: E402


def schema_tool():
    path = os.environ.get("QUILLBOX_SCHEMA_TOOL")
    if not path:
        pytest.skip("QUILLBOX_SCHEMA_TOOL names no catalogue_schema binary")
    return path


def test_same_seed_gives_the_same_records():
    assert sample_catalogue.generate(7, 300, "0-1-2-3-4-5") == \
        sample_catalogue.generate(7, 300, "0-1-2-3-4-5")
    assert sample_catalogue.generate(7, 300) != sample_catalogue.generate(8, 300)


def test_sizes_follow_the_product_count():
    small = sample_catalogue.generate(1, 50)
    large = sample_catalogue.generate(1, 2000)
    assert len(small["paper_infos"]) == 50
    assert len(large["paper_infos"]) == 2000
    assert len(large["pict_group_top_level_infos"]) > len(small["pict_group_top_level_infos"])
    # The rows the queries single out are there.
    assert any(r["paperSizeId"] == 13 for r in small["paper_size_infos"])
    assert any(r["searchSelNo"] == sample_catalogue.JAN_MODEL for r in small["paper_infos"])
    assert any("&" in r["name"] for r in small["categories"])


def test_database_uses_the_server_schema(tmp_path):
    folder = tmp_path / "data"
    catalogue = sample_catalogue.generate(3, 120, "0-1A-2B-3C-4D-5E")
    sample_catalogue.write_data_folder(str(folder), catalogue, schema_tool())
    db = sqlite3.connect(folder / "qkprint.db")
    for table, columns in sample_catalogue.COLUMNS.items():
        stored = [row[1] for row in db.execute("PRAGMA table_info(%s)" % table)]
        assert stored == columns, table
        count = db.execute("SELECT count(*) FROM %s" % table).fetchone()[0]
        assert count == len(catalogue[table]), table
    tables = {row[0] for row in db.execute("SELECT name FROM sqlite_master WHERE type='table'")}
    assert len(tables) == 14
    assert (folder / "sozai4_S" / "top001" / "pict_1.png").read_bytes().startswith(b"\x89PNG")


def test_command_line_never_overwrites_a_catalogue(tmp_path):
    folder = tmp_path / "data"
    folder.mkdir()
    (folder / "qkprint.db").write_bytes(b"keep")
    result = subprocess.run([sys.executable, os.path.join(TOOLS, "sample_catalogue.py"),
                             "--data-folder", str(folder), "--schema-tool", schema_tool()],
                            capture_output=True)
    assert result.returncode != 0
    assert (folder / "qkprint.db").read_bytes() == b"keep"
