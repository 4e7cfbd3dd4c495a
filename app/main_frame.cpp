#include "app/main_frame.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDialog>
#include <QThread>
#include <QVBoxLayout>

#include "app/about_dialog.h"
#include "app/caption_bar.h"
#include "app/engine_factory.h"
#include "app/file_view.h"
#include "app/output_wnd.h"
#include "app/record_area.h"
#include "app/ribbon_bar.h"
#include "app/splash_screen.h"
#include "app/status_bar.h"
#include "app/ui_dispatcher.h"
#include "app/window_host.h"
#include "app/xhtml_tree.h"
#include "core/app_title.h"
#include "output/mapping_dialog/mapping_dlg.h"

namespace korvel::app {

CMainFrame::CMainFrame(PlatformServices services, MainFrameOptions options, QWidget* parent)
    : QMainWindow(parent),
      services_(services),
      options_(std::move(options)),
      registry_(QStringLiteral("KorvelDaltropFullv22.0"), QString::fromUtf16(kAppTitle)) {
  setObjectName(QStringLiteral("MainFrame"));
  if (!options_.engineFactory) options_.engineFactory = &MakeEngine;
  // First of all the splash window; it goes away by itself.
  if (options_.showSplash) (new CSplashScreenEx(this))->Show();

  // The stored look, written back (only the default look is drawn).
  applicationLook_ =
      registry_.value(QStringLiteral("ApplicationLook"), kDefaultApplicationLook).toInt();
  registry_.setValue(QStringLiteral("ApplicationLook"), applicationLook_);

  ribbon_ = new CRibbonBar(this);
  captionBar_ = new CMyCaptionBar(this);
  auto* top = new QWidget(this);
  auto* topLayout = new QVBoxLayout(top);
  topLayout->setContentsMargins(0, 0, 0, 0);
  topLayout->setSpacing(0);
  topLayout->addWidget(ribbon_);
  topLayout->addWidget(captionBar_);
  setMenuWidget(top);
  connect(ribbon_, &CRibbonBar::Command, this, &CMainFrame::Command);

  statusBar_ = new CRibbonStatusBarCls(this);
  setStatusBar(statusBar_);
  connect(statusBar_, &CRibbonStatusBarCls::LinkActivated, this,
          [this] { services_.urls->Open(QUrl(QString::fromLatin1(kProductWebPage))); });

  setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks);
  fileView_ = new CFileView(this);
  outputWnd_ = new COutputWnd(this);
  for (QDockWidget* pane : {static_cast<QDockWidget*>(fileView_),
                            static_cast<QDockWidget*>(outputWnd_)}) {
    pane->setAllowedAreas(Qt::AllDockWidgetAreas);
    pane->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                      QDockWidget::DockWidgetFloatable);
  }
  addDockWidget(Qt::LeftDockWidgetArea, fileView_);
  addDockWidget(Qt::BottomDockWidgetArea, outputWnd_);
  resizeDocks({fileView_}, {200}, Qt::Horizontal);
  resizeDocks({outputWnd_}, {100}, Qt::Vertical);

  view_ = new CDravintHalvorkProjView(this);
  setCentralWidget(view_);
  tree_ = fileView_->TreeControl();
  recordArea_ = view_->RecordArea();
  connect(tree_, &CXHtmlTree::PreviewRequested, this,
          [this](TreeItem item) { OnObjectPreview(item); });

  dispatcher_ = new UiDispatcher(this);
  WindowParts parts;
  parts.owner = this;
  parts.messages = services_.messages;
  parts.tree = tree_;
  parts.records = &recordArea_->Records();
  parts.progress = statusBar_->Progress();
  parts.writeOutputLine = [this](const QString& text) { WriteOutputLine(text); };
  parts.setCaptionText = [this](const QString& text) { SetCaptionText(text); };
  host_ = std::make_unique<WindowHost>(*dispatcher_, std::move(parts), settings_, stop_);

  progressTimer_.setInterval(40);
  connect(&progressTimer_, &QTimer::timeout, this, [this] { host_->ApplyProgress(); });
  progressTimer_.start();

  setWindowTitle(QString::fromUtf16(kAppTitle));
  SetCaptionText(QStringLiteral("Select database file to continue the recovery process."));
  SetProgressShown(false);
  SetBusy(false);
  resize(1200, 800);

  const QString folder = options_.logFolder.isEmpty() ? OutputLog::DefaultFolder()
                                                      : options_.logFolder;
  outputWnd_->Log().Open(folder, QDateTime::currentDateTime());
}

CMainFrame::~CMainFrame() {
  // A worker may wait on the window: wake it, let it run to its end and
  // join it before anything it uses goes away.
  stop_ = true;
  host_->Abandon();
  dispatcher_->Abandon();
  if (worker_) {
    worker_->wait();
    delete worker_;
    worker_ = nullptr;
  }
  database_ = OpenDatabase();
  outputWnd_->Log().Close();
}

EngineHost& CMainFrame::Host() { return *host_; }

QString CMainFrame::LogPath() const { return outputWnd_->Log().Path(); }

void CMainFrame::WriteOutputLine(const QString& text) { outputWnd_->WriteOutputLine(text); }

void CMainFrame::SetCaptionText(const QString& text) { captionBar_->SetText(text); }

void CMainFrame::Message(const QString& text) {
  services_.messages->Show(this, text, QString::fromUtf16(kAppTitle), MessageButtons::Ok,
                           MessageIcon::Information);
}

bool CMainFrame::Ask(const QString& text, MessageIcon icon) {
  return services_.messages->Show(this, text, QString::fromUtf16(kAppTitle),
                                  MessageButtons::YesNo, icon) == MessageAnswer::Yes;
}

void CMainFrame::SetBusy(bool busy) {
  busy_ = busy ? 1 : 0;
  if (QToolButton* stop = ribbon_->Button(kCmdStop)) stop->setEnabled(busy);
}

void CMainFrame::SetProgressShown(bool shown) {
  host_->ApplyProgress();
  statusBar_->Progress()->setVisible(shown);
}

void CMainFrame::Command(int commandId) {
  switch (commandId) {
    case kCmdOpen: OnOpen(); break;
    case kCmdStop: OnStop(); break;
    case kCmdMapColumn: OnMapColumn(); break;
    case kCmdSave: OnSave(); break;
    case kCmdHelp: OnHelp(); break;
    case kCmdAbout: OnAbout(); break;
    default: break;
  }
}

void CMainFrame::OnStop() {
  if (closing_ || !Busy()) return;
  if (!Ask(QStringLiteral("Are you sure to stop the running process?"),
           MessageIcon::Information)) {
    return;
  }
  // The worker may have ended while the question was open.
  if (!Busy()) return;
  SetBusy(false);
  stop_ = true;
}

void CMainFrame::OnMapColumn() {
  if (closing_) return;
  // The mapping dialog asks the engine for names: not while a worker uses it.
  if (Busy() || WorkerRunning()) {
    Message(QStringLiteral("Please wait for the running process."));
    return;
  }
  if (options_.mapColumnDialog) {
    options_.mapColumnDialog();
    return;
  }
  MappingDlg dialog(tree_->Tree(), Engine(), settings_, mapping,
                    [this](QWidget* owner, const QString& text) {
                      services_.messages->Show(owner, text, QString::fromUtf16(kAppTitle),
                                               MessageButtons::Ok, MessageIcon::None);
                    },
                    this);
  services_.modals->Run(dialog);
}

void CMainFrame::OnHelp() {
  if (closing_) return;
  if (Busy()) {
    Message(QStringLiteral("Please stop the running process to continue the process."));
    return;
  }
  services_.urls->Open(QUrl(QString::fromLatin1(kProductHelpPage)));
}

void CMainFrame::OnAbout() {
  if (closing_) return;
  if (Busy()) {
    Message(QStringLiteral("Please stop the running process to continue the process."));
    return;
  }
  if (options_.aboutDialog) {
    options_.aboutDialog();
    return;
  }
  if (aboutDlg_ == nullptr) aboutDlg_ = new CDravintAboutDlg(services_, this);
  services_.modals->Run(*aboutDlg_);
}

void CMainFrame::StartWorker(std::function<void()> work, std::function<void()> then) {
  workerThen_ = std::move(then);
  worker_ = QThread::create(std::move(work));
  connect(worker_, &QThread::finished, this, &CMainFrame::OnWorkerFinished,
          Qt::QueuedConnection);
  worker_->start();
}

void CMainFrame::OnWorkerFinished() {
  if (worker_ == nullptr) return;
  worker_->wait();
  delete worker_;
  worker_ = nullptr;
  auto then = std::move(workerThen_);
  workerThen_ = nullptr;
  auto next = std::move(afterWorker_);
  afterWorker_ = nullptr;
  if (next) {
    // A command accepted after Stop has waited for this worker: it owns the
    // busy flag now.
    next();
    return;
  }
  if (then) then();
}

void CMainFrame::WhenWorkerIdle(std::function<void()> next) {
  if (worker_ == nullptr) {
    next();
    return;
  }
  afterWorker_ = std::move(next);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  // The process ends inside this handler; the window itself never closes.
  event->ignore();
  if (closing_) return;
  if (Busy()) {
    Message(QStringLiteral("Please stop the running process to close the application."));
    return;
  }
  if (!Ask(QStringLiteral("Do you want to close the application?"), MessageIcon::Question)) {
    return;
  }
  closing_ = true;
  stop_ = true;
  WhenWorkerIdle([this] { FinishClose(); });
}

void CMainFrame::FinishClose() {
  database_ = OpenDatabase();
  settings_.reader = nullptr;
  outputWnd_->Log().Close();
  Message(QStringLiteral("Log file path: ") + LogPath());
  services_.urls->Open(QUrl(QString::fromLatin1(kProductWebPage)));
  services_.terminator->Terminate(kCloseExitCode);
}

}  // namespace korvel::app
