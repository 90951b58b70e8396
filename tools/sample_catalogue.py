#!/usr/bin/env python3
"""A realistic sample catalogue, deterministic from a seed.

One description of the records (`generate`) feeds everything that needs a
catalogue: a local database and its picture folders for trying the server and
for benchmarks (`write_database`, `write_data_folder`), and the stand-in
catalogue server, which serves the same records as the maker's server would.

    sample_catalogue.py --data-folder DIR [--products N] [--seed S]
                        [--schema-tool PATH] [--mac TEXT]

writes DIR/qkprint.db (created with the server's own schema, printed by the
catalogue_schema tool) and the picture, drawing and template files below DIR.
"""
import argparse
import os
import random
import sqlite3
import subprocess
import sys

from pngfile import png

# Column order of every table the generator fills (the server's schema).
COLUMNS = {
    "kbn_infos": ["id", "kbn", "kbnId", "name", "create_at", "update_at"],
    "categories": ["id", "categoryId", "name", "thumbnail", "create_at", "update_at"],
    "paper_size_infos": ["id", "paperSizeId", "name", "etcId", "sizeH", "sizeW", "create_at",
                         "update_at"],
    "paper_infos": [
        "id", "paperInfoId", "category_id", "goods", "goodsPartsNo", "searchNo", "searchSelNo",
        "goodsBackFront", "goodsAllEdit", "goodsDisplayLabel", "goodsThumbName", "goodsThumbName2",
        "goodsPictFileName", "goodsPictPartsLabel", "goodsPictPartsCut", "goodsPictPartsBending",
        "goodsPictPartsDesign1", "goodsPictPartsDesign2", "goodsPictMask", "goodsType",
        "goodsLabel", "goodsDrawSize", "paperSizeInfo_id", "templateInfo_id", "paperFieldsNo",
        "paperLocationType", "paperFieldsHNo", "paperFieldsWNo", "paperOnePieceH",
        "paperOnePieceW", "paperUnfiliedSpaceU", "paperUnfiliedSpaceD", "paperUnfiliedSpaceL",
        "paperUnfiliedSpaceR", "paperUnfiliedSpaceUD", "paperUnfiliedSpaceLR", "partsUrl",
        "create_at", "update_at", "jan_code"],
    "paper_group_infos": ["id", "paperGroupId", "name", "create_at", "update_at"],
    "pict_group_infos": ["id", "pictGroupId", "pictCategoryId", "paperGroupId", "folder",
                         "thumbnailUrl", "thumbnailHitUrl", "thumbnailUpUrl", "thumbnailDisUrl",
                         "thumbnailClickUrl", "create_at", "update_at"],
    "generic_group_infos": ["id", "groupInfoId", "kbn", "level", "subLevel", "hasSubLevel", "name",
                            "folder", "thumbnailUrl", "thumbnailHitUrl", "thumbnailUpUrl",
                            "thumbnailDisUrl", "thumbnailClickUrl", "create_at", "update_at"],
    "paper_relation2s": ["id", "kbn", "goodsPartsNo", "itemId", "create_at", "update_at"],
    "template_infos": ["id", "templateInfoId", "templateName", "goodsThumbName", "templateUrl",
                       "thumbnailUrl", "create_at", "update_at"],
    "pict_group_top_level_infos": ["id", "topLevelId", "paperGroupId", "name", "folder",
                                   "thumbnailUrl", "thumbnailHitUrl", "thumbnailUpUrl",
                                   "thumbnailDisUrl", "thumbnailClickUrl", "create_at",
                                   "update_at"],
    "pict_group_sub_level_infos": ["id", "topLevelId", "subLevelId", "name", "folder",
                                   "create_at", "update_at"],
    "logs": ["id", "mac_address", "event_type", "event_contents1", "event_contents2",
             "event_contents3", "create_at", "update_at"],
    "pict_generic_history_infos": ["id", "topLevelId", "thumbUrl", "imageUrl"],
}

# The tables the catalogue server serves (the client-side tables are not).
SERVER_TABLES = ["kbn_infos", "categories", "paper_size_infos", "paper_infos",
                 "paper_group_infos", "pict_group_infos", "generic_group_infos",
                 "paper_relation2s", "template_infos", "pict_group_top_level_infos",
                 "pict_group_sub_level_infos"]

GENERIC_FOLDER = "\u6c4e\u7528\u7d20\u6750"  # the general-material folder name

CATEGORIES = [
    "\u5b9b\u540d\u30e9\u30d9\u30eb",            # address labels
    "\u540d\u523a & \u30ab\u30fc\u30c9",          # cards, with an ampersand
    "CD/DVD\u30e9\u30d9\u30eb",
    "\u30a4\u30f3\u30c7\u30c3\u30af\u30b9",       # index tabs
    "\u30cd\u30fc\u30e0\u30b7\u30fc\u30eb",       # name stickers
    "\u5199\u771f\u7528\u7d19",                   # photo paper
    "\u30d5\u30a1\u30a4\u30eb\u7528 <\u80cc\u8868\u7d19>",  # file spines, with "<"
    "\u30ae\u30d5\u30c8\u30bf\u30b0",             # gift tags
    "\u8868\u793a\u7528\u30e9\u30d9\u30eb",       # display labels
    "\u30a2\u30a4\u30ed\u30f3\u30d7\u30ea\u30f3\u30c8",  # iron-on
    "\u30de\u30b0\u30cd\u30c3\u30c8\u30b7\u30fc\u30c8",  # magnet sheets
    "\u30ab\u30e9\u30fc\u30e9\u30d9\u30eb",       # colour labels
]

PAPER_SIZES = [  # paperSizeId, name, sizeH, sizeW
    (1, "A4", 297.0, 210.0),
    (2, "B5", 257.0, 182.0),
    (3, "A5", 210.0, 148.0),
    (4, "\u306f\u304c\u304d", 148.0, 100.0),  # postcard
    (5, "L\u5224", 127.0, 89.0),
    (6, "B4", 364.0, 257.0),
    (7, "A3", 420.0, 297.0),
    (8, "\u540d\u523a", 91.0, 55.0),
    (13, "\u30ed\u30fc\u30eb", 0.0, 0.0),      # never listed
]

BACK_FRONT = ["\u8868", "\u88cf", "\u306a\u3057"]  # front, back, none
ALL_EDIT = ["\u5168\u4f53", "\u500b\u5225", "\u306a\u3057"]  # whole, parts, none
WORDS = ["\u30b7\u30f3\u30d7\u30eb", "\u30de\u30eb\u30c1", "\u30d5\u30c1\u306a\u3057",
         "\u5f37\u7c98\u7740", "\u30ab\u30e9\u30fc", "\u30df\u30cb", "\u30b9\u30bf\u30f3\u30c0\u30fc\u30c9",
         "\u9632\u6c34", "\u30af\u30e9\u30d5\u30c8", "\u900f\u660e"]

# The product that the server's jan_code check looks at.
JAN_MODEL = "ZZ-KQW7PA"


def timestamp(rng, year_from=2013, year_to=2024):
    return "%04d-%02d-%02d %02d:%02d:%02d" % (
        rng.randint(year_from, year_to), rng.randint(1, 12), rng.randint(1, 28),
        rng.randint(0, 23), rng.randint(0, 59), rng.randint(0, 59))


def generate(seed=1, products=200, mac=""):
    """The records of a whole catalogue: {table: [row dict in COLUMNS order]}.

    `products` is the number of product part rows (paper_infos); the other
    tables grow with it. `mac` is the machine identity the usage log rows name.
    """
    rng = random.Random(seed)
    t = {name: [] for name in COLUMNS}

    def add(table, **values):
        t[table].append({c: values.get(c) for c in COLUMNS[table]})

    for i, name in enumerate(["\u7528\u7d19", "\u7d20\u6750", "\u95a2\u9023"], start=1):
        add("kbn_infos", id=i, kbn=i, kbnId=i, name=name, create_at=timestamp(rng),
            update_at=timestamp(rng))

    for i, name in enumerate(CATEGORIES, start=1):
        add("categories", id=i, categoryId=i, name=name,
            thumbnail=None if i == 12 else "/category/cat_%02d.png" % i,
            create_at=timestamp(rng), update_at=timestamp(rng))

    for i, (size_id, name, h, w) in enumerate(PAPER_SIZES, start=1):
        add("paper_size_infos", id=i, paperSizeId=size_id, name=name, etcId=0, sizeH=h, sizeW=w,
            create_at=timestamp(rng), update_at=timestamp(rng))

    groups = max(4, products // 50)
    for g in range(1, groups + 1):
        add("paper_group_infos", id=g, paperGroupId=g,
            name="\u7528\u7d19\u30b0\u30eb\u30fc\u30d7 %d" % g,
            create_at=timestamp(rng), update_at=timestamp(rng))

    # Products: models of one to three part rows sharing a selection number.
    part_rows = []
    row_id = 0
    model = 0
    while row_id < products:
        model += 1
        sel = JAN_MODEL if model == 1 else "ZZ-%s%04d" % ("ABCDEFGHJK"[model % 10], model)
        category = rng.randint(1, len(CATEGORIES))
        size = rng.choice(PAPER_SIZES[:-1])[0]
        goods = "%s %s %d\u9762" % (CATEGORIES[category - 1].split()[0], rng.choice(WORDS),
                                    rng.choice([1, 2, 4, 6, 8, 10, 12, 18, 24, 44]))
        thumb = "/paper/thumb/%s.png" % sel
        for part in range(rng.randint(1, 3)):
            if row_id >= products:
                break
            row_id += 1
            parts_no = "%s-%d" % (sel, part + 1)
            h_no, w_no = rng.randint(1, 6), rng.randint(1, 4)
            back_front = BACK_FRONT[2] if model == 1 else BACK_FRONT[part % 3]
            add("paper_infos", id=row_id, paperInfoId=row_id, category_id=category, goods=goods,
                goodsPartsNo=parts_no, searchNo=sel.replace("ZZ-", ""), searchSelNo=sel,
                goodsBackFront=back_front, goodsAllEdit=ALL_EDIT[part % 3],
                goodsDisplayLabel="%s (%d)" % (sel, part + 1), goodsThumbName=thumb,
                goodsThumbName2=None if part else "/paper/thumb2/%s.png" % sel,
                goodsPictFileName="/paper/svg/%s.svg" % parts_no,
                goodsPictPartsLabel="/paper/label/%s.png" % parts_no,
                goodsPictPartsCut="/paper/cut/%s.png" % parts_no,
                goodsPictPartsBending=None,
                goodsPictPartsDesign1="/paper/design/%s_1.png" % parts_no,
                goodsPictPartsDesign2=None,
                goodsPictMask="/paper/mask/%s.png" % parts_no,
                goodsType=str(rng.randint(1, 3)), goodsLabel="%d" % (part + 1),
                goodsDrawSize=rng.choice([0, 1]), paperSizeInfo_id=size,
                templateInfo_id=None, paperFieldsNo=h_no * w_no, paperLocationType=0,
                paperFieldsHNo=h_no, paperFieldsWNo=w_no,
                paperOnePieceH=round(rng.uniform(10, 90), 1),
                paperOnePieceW=round(rng.uniform(10, 90), 1),
                paperUnfiliedSpaceU=8.5, paperUnfiliedSpaceD=8.5, paperUnfiliedSpaceL=4.0,
                paperUnfiliedSpaceR=4.0, paperUnfiliedSpaceUD=0.0, paperUnfiliedSpaceLR=2.5,
                partsUrl="/paper/parts/%s.xml" % parts_no,
                create_at=timestamp(rng, 2013, 2020), update_at=timestamp(rng, 2020, 2024),
                jan_code=None if rng.random() < 0.05 else "49%011d" % row_id)
            part_rows.append(parts_no)

    # Top-level picture groups per paper group, sub-levels below them, and the
    # relations (kind 3) of part numbers to paper groups.
    top_id = 0
    sub_row = 0
    for g in range(1, groups + 1):
        for k in range(2):
            top_id += 1
            folder = "top%03d" % top_id
            add("pict_group_top_level_infos", id=top_id, topLevelId=top_id, paperGroupId=g,
                name="\u7d20\u6750 %d" % top_id, folder=folder,
                thumbnailUrl="/pictGroup/top%03d.png" % top_id,
                thumbnailHitUrl="/pictGroup/top%03d_h.png" % top_id,
                thumbnailUpUrl="/pictGroup/top%03d_p.png" % top_id,
                thumbnailDisUrl=None,
                thumbnailClickUrl="/pictGroup/top%03d_s.png" % top_id,
                create_at=timestamp(rng), update_at=timestamp(rng))
            for s in range(1, 3):
                sub_row += 1
                add("pict_group_sub_level_infos", id=sub_row, topLevelId=top_id, subLevelId=s,
                    name="\u30b5\u30d6 %d-%d" % (top_id, s), folder="%s/sub%d" % (folder, s),
                    create_at=timestamp(rng), update_at=timestamp(rng))
    for i, parts_no in enumerate(part_rows, start=1):
        add("paper_relation2s", id=i, kbn=3, goodsPartsNo=parts_no,
            itemId=rng.randint(1, groups), create_at=timestamp(rng), update_at=timestamp(rng))

    for i in range(1, 6):
        add("pict_group_infos", id=i, pictGroupId=i, pictCategoryId=1 + i % 2, paperGroupId=i,
            folder="pict%02d" % i, thumbnailUrl="/pict/%02d.png" % i,
            thumbnailHitUrl="/pict/%02d_h.png" % i, thumbnailUpUrl="/pict/%02d_p.png" % i,
            thumbnailDisUrl="/pict/%02d_d.png" % i, thumbnailClickUrl="/pict/%02d_s.png" % i,
            create_at=timestamp(rng), update_at=timestamp(rng))

    # General material groups (kind 4) at level 0 with sub-levels, and
    # background groups (kind 1).
    gid = 0
    for level, names in (("0", ["\u52d5\u7269", "\u690d\u7269", "\u4e57\u308a\u7269",
                                "\u5b63\u7bc0", "\u8a18\u53f7"]),):
        for s, name in enumerate(names, start=1):
            gid += 1
            add("generic_group_infos", id=gid, groupInfoId=gid, kbn=4, level=level,
                subLevel=str(s), hasSubLevel="1" if s <= 2 else "0", name=name,
                folder="gen%02d" % s, thumbnailUrl="/genGroup/%02d.png" % s,
                thumbnailHitUrl="/genGroup/%02d_h.png" % s,
                thumbnailUpUrl="/genGroup/%02d_p.png" % s, thumbnailDisUrl=None,
                thumbnailClickUrl="/genGroup/%02d_s.png" % s,
                create_at=timestamp(rng), update_at=timestamp(rng))
    for s in range(1, 3):
        for child in range(1, 3):
            gid += 1
            add("generic_group_infos", id=gid, groupInfoId=gid, kbn=4, level=str(s),
                subLevel="%d%d" % (s, child), hasSubLevel="0",
                name="\u5c0f\u5206\u985e %d-%d" % (s, child), folder="gen%02d/%d" % (s, child),
                thumbnailUrl="/genGroup/%d%d.png" % (s, child),
                thumbnailHitUrl=None, thumbnailUpUrl=None, thumbnailDisUrl=None,
                thumbnailClickUrl=None, create_at=timestamp(rng), update_at=timestamp(rng))
    for b in range(1, 4):
        gid += 1
        add("generic_group_infos", id=gid, groupInfoId=gid, kbn=1, level="0", subLevel=str(b),
            hasSubLevel="0", name="\u80cc\u666f %d" % b, folder="back%02d" % b,
            thumbnailUrl="/backGroup/%02d.png" % b, thumbnailHitUrl="/backGroup/%02d_h.png" % b,
            thumbnailUpUrl="/backGroup/%02d_p.png" % b, thumbnailDisUrl=None,
            thumbnailClickUrl="/backGroup/%02d_s.png" % b,
            create_at=timestamp(rng), update_at=timestamp(rng))

    # Templates for a share of the product thumbnails.
    thumbs = sorted({r["goodsThumbName"] for r in t["paper_infos"]})
    for i, thumb in enumerate(thumbs[: max(3, len(thumbs) // 4)], start=1):
        add("template_infos", id=i, templateInfoId=i, templateName="\u30c6\u30f3\u30d7\u30ec\u30fc\u30c8 %d" % i,
            goodsThumbName=thumb, templateUrl="/template/files/T%05d.qx3" % i,
            thumbnailUrl="/template/thumbs/T%05d.png" % i,
            create_at=timestamp(rng), update_at=timestamp(rng))

    # This machine's usage: products used, and pictures picked.
    models = sorted({r["searchSelNo"] for r in t["paper_infos"]})
    for i in range(1, min(12, len(models)) + 1):
        pictures = ",".join(["x", "/sozai4_S/%s/gen01/pict_%d.png" % (GENERIC_FOLDER, i), ""])
        when = "2024-%02d-%02d 10:00:00" % (1 + i % 12, 1 + i)
        add("logs", id=i, mac_address=mac, event_type=3, event_contents1=pictures,
            event_contents2="", event_contents3=rng.choice(models), create_at=when,
            update_at=when)
    for i in range(1, 4):
        add("pict_generic_history_infos", id=0, topLevelId=0,
            thumbUrl="/sozai4_S/top001/pict_%d.png" % i,
            imageUrl="/sozai4/top001/pict_%d.png" % i)
    return t


def picture_files(catalogue, seed=1):
    """{relative path below the data folder: bytes}: the material pictures of
    every group, the drawing files of the products and the template files."""
    rng = random.Random(seed + 1)
    files = {}

    def pictures(folder, count):
        for n in range(1, count + 1):
            colour = (rng.randrange(256), rng.randrange(256), rng.randrange(256), 255)
            files["%s/pict_%d.png" % (folder, n)] = png(8, 8, colour)

    for row in catalogue["pict_group_top_level_infos"]:
        pictures("sozai4_S/" + row["folder"], 3)
    for row in catalogue["pict_group_sub_level_infos"]:
        pictures("sozai4_S/" + row["folder"], 2)
    for row in catalogue["generic_group_infos"]:
        base = "sozai4_S/" if row["kbn"] == 4 else "sozai/"
        pictures(base + GENERIC_FOLDER + "/" + row["folder"], 3)
    for group in ("sozai4_S/top001", "sozai4_S/" + GENERIC_FOLDER + "/gen01"):
        files[group + "/Thumbs.db"] = b"\x00thumbnail cache"
    for row in catalogue["paper_infos"][:50]:
        files[row["goodsPictFileName"].lstrip("/")] = (
            '<svg xmlns="http://www.w3.org/2000/svg" width="210mm" height="297mm">\n'
            '<rect x="10" y="10" width="%d" height="%d"/>\n</svg>\n'
            % (row["paperOnePieceW"] or 10, row["paperOnePieceH"] or 10)).encode()
    for row in catalogue["template_infos"][:20]:
        name = row["templateUrl"].rsplit("/", 1)[-1]
        files["template/" + name] = ("<qx3 template=\"%d\"/>\n" % row["templateInfoId"]).encode()
        thumb = row["thumbnailUrl"].rsplit("/", 1)[-1]
        files["template/" + thumb] = png(4, 4, (200, 200, 255, 255))
    return files


def schema_statements(schema_tool):
    out = subprocess.run([schema_tool], check=True, capture_output=True).stdout.decode()
    return [line for line in out.split("\n") if line]


def write_database(path, catalogue, schema_tool):
    db = sqlite3.connect(path)
    try:
        for statement in schema_statements(schema_tool):
            db.execute(statement)
        for table, rows in catalogue.items():
            if not rows:
                continue
            columns = COLUMNS[table]
            db.executemany("INSERT INTO %s (%s) VALUES (%s)" % (
                table, ", ".join(columns), ", ".join("?" * len(columns))),
                [[row[c] for c in columns] for row in rows])
        db.commit()
    finally:
        db.close()


def write_data_folder(folder, catalogue, schema_tool, seed=1):
    os.makedirs(folder, exist_ok=True)
    write_database(os.path.join(folder, "qkprint.db"), catalogue, schema_tool)
    for relative, data in picture_files(catalogue, seed).items():
        path = os.path.join(folder, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


def machine_identity():
    """The identity the server computes: the first non-loopback interface with
    a non-zero hardware address, as "0-1A-2B-3C-4D-5E"."""
    for _, name in socket_if_nameindex():
        base = "/sys/class/net/" + name
        try:
            if open(base + "/type").read().strip() == "772":
                continue
            parts = open(base + "/address").read().strip().split(":")
        except OSError:
            continue
        if len(parts) == 6 and any(int(p, 16) for p in parts):
            return "-".join("%X" % int(p, 16) for p in parts)
    return ""


def socket_if_nameindex():
    import socket
    try:
        return socket.if_nameindex()
    except OSError:
        return []


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--data-folder", required=True)
    parser.add_argument("--products", type=int, default=200)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--schema-tool", default=os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "build", "catalogue_schema"))
    parser.add_argument("--mac", default=None,
                        help="machine identity of the usage log rows (default: this machine's)")
    args = parser.parse_args()
    if os.path.exists(os.path.join(args.data_folder, "qkprint.db")):
        sys.exit("%s already holds a catalogue; not touching it" % args.data_folder)
    mac = machine_identity() if args.mac is None else args.mac
    catalogue = generate(args.seed, args.products, mac)
    write_data_folder(args.data_folder, catalogue, args.schema_tool, args.seed)
    print("sample catalogue: %d products, %d records in %s" % (
        len(catalogue["paper_infos"]), sum(len(r) for r in catalogue.values()), args.data_folder))


if __name__ == "__main__":
    main()
