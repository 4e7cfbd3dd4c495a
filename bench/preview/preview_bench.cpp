// Previews the 1,000,000-row table "items" (id INTEGER PRIMARY KEY, name
// TEXT, score REAL, qty INTEGER, note TEXT of 0 to 200 characters, every
// 50th note NULL; built with the SQLite library from a fixed seed) in the
// desktop window on the offscreen platform, and reports:
//   - the time from the click to all rows being in the grid,
//   - the longest time the event loop went without running a 5 ms timer,
//   - the grid's bytes per row (its own row storage, and the growth of the
//     process's resident memory over the preview).
// Usage: preview_bench [work folder] [rows]

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "app/engine_factory.h"
#include "app/file_setting_dialog.h"
#include "app/main_frame.h"
#include "app/record_area.h"
#include "app/scripted_platform.h"
#include "app/xhtml_tree.h"

namespace {

using namespace korvel;

void Exec(sqlite3* db, const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    std::fprintf(stderr, "%s\n", error ? error : "sqlite error");
    std::exit(1);
  }
}

void MakeDatabase(const std::string& path, int rows) {
  std::filesystem::remove(path);
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  Exec(db, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;"
           "CREATE TABLE items (id INTEGER PRIMARY KEY, name TEXT, score REAL, qty INTEGER, "
           "note TEXT); BEGIN;");
  std::mt19937_64 rng(20261211);
  const std::string letters = "abcdefghijklmnopqrstuvwxyz      ,.'";
  std::string text;
  for (int i = 0; i < (1 << 16); ++i) text += letters[rng() % letters.size()];
  const char* syllables[] = {"ka", "lo", "mi", "ne", "ru", "sa", "to", "vi", "xe", "zu", "ber", "dan"};
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO items VALUES (?,?,?,?,?)", -1, &insert, nullptr);
  for (int i = 1; i <= rows; ++i) {
    std::string name;
    for (int n = 2 + static_cast<int>(rng() % 4); n > 0; --n) name += syllables[rng() % 12];
    name[0] = static_cast<char>(name[0] - 32);
    const size_t length = rng() % 201;
    const size_t start = rng() % (text.size() - length);
    sqlite3_bind_int64(insert, 1, i);
    sqlite3_bind_text(insert, 2, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_double(insert, 3, static_cast<double>(rng() % 2000000) - 1e6 + 0.25);
    sqlite3_bind_int64(insert, 4, static_cast<int64_t>(rng() % (1ull << 41)) - (1ll << 40));
    if (i % 50) {
      sqlite3_bind_text(insert, 5, text.data() + start, static_cast<int>(length), SQLITE_TRANSIENT);
    } else {
      sqlite3_bind_null(insert, 5);
    }
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  Exec(db, "COMMIT;");
  sqlite3_close(db);
}

long ResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

// Runs the event loop until pred holds, checking every millisecond.
template <class Pred>
void RunUntil(Pred pred) {
  QEventLoop loop;
  QTimer poll;
  poll.setInterval(1);
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (pred()) loop.quit();
  });
  poll.start();
  if (!pred()) loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const std::filesystem::path work =
      argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path() / "korvel_preview_bench";
  const int rows = argc > 2 ? std::stoi(argv[2]) : 1000000;
  std::filesystem::create_directories(work);
  const std::string path = (work / ("items_" + std::to_string(rows) + ".db")).string();
  if (!std::filesystem::exists(path)) {
    QElapsedTimer made;
    made.start();
    MakeDatabase(path, rows);
    std::printf("built %s (%.1f MB) in %.1f s\n", path.c_str(),
                std::filesystem::file_size(path) / 1e6, made.elapsed() / 1000.0);
  }

  app::ScriptedPlatform platform;
  platform.files.paths.push_back(QString::fromStdString(path));
  platform.modals.script = [](QDialog& dialog) {
    auto& selection = static_cast<app::CDravintFileSettingDlg&>(dialog);
    selection.Browse();
    selection.accept();
  };
  app::MainFrameOptions options;
  options.logFolder = QString::fromStdString(work.string());
  options.engineFactory = &app::MakeEngine;
  app::CMainFrame frame(platform.Services(), options);
  frame.resize(1280, 900);
  frame.show();

  QElapsedTimer scan;
  scan.start();
  frame.OnOpen();
  RunUntil([&] { return frame.Idle(); });
  const double scanSeconds = scan.elapsed() / 1000.0;

  ObjectTree& tree = frame.TreeControl()->Tree();
  TreeItem items = kNoItem;
  for (TreeItem group : tree.Children(tree.GetRootItem())) {
    if (tree.GetItemData(group) != kTablesGroupData) continue;
    for (TreeItem t : tree.Children(group)) {
      if (tree.GetItemText(t).find(u"items") != std::u16string::npos) items = t;
    }
  }
  if (items == kNoItem) {
    std::fprintf(stderr, "table items not found\n");
    return 1;
  }

  // The event loop's longest stall: a 5 ms timer notes the longest gap
  // between two of its runs, less its interval.
  QElapsedTimer clock;
  clock.start();
  qint64 last = clock.elapsed();
  qint64 worstStall = 0;
  QTimer probe;
  probe.setTimerType(Qt::PreciseTimer);
  probe.setInterval(5);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    worstStall = std::max(worstStall, now - last - 5);
    last = now;
  });
  const long rssBefore = ResidentKilobytes();
  probe.start();
  last = clock.elapsed();

  QElapsedTimer preview;
  preview.start();
  tree.SelectItem(items);
  frame.OnObjectPreview(items);
  app::RecordListModel& grid = frame.RecordArea()->Records();
  qint64 allRowsAt = -1;
  RunUntil([&] {
    if (allRowsAt < 0 && grid.RowCount() >= static_cast<uint64_t>(rows)) allRowsAt = preview.elapsed();
    return frame.Idle();
  });
  const qint64 doneAt = preview.elapsed();
  probe.stop();
  const long rssAfter = ResidentKilobytes();

  const uint64_t shown = grid.RowCount();
  std::printf("scan: %.2f s\n", scanSeconds);
  std::printf("rows in grid: %llu of %d\n", static_cast<unsigned long long>(shown), rows);
  std::printf("all rows in grid after: %.3f s (preview finished after %.3f s)\n",
              (allRowsAt < 0 ? doneAt : allRowsAt) / 1000.0, doneAt / 1000.0);
  std::printf("longest event-loop stall: %lld ms\n", static_cast<long long>(worstStall));
  std::printf("grid row storage: %.1f bytes per row\n",
              shown ? static_cast<double>(grid.RowMemoryBytes()) / shown : 0.0);
  std::printf("resident memory growth: %.1f bytes per row\n",
              shown ? (rssAfter - rssBefore) * 1024.0 / shown : 0.0);
  std::printf("caption: %s\n", frame.CaptionText().toUtf8().constData());
  const bool ok = shown == static_cast<uint64_t>(rows);
  return ok ? 0 : 2;
}
