#!/usr/bin/env python3
"""Writes a seed corpus for the fuzz target: small healthy and damaged
databases of both formats. Usage: make_seeds.py OUTPUT_FOLDER"""
import os
import random
import shutil
import sqlite3
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
FORMAT2 = os.path.join(HERE, "..", "tests", "fixtures", "format2")


def build(path, page_size, encoding, statements, rows):
    if os.path.exists(path):
        os.remove(path)
    db = sqlite3.connect(path)
    db.execute(f"PRAGMA page_size={page_size}")
    db.execute(f"PRAGMA encoding='{encoding}'")
    for s in statements:
        db.execute(s)
    for sql, values in rows:
        db.execute(sql, values)
    db.commit()
    db.close()


def patched(src, dst, offset, data):
    with open(src, "rb") as f:
        b = bytearray(f.read())
    b[offset:offset + len(data)] = data
    with open(dst, "wb") as f:
        f.write(b)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    rnd = random.Random(7)
    schema = [
        "CREATE TABLE t1(id INTEGER PRIMARY KEY, name TEXT, score REAL, data BLOB)",
        "CREATE INDEX i1 ON t1(name, score)",
        "CREATE VIEW v1 AS SELECT name FROM t1",
        "CREATE TRIGGER g1 AFTER INSERT ON t1 BEGIN SELECT 1; END",
        "CREATE TABLE [odd name] ([a b] TEXT, c INTEGER CHECK (c > 0), PRIMARY KEY (c))",
        "CREATE TABLE w(a TEXT, b, c TEXT, PRIMARY KEY(c, a)) WITHOUT ROWID",
    ]
    rows = []
    insert = "INSERT INTO t1 VALUES(?, ?, ?, ?)"
    for i in range(40):
        rows.append((insert, (i * 37 - 500, ("n'%d" % i) * (i % 5 + 1),
                              rnd.random() * 1e6 - 5e5,
                              bytes(rnd.getrandbits(8) for _ in range(rnd.choice([0, 3, 600]))))))
    rows.append((insert, (70000, "long" * 400, None, None)))
    rows.append(("INSERT INTO [odd name] VALUES(?, ?)", ("x", 5)))
    for i in range(30):
        rows.append(("INSERT INTO w VALUES(?, ?, ?)",
                     ("a%d" % i, i * 11, ("c%d" % (i * 7 % 30)) * (1 + (i % 4) * 60))))
    for page_size, encoding in [(512, "UTF-8"), (1024, "UTF-16le"), (4096, "UTF-8"),
                                (512, "UTF-16be")]:
        name = os.path.join(out, f"f3_{page_size}_{encoding}.db")
        build(name, page_size, encoding, schema, rows)
    base = os.path.join(out, "f3_512_UTF-8.db")
    with open(base, "rb") as f:
        healthy = f.read()
    view_at = healthy.find(b"CREATE VIEW")
    if view_at >= 0:
        patched(base, os.path.join(out, "f3_damaged_view.db"), view_at, b"%")
    patched(base, os.path.join(out, "f3_garbage_page.db"), 512 * 2, bytes(rnd.getrandbits(8) for _ in range(512)))
    patched(base, os.path.join(out, "f3_encoding_field_0.db"), 56, b"\0\0\0\0")
    with open(os.path.join(out, "f3_prefixed.db"), "wb") as f:
        f.write(bytes(rnd.getrandbits(8) for _ in range(700)) + healthy)
    with open(os.path.join(out, "f3_truncated.db"), "wb") as f:
        f.write(healthy[: len(healthy) - 700])
    patched(base, os.path.join(out, "f3_wiped_header.db"), 0, bytes(100))
    patched(os.path.join(out, "f3_1024_UTF-16le.db"), os.path.join(out, "f3_wiped_header_utf16.db"),
            0, bytes(100))
    if os.path.isdir(FORMAT2):
        for n in sorted(os.listdir(FORMAT2)):
            if n.endswith(".db") or n.endswith(".bin"):
                shutil.copy(os.path.join(FORMAT2, n), os.path.join(out, n))


if __name__ == "__main__":
    main()
