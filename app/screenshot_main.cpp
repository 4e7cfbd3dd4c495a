// korvel-lumquist-screenshot OUTPUT.png: builds a small example database,
// opens it in the main window, previews its first table and saves a picture
// of the window. Questions are answered by script; nothing waits for a person.

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QScreen>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTimer>

#include <sqlite3.h>

#include <cstdio>

#include "app/engine_factory.h"
#include "app/main_frame.h"
#include "app/record_area.h"
#include "app/scripted_platform.h"
#include "app/xhtml_tree.h"

namespace {

bool MakeExample(const QString& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK) return false;
  QString sql =
      "BEGIN;"
      "CREATE TABLE customers (id INTEGER PRIMARY KEY, name TEXT, city TEXT, balance REAL);"
      "CREATE TABLE orders (id INTEGER PRIMARY KEY, customer INTEGER, item TEXT, qty INTEGER);"
      "CREATE INDEX orders_by_customer ON orders(customer);"
      "CREATE VIEW big_orders AS SELECT * FROM orders WHERE qty > 10;"
      "CREATE TRIGGER orders_check AFTER INSERT ON orders BEGIN SELECT 1; END;";
  const char* names[] = {"Ada Lindqvist", "Bruno Keller", "Chiara Rossi", "Dmitri Volkov",
                         "Elif Demir",    "Femi Adeyemi", "Greta Holm",   "Hiro Tanaka"};
  const char* cities[] = {"Uppsala", "Basel", "Torino", "Kazan", "Izmir", "Lagos", "Bergen", "Osaka"};
  for (int i = 0; i < 40; ++i) {
    sql += QString("INSERT INTO customers VALUES (%1, '%2', '%3', %4);")
               .arg(i + 1)
               .arg(names[i % 8])
               .arg(cities[(i * 3) % 8])
               .arg((i * 7919 % 100000) / 100.0);
    sql += QString("INSERT INTO orders VALUES (%1, %2, 'part-%3', %4);")
               .arg(i + 1)
               .arg(i % 8 + 1)
               .arg(1000 + i * 17)
               .arg(i % 23);
  }
  sql += "COMMIT;";
  const bool ok = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

template <class Pred>
void RunUntil(Pred pred, int milliseconds) {
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (pred()) loop.quit();
  });
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  poll.start(5);
  if (!pred()) loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
    return 2;
  }
  if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion"))) QApplication::setStyle(style);
  QTemporaryDir work;
  const QString path = QDir(work.path()).filePath(QStringLiteral("customers.db"));
  if (!MakeExample(path)) return 1;

  using namespace korvel;
  app::ScriptedPlatform platform;
  platform.files.paths.push_back(path);
  platform.modals.script = [](QDialog& dialog) {
    auto& selection = static_cast<app::CDravintFileSettingDlg&>(dialog);
    selection.Browse();
    selection.accept();
  };
  app::MainFrameOptions options;
  options.logFolder = work.path();
  options.engineFactory = &app::MakeEngine;
  app::CMainFrame frame(platform.Services(), options);
  frame.resize(1280, 800);
  frame.show();
  RunUntil([] { return false; }, 300);

  frame.OnOpen();
  RunUntil([&] { return frame.Idle(); }, 20000);
  ObjectTree& tree = frame.TreeControl()->Tree();
  TreeItem first = kNoItem;
  for (TreeItem group : tree.Children(tree.GetRootItem())) {
    if (tree.GetItemData(group) == kTablesGroupData) {
      for (TreeItem t : tree.Children(group)) {
        if (tree.GetItemText(t).find(u"customers") != std::u16string::npos) first = t;
      }
      if (first == kNoItem) first = tree.GetChildItem(group);
      tree.SetCheck(group, 1);
    }
  }
  if (first != kNoItem) {
    tree.SelectItem(first);
    frame.OnObjectPreview(first);
    RunUntil([&] { return frame.Idle(); }, 20000);
  }
  RunUntil([] { return false; }, 300);
  const bool saved = frame.grab().save(QString::fromLocal8Bit(argv[1]));
  std::printf("%s %s\n", saved ? "wrote" : "could not write", argv[1]);
  return saved ? 0 : 1;
}
