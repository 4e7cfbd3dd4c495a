#!/usr/bin/env python3
"""Builds the recovery benchmark's database, the same bytes for the same seed.

Table items: 1,000,000 rows (id INTEGER PRIMARY KEY, name TEXT, score REAL,
qty INTEGER, note TEXT of 0 to 200 characters) with an index on name; table
attachments: 20,000 rows with blobs of up to 3,000 bytes. About 200 MB.

Usage: make_bench_database.py PATH [--rows N] [--blob-rows N] [--seed S]
"""
import argparse
import os
import random
import sqlite3


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("path")
    parser.add_argument("--rows", type=int, default=1_000_000)
    parser.add_argument("--blob-rows", type=int, default=20_000)
    parser.add_argument("--seed", type=int, default=20261211)
    args = parser.parse_args()

    rng = random.Random(args.seed)
    if os.path.exists(args.path):
        os.remove(args.path)
    db = sqlite3.connect(args.path)
    db.executescript("""
        PRAGMA journal_mode = OFF;
        PRAGMA synchronous = OFF;
        CREATE TABLE items (id INTEGER PRIMARY KEY, name TEXT, score REAL, qty INTEGER, note TEXT);
        CREATE TABLE attachments (id INTEGER PRIMARY KEY, item INTEGER, data BLOB);
    """)
    letters = "abcdefghijklmnopqrstuvwxyz      ,.'ÄéüßÑ"
    text = "".join(rng.choice(letters) for _ in range(1 << 16))
    syllables = ["ka", "lo", "mi", "ne", "ru", "sa", "to", "vi", "xe", "zu", "ber", "dan"]

    def items():
        for i in range(1, args.rows + 1):
            name = "".join(rng.choice(syllables) for _ in range(rng.randrange(2, 6)))
            length = rng.randrange(0, 201)
            start = rng.randrange(0, len(text) - length)
            note = text[start:start + length] if i % 50 else None
            yield (i, name.capitalize(), rng.uniform(-1e6, 1e6), rng.randrange(-2**40, 2**40), note)

    db.executemany("INSERT INTO items VALUES (?,?,?,?,?)", items())
    blob_source = rng.randbytes(1 << 16)

    def attachments():
        for i in range(1, args.blob_rows + 1):
            length = rng.randrange(0, 3001)
            start = rng.randrange(0, len(blob_source) - length)
            yield (i, rng.randrange(1, args.rows + 1), blob_source[start:start + length])

    db.executemany("INSERT INTO attachments VALUES (?,?,?)", attachments())
    db.execute("CREATE INDEX items_by_name ON items(name)")
    db.commit()
    db.close()
    print("%s: %.1f MB" % (args.path, os.path.getsize(args.path) / 1e6))


if __name__ == "__main__":
    main()
