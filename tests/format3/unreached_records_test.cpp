// The passes after the b-tree walk on damaged copies of databases built with
// the SQLite library: orphan table-leaf pages going back into their tables
// or into lost_and_found, and deleted records carved out of free blocks and
// freelist pages. A healthy file must come out exactly as before.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/text_codec.h"
#include "output/repaired_writer.h"
#include "tests/support/format3_recovery.h"
#include "tests/support/test_database.h"

namespace korvel {
namespace {

using testing::QueryRows;
using testing::U8;
using Rows = std::vector<std::vector<std::string>>;

struct Scanned : testing::Format3Recovery {
  explicit Scanned(const std::string& path, bool orphans = true, bool deleted = true)
      : Format3Recovery(path, [&](ScanSettings& s) {
          s.recoverOrphans = orphans;
          s.recoverDeleted = deleted;
        }) {}

  // group text -> item texts, in tree order.
  std::vector<std::pair<std::string, std::vector<std::string>>> Tree() {
    std::vector<std::pair<std::string, std::vector<std::string>>> out;
    ObjectTree& tree = host.tree;
    for (TreeItem g = tree.GetChildItem(tree.GetRootItem()); g != kNoItem;
         g = tree.GetNextSiblingItem(g)) {
      std::vector<std::string> items;
      for (TreeItem i = tree.GetChildItem(g); i != kNoItem; i = tree.GetNextSiblingItem(i)) {
        items.push_back(U8(tree.GetItemText(i)));
      }
      out.emplace_back(U8(tree.GetItemText(g)), items);
    }
    return out;
  }

  TreeItem Item(TreeItem group, const std::string& text) {
    ObjectTree& tree = host.tree;
    for (TreeItem i = tree.GetChildItem(group); i != kNoItem; i = tree.GetNextSiblingItem(i)) {
      if (TrimBlanks(tree.GetItemText(i)) == Utf8ToUtf16(text)) return i;
    }
    return kNoItem;
  }

  // The record list of a table item, as the preview worker fills it.
  Rows Preview(TreeItem item) {
    host.rows.clear();
    sqlite_base& engine = *database.engine;
    const TableDescriptorParts parts =
        ParseTableDescriptor(engine.model.tableDescriptors[host.tree.GetItemData(item)]);
    engine.engineProgressCounter = 0;
    host.settings.saveMode = 0;
    engine.LoadTableRecords(host.settings.inputPath, parts.rootPage,
                            static_cast<int>(parts.columnNames.size()), parts.tableName,
                            parts.keyColumnMarker);
    Rows out;
    for (const auto& r : host.rows) out.push_back(U8(r));
    return out;
  }

  std::string Save() {
    host.answers.push_back(MessageAnswer::Yes);
    EXPECT_TRUE(Format3Recovery::Save());
    return MakeRepairedPath(host.settings.inputPath);
  }
};

uint32_t Be32(const std::vector<uint8_t>& b, size_t at) {
  return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) |
         b[at + 3];
}
uint16_t Be16(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>((b[at] << 8) | b[at + 1]);
}

int64_t RootPage(const std::string& path, const std::string& table) {
  return std::stoll(
      QueryRows(path, "SELECT rootpage FROM sqlite_master WHERE name='" + table + "'")[0][0]);
}

// The child page numbers of an interior table page, the right-most last.
std::vector<uint32_t> Children(const std::vector<uint8_t>& file, uint32_t pageSize,
                               uint32_t page) {
  const size_t start = size_t{page - 1} * pageSize;
  const size_t header = start + (page == 1 ? 100 : 0);
  EXPECT_EQ(file[header], 5) << "page " << page << " is no interior table page";
  std::vector<uint32_t> out;
  for (uint16_t i = 0; i < Be16(file, header + 3); ++i) {
    out.push_back(Be32(file, start + Be16(file, header + 12 + 2 * i)));
  }
  out.push_back(Be32(file, header + 8));
  return out;
}

std::string Sorted(Rows rows) {
  std::sort(rows.begin(), rows.end());
  std::string out;
  for (const auto& r : rows) {
    for (const auto& v : r) out += v + "|";
    out += "\n";
  }
  return out;
}

const std::vector<std::pair<std::string, std::vector<std::string>>> kEmptyGroups = {};

// ---------------------------------------------------------------------------

TEST(UnreachedRecords, HealthyFilesComeOutAsBefore) {
  struct Case {
    const char* name;
    std::string sql;
    int pageSize;
    const char* encoding = "UTF-8";
  };
  const std::string rows =
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000)"
      " INSERT INTO t SELECT i, 'row ' || i, i * 3 FROM n;";
  const Case cases[] = {
      {"fresh", "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, n INTEGER);" + rows, 1024},
      {"vacuumed after deletes",
       "PRAGMA secure_delete=OFF; CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, n INTEGER);"
       "CREATE TABLE u(a TEXT, b REAL);" + rows +
           "INSERT INTO u SELECT name, n / 7.0 FROM t; DELETE FROM t WHERE id % 3 = 0;"
           "UPDATE u SET a = a || '!' WHERE rowid % 5 = 0; VACUUM;",
       512},
      {"fresh utf16", "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, n INTEGER);" + rows, 4096,
       "UTF-16le"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    const std::string path = dir.File("h.db");
    testing::MakeDatabase(path, c.sql, c.pageSize, c.encoding);
    Scanned with(path);
    Scanned without(path, false, false);
    ASSERT_TRUE(ScanReachedItsEnd(with.outcome));
    EXPECT_EQ(with.Tree(), without.Tree());
    EXPECT_EQ(with.host.settings.deletedGroup, kNoItem);
    EXPECT_EQ(with.database.engine->model.tableDescriptors,
              without.database.engine->model.tableDescriptors);
    const TreeItem tables = with.host.settings.tablesGroup;
    EXPECT_EQ(with.Preview(with.Item(tables, "t")), without.Preview(without.Item(tables, "t")));
  }
}

// A table of three levels with one of its interior pages zeroed: the leaves
// below it are orphans and go back into their table, each row once.
TEST(UnreachedRecords, RowsBelowAZeroedInteriorPageComeBackOnce) {
  testing::TempDir dir;
  const std::string path = dir.File("z.db");
  testing::MakeDatabase(
      path,
      "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, n INTEGER);"
      "CREATE TABLE other(a TEXT, b REAL);"
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 4000)"
      " INSERT INTO t SELECT i, 'name ' || i, i * 7 FROM n;"
      "INSERT INTO other VALUES ('x', 1.5), ('y', 2.5);",
      512);
  const Rows expected = QueryRows(path, "SELECT id, name, n FROM t");
  auto bytes = testing::ReadBytes(path);
  const auto top = Children(bytes, 512, static_cast<uint32_t>(RootPage(path, "t")));
  ASSERT_GE(top.size(), 2u);
  const uint32_t zeroed = top[1];
  ASSERT_EQ(bytes[size_t{zeroed - 1} * 512], 5) << "the tree is not three levels deep";
  std::fill(bytes.begin() + size_t{zeroed - 1} * 512, bytes.begin() + size_t{zeroed} * 512, 0);
  testing::WriteBytes(path, bytes);

  Scanned without(path, false, false);
  const TreeItem t0 = without.Item(without.host.settings.tablesGroup, "t");
  EXPECT_LT(without.Preview(t0).size(), expected.size());

  Scanned scan(path);
  const TreeItem t = scan.Item(scan.host.settings.tablesGroup, "t");
  EXPECT_EQ(Sorted(scan.Preview(t)), Sorted(expected));
  EXPECT_EQ(scan.Item(scan.host.settings.tablesGroup, "lost_and_found"), kNoItem);
  EXPECT_EQ(scan.Preview(scan.Item(scan.host.settings.tablesGroup, "other")).size(), 2u);

  const std::string repaired = scan.Save();
  EXPECT_EQ(Sorted(QueryRows(repaired, "SELECT id, name, n FROM t")), Sorted(expected));
  EXPECT_EQ(QueryRows(repaired, "SELECT count(*) FROM other")[0][0], "2");
}

void SetRightMostChild(std::vector<uint8_t>& file, uint32_t pageSize, uint32_t page,
                       uint32_t child) {
  const size_t at = size_t{page - 1} * pageSize + 8;
  for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(child >> (24 - 8 * i));
}

// Two tables of different shapes whose right-most leaves no walk reaches
// any more (the parent points at another child instead): each leaf goes
// back to its own table.
TEST(UnreachedRecords, OrphanLeavesGoBackToTheTableTheyFit) {
  testing::TempDir dir;
  const std::string path = dir.File("o.db");
  testing::MakeDatabase(
      path,
      "CREATE TABLE people(id INTEGER PRIMARY KEY, name TEXT, age INTEGER);"
      "CREATE TABLE things(label TEXT, weight REAL, note TEXT);"
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300)"
      " INSERT INTO people SELECT i, 'person ' || i, 20 + i % 50 FROM n;"
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300)"
      " INSERT INTO things SELECT 'thing ' || i, i + 0.25, 'note ' || i FROM n;",
      512);
  const Rows people = QueryRows(path, "SELECT * FROM people");
  const Rows things = QueryRows(path, "SELECT label, printf('%f', weight), note FROM things");
  auto bytes = testing::ReadBytes(path);
  for (const char* table : {"people", "things"}) {
    const uint32_t root = static_cast<uint32_t>(RootPage(path, table));
    const auto children = Children(bytes, 512, root);
    ASSERT_GE(children.size(), 3u);
    SetRightMostChild(bytes, 512, root, children[0]);
  }
  testing::WriteBytes(path, bytes);

  Scanned without(path, false, false);
  const TreeItem p0 = without.Item(without.host.settings.tablesGroup, "people");
  ASSERT_LT(without.Preview(p0).size(), people.size());

  Scanned scan(path);
  const TreeItem tables = scan.host.settings.tablesGroup;
  EXPECT_EQ(Sorted(scan.Preview(scan.Item(tables, "people"))), Sorted(people));
  EXPECT_EQ(Sorted(scan.Preview(scan.Item(tables, "things"))), Sorted(things));
  EXPECT_EQ(scan.Item(tables, "lost_and_found"), kNoItem);
  // The orphan rows come after the rows of the b-tree.
  EXPECT_EQ(scan.Preview(scan.Item(tables, "people")).back(), people.back());
}

// A page that fits no table (a leaf of another database's six-column
// table added to the file) and a stale copy of a live leaf: the first is
// lost_and_found, the second adds nothing.
TEST(UnreachedRecords, APageThatFitsNothingIsLostAndFound) {
  testing::TempDir dir;
  const std::string path = dir.File("l.db");
  const std::string stranger = dir.File("s.db");
  testing::MakeDatabase(path,
                        "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT);"
                        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n"
                        " WHERE i < 200) INSERT INTO t SELECT i, 'n' || i FROM n;",
                        1024);
  testing::MakeDatabase(stranger,
                        "CREATE TABLE w(p INTEGER, q INTEGER, r TEXT, s, u, v);"
                        "INSERT INTO w VALUES (1, 2, 'three', 4.5, x'0506', NULL),"
                        " (7, 8, 'nine', 10, 11, 12);",
                        1024);
  auto bytes = testing::ReadBytes(path);
  const auto other = testing::ReadBytes(stranger);
  const uint32_t strangerRoot = static_cast<uint32_t>(RootPage(stranger, "w"));
  const uint32_t copied = Children(bytes, 1024, static_cast<uint32_t>(RootPage(path, "t")))[0];
  const std::vector<uint8_t> stale(bytes.begin() + size_t{copied - 1} * 1024,
                                   bytes.begin() + size_t{copied} * 1024);
  bytes.insert(bytes.end(), other.begin() + size_t{strangerRoot - 1} * 1024,
               other.begin() + size_t{strangerRoot} * 1024);
  const uint32_t lostPage = static_cast<uint32_t>(bytes.size() / 1024);
  bytes.insert(bytes.end(), stale.begin(), stale.end());
  testing::WriteBytes(path, bytes);

  Scanned scan(path);
  const TreeItem tables = scan.host.settings.tablesGroup;
  const auto tree = scan.Tree();
  ASSERT_FALSE(tree.empty());
  ASSERT_EQ(tree[0].second.back(), "lost_and_found");
  EXPECT_EQ(scan.Preview(scan.Item(tables, "t")).size(), 200u);
  const std::string page = std::to_string(lostPage);
  EXPECT_EQ(scan.Preview(scan.Item(tables, "lost_and_found")),
            (Rows{{page, "0", "1", "1", "2", "three", "4.500000", "< Blob Data >", "NULL"},
                  {page, "1", "2", "7", "8", "nine", "10", "11", "12"}}));
  EXPECT_EQ(scan.host.settings.deletedGroup, kNoItem);

  const std::string repaired = scan.Save();
  EXPECT_EQ(QueryRows(repaired, "SELECT * FROM lost_and_found"),
            (Rows{{page, "0", "1", "1", "2", "three", "4.5", "x'0506'", "NULL"},
                  {page, "1", "2", "7", "8", "nine", "10", "11", "12"}}));
  EXPECT_EQ(QueryRows(repaired, "SELECT count(*) FROM t")[0][0], "200");

  Scanned off(path, false, true);
  EXPECT_EQ(off.Item(off.host.settings.tablesGroup, "lost_and_found"), kNoItem);
}

void DeletedRowsInFreeBlocks(const std::string& encoding);

// Deleted rows in the free blocks and the free gap of a leaf page (secure
// delete off): recovered into "t_deleted", flagged with where they were
// found, and none of them a live row.
TEST(UnreachedRecords, DeletedRowsInFreeBlocksAreRecoveredApart) {
  for (const char* encoding : {"UTF-8", "UTF-16le"}) {
    SCOPED_TRACE(encoding);
    DeletedRowsInFreeBlocks(encoding);
  }
}

void DeletedRowsInFreeBlocks(const std::string& encoding) {
  testing::TempDir dir;
  const std::string path = dir.File("d.db");
  testing::MakeDatabase(
      path,
      "PRAGMA secure_delete=OFF;"
      "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, n INTEGER);"
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20)"
      " INSERT INTO t SELECT i, 'name ' || i, i * 11 FROM n;"
      "DELETE FROM t WHERE id IN (5, 9, 13, 20);",
      4096, encoding);
  const Rows live = QueryRows(path, "SELECT * FROM t");

  Scanned scan(path);
  const TreeItem tables = scan.host.settings.tablesGroup;
  EXPECT_EQ(Sorted(scan.Preview(scan.Item(tables, "t"))), Sorted(live));
  const TreeItem group = scan.host.settings.deletedGroup;
  ASSERT_NE(group, kNoItem);
  EXPECT_EQ(U8(scan.host.tree.GetItemText(group)), "DELETED RECORDS  ");
  EXPECT_EQ(scan.host.tree.GetItemData(group), kDeletedGroupData);
  const auto tree = scan.Tree();
  ASSERT_EQ(tree.size(), 5u);
  EXPECT_EQ(tree[4].second, std::vector<std::string>{"t_deleted"});
  EXPECT_EQ(tree[0].second, std::vector<std::string>{" t"});

  // Every freed cell lost its rowid to a free block header; row 20, the
  // lowest cell, lies in the gap below the content start that moved past
  // it.
  const Rows deleted = scan.Preview(scan.Item(group, "t_deleted"));
  ASSERT_EQ(deleted.size(), 4u);
  std::map<std::string, Rows::value_type> byName;
  for (const auto& r : deleted) {
    ASSERT_EQ(r.size(), 4u);
    byName[r[2]] = r;
  }
  ASSERT_EQ(byName.size(), 4u);
  EXPECT_EQ(byName["name 5"][1], "NULL");
  EXPECT_EQ(byName["name 5"][3], "55");
  EXPECT_NE(byName["name 5"][0].find(", freeblock"), std::string::npos);
  EXPECT_EQ(byName["name 13"][3], "143");
  EXPECT_EQ(byName["name 20"][1], "NULL");
  EXPECT_EQ(byName["name 20"][3], "220");

  const std::string repaired = scan.Save();
  EXPECT_EQ(Sorted(QueryRows(repaired, "SELECT * FROM t")), Sorted(live));
  const Rows saved = QueryRows(repaired, "SELECT name, n, source FROM t_deleted ORDER BY n");
  EXPECT_EQ(saved, (Rows{{"name 5", "55", "freeblock"},
                         {"name 9", "99", "freeblock"},
                         {"name 13", "143", "freeblock"},
                         {"name 20", "220", "freeblock"}}));
  EXPECT_EQ(QueryRows(repaired, "SELECT count(*) FROM t_deleted WHERE page > 1 AND offset > 0"),
            (Rows{{"4"}}));

  Scanned off(path, true, false);
  EXPECT_EQ(off.host.settings.deletedGroup, kNoItem);
}

// Many deleted rows whose leaves went to the freelist (no vacuum): each
// comes back once, none is a live row (also not those of a freelist page
// that holds a copy of a live leaf), and a table of another shape gets none
// of them.
TEST(UnreachedRecords, DeletedRowsOnFreelistPagesAreRecoveredOnce) {
  testing::TempDir dir;
  const std::string path = dir.File("f.db");
  testing::MakeDatabase(
      path,
      "PRAGMA secure_delete=OFF;"
      "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, n INTEGER);"
      "CREATE TABLE u(a TEXT, b REAL);"
      "INSERT INTO u VALUES ('keep', 1.5);"
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000)"
      " INSERT INTO t SELECT i, 'name ' || i, i * 11 FROM n;"
      "DELETE FROM t WHERE id BETWEEN 500 AND 2500;",
      1024);
  ASSERT_GT(std::stoi(QueryRows(path, "PRAGMA freelist_count")[0][0]), 10);
  const Rows live = QueryRows(path, "SELECT * FROM t");
  // One freelist leaf becomes a copy of a live leaf: its records are live
  // rows and must not come back as deleted ones.
  auto bytes = testing::ReadBytes(path);
  const uint32_t trunk = Be32(bytes, 32);
  ASSERT_GT(Be32(bytes, size_t{trunk - 1} * 1024 + 4), 0u);
  const uint32_t freeLeaf = Be32(bytes, size_t{trunk - 1} * 1024 + 8);
  const uint32_t liveLeaf = Children(bytes, 1024, static_cast<uint32_t>(RootPage(path, "t")))[0];
  std::copy(bytes.begin() + size_t{liveLeaf - 1} * 1024, bytes.begin() + size_t{liveLeaf} * 1024,
            bytes.begin() + size_t{freeLeaf - 1} * 1024);
  testing::WriteBytes(path, bytes);

  Scanned scan(path);
  EXPECT_EQ(Sorted(scan.Preview(scan.Item(scan.host.settings.tablesGroup, "t"))), Sorted(live));
  const TreeItem group = scan.host.settings.deletedGroup;
  ASSERT_NE(group, kNoItem);
  ASSERT_EQ(scan.Tree()[4].second, std::vector<std::string>{"t_deleted"});
  const Rows deleted = scan.Preview(scan.Item(group, "t_deleted"));
  std::set<std::string> names;
  size_t fromFreelist = 0;
  for (const auto& r : deleted) {
    ASSERT_EQ(r.size(), 4u);
    EXPECT_TRUE(names.insert(r[2]).second) << "twice: " << r[2];
    const int id = std::stoi(r[2].substr(5));
    EXPECT_GE(id, 500);
    EXPECT_LE(id, 2500);
    EXPECT_EQ(r[3], std::to_string(id * 11));
    if (r[1] != "NULL") EXPECT_EQ(r[1], std::to_string(id));
    if (r[0].find("freelist") != std::string::npos) ++fromFreelist;
  }
  EXPECT_GT(names.size(), 1800u);
  EXPECT_GT(fromFreelist, 1500u);

  const std::string repaired = scan.Save();
  EXPECT_EQ(QueryRows(repaired, "SELECT count(*), count(DISTINCT name) FROM t_deleted"),
            (Rows{{std::to_string(deleted.size()), std::to_string(deleted.size())}}));
  EXPECT_EQ(QueryRows(repaired, "SELECT count(*) FROM t_deleted WHERE source = 'freelist'"),
            (Rows{{std::to_string(fromFreelist)}}));
  EXPECT_EQ(QueryRows(repaired, "SELECT count(*) FROM t")[0][0], std::to_string(live.size()));
}

// Random bytes over a file with orphans, free blocks and freelist pages
// (page headers, free block chains and freelist trunks among them): the
// passes must stay inside the file and end, whatever they read.
TEST(UnreachedRecords, RandomDamageIsReadSafely) {
  testing::TempDir dir;
  const std::string original = dir.File("r.db");
  testing::MakeDatabase(
      original,
      "PRAGMA secure_delete=OFF;"
      "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, n INTEGER);"
      "CREATE TABLE u(a TEXT, b REAL, c BLOB);"
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 600)"
      " INSERT INTO t SELECT i, printf('%.*c', i % 90, 'x'), i FROM n;"
      "INSERT INTO u SELECT name, n / 3.0, randomblob(n % 700) FROM t;"
      "DELETE FROM t WHERE id % 3 = 0; DELETE FROM u WHERE rowid BETWEEN 100 AND 400;",
      1024);
  const auto clean = testing::ReadBytes(original);
  const size_t pages = clean.size() / 1024;
  std::mt19937 random(8);
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    auto bytes = clean;
    const int hits = 1 + static_cast<int>(random() % 40);
    for (int i = 0; i < hits; ++i) {
      // Page headers and the first bytes of pages most of the time, so that
      // chains and pointers go wrong rather than only values.
      const size_t page = 1 + random() % (pages - 1);
      const size_t at = page * 1024 + (random() % 2 ? random() % 16 : random() % 1024);
      bytes[at] = static_cast<uint8_t>(random());
    }
    if (round % 4 == 0) {
      // A freelist trunk pointer or count that leads anywhere.
      bytes[32 + random() % 8] = static_cast<uint8_t>(random());
    }
    const std::string path = dir.File("damaged.db");
    testing::WriteBytes(path, bytes);
    Scanned scan(path);
    if (!scan.database.engine) continue;
    for (TreeItem group : {scan.host.settings.tablesGroup, scan.host.settings.deletedGroup}) {
      if (group == kNoItem) continue;
      for (TreeItem i = scan.host.tree.GetChildItem(group); i != kNoItem;
           i = scan.host.tree.GetNextSiblingItem(i)) {
        const int32_t index = scan.host.tree.GetItemData(i);
        if (index >= 0 &&
            static_cast<size_t>(index) < scan.database.engine->model.tableDescriptors.size()) {
          scan.Preview(i);
        }
      }
    }
  }
}

}  // namespace
}  // namespace korvel
