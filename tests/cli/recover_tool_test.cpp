// End-to-end tests: the built korvel-recover run on generated databases.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/test_database.h"

namespace korvel {
namespace {

namespace fs = std::filesystem;
using testing::QueryRows;
using testing::TempDir;
using Rows = std::vector<std::vector<std::string>>;

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += "'\\''";
    else out += c;
  }
  return out + "'";
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

const char kShopSql[] =
    "CREATE TABLE customers (id INTEGER PRIMARY KEY, name TEXT, city TEXT);"
    "INSERT INTO customers VALUES (1, 'Ada', 'London'), (2, 'Grace', 'New York'),"
    "  (3, 'Edsger', 'Nuenen');"
    "CREATE TABLE orders (id INTEGER PRIMARY KEY, customer INTEGER, amount INTEGER, note TEXT);"
    "INSERT INTO orders VALUES (10, 1, 250, 'first'), (11, 2, 40, NULL), (12, 3, 120, 'x,y');"
    "CREATE INDEX orders_customer ON orders(customer);"
    "CREATE VIEW big_orders AS SELECT * FROM orders WHERE amount > 100;"
    "CREATE TRIGGER orders_check AFTER INSERT ON orders BEGIN SELECT 1; END;";

class RecoverTool : public ::testing::Test {
 protected:
  void SetUp() override {
    input = dir.File("shop.db");
    repaired = dir.File("Repaired_shop.db");
    testing::MakeDatabase(input, kShopSql);
  }

  ToolRun Run(const std::vector<std::string>& args) {
    const std::string out = dir.File("stdout.txt");
    const std::string err = dir.File("stderr.txt");
    std::string command = Quote(KORVEL_RECOVER_BINARY);
    for (const auto& a : args) command += " " + Quote(a);
    command += " </dev/null >" + Quote(out) + " 2>" + Quote(err);
    const int rc = std::system(command.c_str());
    ToolRun run;
    run.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    run.out = ReadText(out);
    run.err = ReadText(err);
    fs::remove(out);
    fs::remove(err);
    return run;
  }

  TempDir dir;
  std::string input;
  std::string repaired;
};

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(RecoverTool, HelpVersionAndUsageErrors) {
  ToolRun run = Run({"--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(Has(run.out, "Usage: korvel-recover [OPTIONS] FILE"));
  run = Run({"--version"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "korvel-recover (Korvel Lumquist v22.0) 22.0\n");

  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"--bogus", input}, {"--show", "t", "--format", "xml", input}}) {
    run = Run(args);
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(Has(run.err, "Try 'korvel-recover --help'."));
    EXPECT_EQ(run.out, "");
  }
}

TEST_F(RecoverTool, AFileThatIsNoDatabaseEndsWithStatusOne) {
  ToolRun run = Run({dir.File("missing.db")});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Has(run.err, "no such file"));

  const std::string junk = dir.File("junk.bin");
  testing::WriteBytes(junk, std::vector<uint8_t>(600, 0x5A));
  run = Run({"--list", junk});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Has(run.err, "Korvel Lumquist v22.0: File Format not supported, please select file again"))
      << run.err;
  EXPECT_EQ(run.out, "");
}

TEST_F(RecoverTool, ListPrintsEveryObjectInTreeOrder) {
  const ToolRun run = Run({"--list", input});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "table\tcustomers\n"
            "table\torders\n"
            "index\torders_customer ON orders\n"
            "view\tbig_orders\n"
            "trigger\torders_check\n");
  EXPECT_TRUE(Has(run.err, " File is Parsing \n"));
  EXPECT_FALSE(fs::exists(repaired));
}

TEST_F(RecoverTool, RecoversEverythingAndLeavesTheDamagedFileUntouched) {
  const auto past = fs::file_time_type::clock::now() - std::chrono::hours(5);
  fs::last_write_time(input, past);
  const auto bytes = testing::ReadBytes(input);

  const ToolRun run = Run({input});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  for (const char* line :
       {"Creating Database\n", "Database have total 6 Entries\n", " contain 3 rows\n",
        "Total 3 Rows inserted in table successfully\n", "Database Table created successfully\n",
        "Database Index schema created successfully\n", "Database views created successfully\n",
        "Database Triggers created successfully\n"}) {
    EXPECT_TRUE(Has(run.err, line)) << line << run.err;
  }
  EXPECT_FALSE(Has(run.err, "Error"));

  EXPECT_EQ(testing::ReadBytes(input), bytes);
  EXPECT_EQ(fs::last_write_time(input), past);

  for (const char* query : {"SELECT * FROM customers ORDER BY id", "SELECT * FROM orders ORDER BY id",
                            "SELECT type, name FROM sqlite_master ORDER BY name",
                            "SELECT * FROM big_orders ORDER BY id"}) {
    EXPECT_EQ(QueryRows(repaired, query), QueryRows(input, query)) << query;
  }
}

TEST_F(RecoverTool, AnExistingRepairedFileIsKeptUnlessTheAnswerIsYes) {
  ASSERT_EQ(Run({"-q", input}).status, 0);
  testing::MakeDatabase(repaired, "CREATE TABLE keep (x);");
  const auto kept = testing::ReadBytes(repaired);

  ToolRun run = Run({input});
  EXPECT_EQ(run.status, 3);
  EXPECT_TRUE(Has(run.err, "Korvel Lumquist v22.0: The Database File " + repaired +
                               " Already exist.\n Exisitng file will be Deleted. Do you want to "
                               "Continue ? [y/N] n"))
      << run.err;
  EXPECT_EQ(testing::ReadBytes(repaired), kept);

  run = Run({"--yes", input});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(QueryRows(repaired, "SELECT count(*) FROM sqlite_master WHERE name='keep'"),
            (Rows{{"0"}}));
  EXPECT_EQ(QueryRows(repaired, "SELECT count(*) FROM customers"), (Rows{{"3"}}));
}

TEST_F(RecoverTool, OutputAndOnlyChooseWhereAndWhat) {
  const std::string elsewhere = dir.File("out/elsewhere.db");
  fs::create_directory(dir.File("out"));
  ToolRun run = Run({"-q", "-o", elsewhere, "--only", "customers", "-t", "big_orders", input});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(fs::exists(repaired));
  EXPECT_EQ(QueryRows(elsewhere, "SELECT type, name FROM sqlite_master ORDER BY name"),
            (Rows{{"view", "big_orders"}, {"table", "customers"}}));

  run = Run({"--only", "nothing-like-it", input});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Has(run.err, "no recovered object is named \"nothing-like-it\""));

  const auto bytes = testing::ReadBytes(input);
  run = Run({"-y", "-o", input, input});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(testing::ReadBytes(input), bytes);
  run = Run({"-y", "-o", dir.File("out"), input});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(fs::is_directory(dir.File("out")));
}

TEST_F(RecoverTool, ShowStreamsATableInEachFormat) {
  ToolRun run = Run({"--show", "customers", input});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "id\tname\tcity\n1\tAda\tLondon\n2\tGrace\tNew York\n3\tEdsger\tNuenen\n");

  run = Run({"-s", "orders", "--format", "csv", input});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "id,customer,amount,note\r\n10,1,250,first\r\n11,2,40,\r\n12,3,120,\"x,y\"\r\n");

  run = Run({"-s", "customers", "--format=json", "-q", input});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "[\n"
            "  {\"id\": 1, \"name\": \"Ada\", \"city\": \"London\"},\n"
            "  {\"id\": 2, \"name\": \"Grace\", \"city\": \"New York\"},\n"
            "  {\"id\": 3, \"name\": \"Edsger\", \"city\": \"Nuenen\"}\n"
            "]\n");
  EXPECT_EQ(run.err, "");
  EXPECT_FALSE(fs::exists(repaired));
}

// The records are printed as the values themselves, not as the record list
// shows them: a quote stays single, a NULL is no text, a blob is its bytes.
TEST_F(RecoverTool, ShowPrintsValuesNotTheirDisplayForms) {
  const std::string odd = dir.File("odd.db");
  testing::MakeDatabase(odd,
                        "CREATE TABLE t(a TEXT, b BLOB, c, d REAL);"
                        "INSERT INTO t VALUES('O''Brien', x'00FF', NULL, 0.1);"
                        "INSERT INTO t VALUES('', x'', 'NULL', -2.5e300);");
  ToolRun run = Run({"-q", "--show", "t", "--format", "json", odd});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "[\n"
            "  {\"a\": \"O'Brien\", \"b\": \"x'00FF'\", \"c\": null, \"d\": 0.10000000000000001},\n"
            "  {\"a\": \"\", \"b\": \"x''\", \"c\": \"NULL\", \"d\": -2.5000000000000001e+300}\n"
            "]\n");
  run = Run({"-q", "--show", "t", "--format", "csv", odd});
  EXPECT_EQ(run.out, "a,b,c,d\r\nO'Brien,x'00FF',,0.10000000000000001\r\n"
                     "\"\",x'',NULL,-2.5000000000000001e+300\r\n");
  run = Run({"-q", "--show", "t", odd});
  EXPECT_EQ(run.out, "a\tb\tc\td\nO'Brien\tx'00FF'\t\\N\t0.10000000000000001\n"
                     "\tx''\tNULL\t-2.5000000000000001e+300\n");
}

TEST_F(RecoverTool, ShowPrintsTheStatementOfOtherObjects) {
  ToolRun run = Run({"--show", "big_orders", input});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "CREATE VIEW big_orders AS SELECT * FROM orders WHERE amount > 100\n");
  run = Run({"--show", "orders_check", "--format", "json", input});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "{\"type\": \"trigger\", \"name\": \"orders_check\", \"sql\": \"CREATE TRIGGER "
            "orders_check AFTER INSERT ON orders BEGIN SELECT 1; END\"}\n");
  run = Run({"--show", "nope", input});
  EXPECT_EQ(run.status, 1);
}

TEST_F(RecoverTool, AHeaderBehindGarbageAndAUtf16DatabaseAreRecovered) {
  std::vector<uint8_t> garbage(4096);
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 7 + 3);
  testing::Prepend(input, garbage);
  ToolRun run = Run({"-q", input});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(QueryRows(repaired, "SELECT * FROM orders ORDER BY id"),
            (Rows{{"10", "1", "250", "first"}, {"11", "2", "40", "NULL"}, {"12", "3", "120", "x,y"}}));

  const std::string wide = dir.File("wide.db");
  testing::MakeDatabase(wide,
                        "CREATE TABLE t (id INTEGER PRIMARY KEY, s TEXT, b BLOB, r REAL);"
                        "INSERT INTO t VALUES (1, 'Zo\u00eb \u4e2d\u6587', x'00ff10', 2.5),"
                        " (2, '', x'', -0.125);",
                        0, "UTF-16le");
  run = Run({"-q", wide});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string query = "SELECT id, s, hex(b), typeof(b), r FROM t ORDER BY id";
  EXPECT_EQ(QueryRows(dir.File("Repaired_wide.db"), query), QueryRows(wide, query));
}

// Ctrl-C in the middle of a long save: the save ends after the current
// record, the repaired database is valid and holds the rows written so far,
// and the summary lines still follow.
TEST_F(RecoverTool, AWipedHeaderIsRebuiltAndSaidSo) {
  const std::string wiped = dir.File("wiped.db");
  testing::WriteBytes(wiped, testing::ReadBytes(input));
  testing::PatchBytes(wiped, 0, std::vector<uint8_t>(100, 0));
  const std::string notice =
      "Korvel Lumquist v22.0: No database header was found; the header was rebuilt from the "
      "pages (page size 4096, UTF-8).\n";
  // Also with -q: the rows come from a header the tool made up.
  ToolRun run = Run({"-q", wiped});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Has(run.err, notice)) << run.err;
  const std::string repairedWiped = dir.File("Repaired_wiped.db");
  for (const char* query : {"SELECT * FROM customers ORDER BY id", "SELECT * FROM orders ORDER BY id",
                            "SELECT type, name FROM sqlite_master ORDER BY name"}) {
    EXPECT_EQ(QueryRows(repairedWiped, query), QueryRows(input, query)) << query;
  }

  run = Run({"--list", input});
  EXPECT_EQ(run.status, 0);
  EXPECT_FALSE(Has(run.err, "rebuilt")) << run.err;

  const std::string zeros = dir.File("zeros.bin");
  testing::WriteBytes(zeros, std::vector<uint8_t>(16384, 0));
  run = Run({"--list", zeros});
  EXPECT_EQ(run.status, 1);
  EXPECT_FALSE(Has(run.err, "rebuilt")) << run.err;
}

TEST_F(RecoverTool, AnInterruptKeepsWhatWasSaved) {
  const std::string big = dir.File("big.db");
  testing::MakeDatabase(big,
                        "CREATE TABLE t (id INTEGER PRIMARY KEY, s TEXT);"
                        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                        "WHERE i < 400000) INSERT INTO t SELECT i, printf('row %d', i) FROM n;"
                        "CREATE TABLE u (a); INSERT INTO u VALUES (1);");
  const std::string out = dir.File("Repaired_big.db");
  const std::string errPath = dir.File("err.txt");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    freopen("/dev/null", "r", stdin);
    freopen("/dev/null", "w", stdout);
    freopen(errPath.c_str(), "w", stderr);
    execl(KORVEL_RECOVER_BINARY, KORVEL_RECOVER_BINARY, big.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  // Interrupt once the first records are being written.
  for (int i = 0; i < 2000 && !Has(ReadText(errPath), "Table t contain"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  kill(child, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const std::string err = ReadText(errPath);
  EXPECT_TRUE(Has(err, "Database Triggers created successfully")) << err;
  EXPECT_EQ(QueryRows(out, "PRAGMA integrity_check"), (Rows{{"ok"}}));
  const long saved = std::stol(QueryRows(out, "SELECT count(*) FROM t")[0][0]);
  EXPECT_TRUE(Has(err, "Total " + std::to_string(saved) + " Rows inserted in table successfully"))
      << err;
  if (Has(err, "stopping after the current record")) {
    EXPECT_LT(saved, 400000);
    EXPECT_EQ(QueryRows(out, "SELECT count(*) FROM u"), (Rows{{"0"}}));
  }
}

// A table with deleted rows in its free space and a page appended that fits
// no table: both show up by default and each flag leaves its part out.
TEST_F(RecoverTool, DeletedRecordsAndLostAndFoundFollowTheirFlags) {
  const std::string damaged = dir.File("deep.db");
  testing::MakeDatabase(damaged,
                        "PRAGMA secure_delete=OFF;"
                        "CREATE TABLE notes (id INTEGER PRIMARY KEY, body TEXT, stars INTEGER);"
                        "INSERT INTO notes VALUES (1, 'kept', 5), (2, 'gone', 1), (3, 'also kept', 4);"
                        "DELETE FROM notes WHERE id = 2;",
                        1024);
  const std::string stranger = dir.File("stranger.db");
  testing::MakeDatabase(stranger,
                        "CREATE TABLE w (a INTEGER, b INTEGER, c INTEGER, d INTEGER, e INTEGER);"
                        "INSERT INTO w VALUES (1, 2, 3, 4, 5);",
                        1024);
  const auto page = testing::ReadBytes(stranger);
  testing::AppendBytes(damaged, std::vector<uint8_t>(page.begin() + 1024, page.begin() + 2048));

  ToolRun run = Run({"--list", damaged});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "table\tnotes\ntable\tlost_and_found\ndeleted\tnotes_deleted\n");
  run = Run({"--list", "--no-deleted", damaged});
  EXPECT_EQ(run.out, "table\tnotes\ntable\tlost_and_found\n");
  run = Run({"--list", "--no-orphans", damaged});
  EXPECT_EQ(run.out, "table\tnotes\ndeleted\tnotes_deleted\n");
  run = Run({"--list", "--no-orphans", "--no-deleted", damaged});
  EXPECT_EQ(run.out, "table\tnotes\n");

  run = Run({"--show", "notes_deleted", damaged});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Has(run.out, "\tgone\t1\t2\t")) << run.out;
  EXPECT_TRUE(Has(run.out, "\tfreeblock\n")) << run.out;

  const std::string out = dir.File("out.db");
  run = Run({"-y", "-q", "-o", out, damaged});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(QueryRows(out, "SELECT body, stars, page, source FROM notes_deleted"),
            (Rows{{"gone", "1", "2", "freeblock"}}));
  EXPECT_EQ(QueryRows(out, "SELECT page, cell, rowid, c0, c4 FROM lost_and_found"),
            (Rows{{"3", "0", "1", "1", "5"}}));
  EXPECT_EQ(QueryRows(out, "SELECT count(*) FROM notes"), (Rows{{"2"}}));

  fs::remove(out);
  run = Run({"-y", "-q", "--no-deleted", "--no-orphans", "-o", out, damaged});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(QueryRows(out, "SELECT name FROM sqlite_master"), (Rows{{"notes"}}));
}

}  // namespace
}  // namespace korvel
