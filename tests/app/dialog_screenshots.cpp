// Writes screenshots of the splash window over the main window, the About
// dialog and the Column Mapping dialog into the folder given as argument:
// screenshot-splash.png, screenshot-about.png, screenshot-mapping.png.
// Meant for a virtual display (scripts/screenshot-dialogs.sh).

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QScreen>
#include <QTableWidget>
#include <QTemporaryDir>

#include <cstdio>

#include "app/about_dialog.h"
#include "app/main_frame.h"
#include "app/scripted_platform.h"
#include "app/splash_screen.h"
#include "core/object_tree.h"
#include "output/column_types.h"
#include "output/mapping_dialog/mapping_dlg.h"

namespace {

void Pump(int milliseconds) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < milliseconds) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
}

bool Save(const QPixmap& picture, const QString& path) {
  if (!picture.save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

class ShowcaseEngine : public korvel::sqlite_base {
 public:
  std::u16string CleanName(std::u16string name) override {
    return korvel::CleanName(std::move(name));
  }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: dialog_screenshots OUTPUT_FOLDER\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  QTemporaryDir logs;
  korvel::app::ScriptedPlatform platform;
  bool ok = true;

  // The splash over the window being created, once it has faded in.
  {
    korvel::app::MainFrameOptions options;
    options.logFolder = logs.path();
    korvel::app::CMainFrame frame(platform.Services(), options);
    frame.setGeometry(frame.screen()->availableGeometry());
    frame.showMaximized();
    Pump(900);
    if (frame.findChild<korvel::app::CSplashScreenEx*>() == nullptr) {
      std::fprintf(stderr, "the splash window is gone too early\n");
      ok = false;
    }
    ok &= Save(frame.screen()->grabWindow(0), out.filePath("screenshot-splash.png"));
  }

  {
    korvel::app::CDravintAboutDlg about(platform.Services());
    about.show();
    Pump(300);
    ok &= Save(about.grab(), out.filePath("screenshot-about.png"));
  }

  {
    korvel::ObjectTree tree;
    ShowcaseEngine engine;
    korvel::ScanSettings settings;
    korvel::MappingState state;
    engine.model.tableDescriptors = {u"customers +id< P.K >~name~joined~balance~photo~#2"};
    engine.model.columnTypes = {{u"INTEGER", u"TEXT", u"date", u"CURRENCY", u"BLOB"}};
    engine.model.createStatements = {u"create Table [customers] ( ... )"};
    const korvel::TreeItem root = tree.InsertItem(u"/data/shop.db", korvel::kNoItem,
                                                  korvel::InsertPosition::Last);
    tree.SetItemData(root, korvel::kRootItemData);
    const korvel::TreeItem tables =
        tree.InsertItem(korvel::kTablesGroupText, root, korvel::InsertPosition::Last);
    tree.SetItemData(tables, korvel::kTablesGroupData);
    const korvel::TreeItem table =
        tree.InsertItem(u" customers ", tables, korvel::InsertPosition::Last);
    tree.SetItemData(table, 0);
    tree.SelectItem(table);
    korvel::MappingDlg dialog(tree, &engine, settings, state, nullptr);
    dialog.show();
    dialog.ColumnList()->selectRow(1);
    dialog.OnListClick(1);
    dialog.TypeCombo()->setCurrentIndex(dialog.TypeCombo()->findText(QStringLiteral("Memo")));
    dialog.OnChangeColumnType();
    Pump(300);
    ok &= Save(dialog.grab(), out.filePath("screenshot-mapping.png"));
  }
  return ok ? 0 : 1;
}
