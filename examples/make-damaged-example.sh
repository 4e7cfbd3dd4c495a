#!/usr/bin/env bash
# Builds a healthy example database and a damaged copy of it that the SQLite
# library refuses to open but korvel-recover still reads.
#
# Usage: examples/make-damaged-example.sh [FOLDER]
#   FOLDER defaults to ./example-data. Writes FOLDER/shop-healthy.db and
#   FOLDER/shop-damaged.db and prints what was damaged.
#
# The damage:
#   1. 3000 bytes of garbage in front of the database header (the library
#      then sees no database at all);
#   2. the first letter of the view's statement garbled ("%REATE VIEW");
#   3. one leaf page of the orders table overwritten with garbage (its
#      records are lost; every other record is still there).
set -euo pipefail

FOLDER=${1:-example-data}
mkdir -p "$FOLDER"

python3 - "$FOLDER" <<'PY'
import os, random, sqlite3, struct, sys

folder = sys.argv[1]
healthy = os.path.join(folder, "shop-healthy.db")
damaged = os.path.join(folder, "shop-damaged.db")
for path in (healthy, damaged):
    if os.path.exists(path):
        os.remove(path)

rng = random.Random(20261211)
db = sqlite3.connect(healthy)
db.executescript("""
PRAGMA page_size = 1024;
CREATE TABLE customers (id INTEGER PRIMARY KEY, name TEXT NOT NULL, email TEXT,
                        balance REAL, photo BLOB);
CREATE TABLE products (code TEXT PRIMARY KEY, title TEXT, price REAL, stock INTEGER);
CREATE TABLE orders (id INTEGER PRIMARY KEY, customer INTEGER, product TEXT,
                     quantity INTEGER, note TEXT);
CREATE INDEX orders_by_customer ON orders(customer);
CREATE VIEW big_orders AS SELECT * FROM orders WHERE quantity >= 5;
CREATE TRIGGER orders_stock AFTER INSERT ON orders
BEGIN UPDATE products SET stock = stock - NEW.quantity WHERE code = NEW.product; END;
""")
names = ["Ada Lovelace", "Grace Hopper", "Edsger Dijkstra", "Barbara Liskov", "Donald Knuth",
         "Frances Allen", "Ken Thompson", "Margaret Hamilton", "Zoë O'Brien", "Jürgen Müller"]
for i, name in enumerate(names, start=1):
    email = name.lower().replace(" ", ".").replace("'", "") + "@example.org"
    photo = bytes(rng.randrange(256) for _ in range(rng.randrange(0, 600)))
    db.execute("INSERT INTO customers VALUES (?,?,?,?,?)",
               (i, name, email if i % 4 else None, round(rng.uniform(-50, 5000), 2), photo))
products = [("P-%03d" % i, "Product %d" % i, round(rng.uniform(1, 200), 2), 100000)
            for i in range(1, 41)]
db.executemany("INSERT INTO products VALUES (?,?,?,?)", products)
for i in range(1, 1501):
    note = None if i % 7 == 0 else "order %d: %s" % (i, "x" * rng.randrange(0, 60))
    db.execute("INSERT INTO orders VALUES (?,?,?,?,?)",
               (i, rng.randrange(1, len(names) + 1), rng.choice(products)[0],
                rng.randrange(1, 10), note))
db.commit()
orders_root = db.execute("SELECT rootpage FROM sqlite_master WHERE name='orders'").fetchone()[0]
counts = {t: db.execute("SELECT count(*) FROM " + t).fetchone()[0]
          for t in ("customers", "products", "orders")}
db.close()

data = bytearray(open(healthy, "rb").read())
page_size = struct.unpack(">H", data[16:18])[0]

# A leaf page of the orders table: the first child of its root page.
root = (orders_root - 1) * page_size
assert data[root] == 5, "the orders table should span several pages"
cell = struct.unpack(">H", data[root + 12:root + 14])[0]
child = struct.unpack(">I", data[root + cell:root + cell + 4])[0]
leaf = (child - 1) * page_size
lost = struct.unpack(">H", data[leaf + 3:leaf + 5])[0]
data[leaf:leaf + page_size] = bytes(rng.randrange(256) for _ in range(page_size))

view = data.find(b"CREATE VIEW big_orders")
data[view:view + 1] = b"%"

garbage = bytes(rng.randrange(256) for _ in range(3000))
open(damaged, "wb").write(garbage + data)

print("healthy database: %s (customers %d, products %d, orders %d rows)"
      % (healthy, counts["customers"], counts["products"], counts["orders"]))
print("damaged copy:     %s" % damaged)
print("  - 3000 bytes of garbage in front of the header")
print("  - the view statement starts with %REATE VIEW")
print("  - page %d (a leaf of orders, %d records) overwritten with garbage" % (child, lost))
PY
