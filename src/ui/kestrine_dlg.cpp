#include "ui/kestrine_dlg.h"

#include <QCloseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

#include "config/kestrine_conf.h"
#include "config/recent_copies.h"
#include "config/setting_util.h"
#include "engine/journal/project_journal.h"
#include "engine/mend/copy_verifier.h"
#include "engine/project.h"
#include "presentation/string_table.h"
#include "render/chromium_process.h"
#include "runtime/fs/local_files.h"
#include "ui/about_dlg.h"
#include "ui/artwork.h"
#include "ui/dialog_services.h"
#include "ui/download_queue_view.h"
#include "ui/download_view.h"
#include "ui/qt_text.h"
#include "ui/set_basic_dlg.h"
#include "ui/ui_thread.h"

namespace kestrine {

namespace {

constexpr int kCloseWaitMilliseconds = 1000;
constexpr int kLiveMilliseconds = 500;

}  // namespace

CKestrineDlg::CKestrineDlg(QWidget* parent) : QMainWindow(parent) {
  // The settings are in place before any page reads them.
  SettingUtil::GetInstance().Load();
  setWindowIcon(Artwork::Icon());
  setWindowTitle(QString("%1 V%2").arg(Text(kIdsProductName), Text(kIdsVersion)));
  tabs_ = new QTabWidget(this);
  tabs_->setDocumentMode(false);
  setCentralWidget(tabs_);
  downloadView_ = new CDownloadView(*this);
  queueView_ = new CDownloadQueueView(*this);
  queueView_->browseCopy = [this](const Project::Copy& copy) {
    BrowseCopy(copy.siteFolder, copy.startAddress);
  };
  tabs_->addTab(downloadView_, Text(kIdsDownloadTab));
  tabs_->addTab(queueView_, Text(kIdsQueueTab));
  status_ = new QLabel(this);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  statusBar()->addWidget(status_, 1);
  statusBar()->setSizeGripEnabled(true);
  downloadView_->mayStart = [this] { return LoadDownloadOptions(); };
  progress_ = std::make_unique<RunProgress>(queueView_->project());
  queueView_->phaseChanged = [this](ButtonPhase phase) { OnPhaseChanged(phase); };
  liveTimer_.setInterval(kLiveMilliseconds);
  connect(&liveTimer_, &QTimer::timeout, this, &CKestrineDlg::OnLiveTick);
  BuildMenus();
  closeWait_.setInterval(kCloseWaitMilliseconds);
  connect(&closeWait_, &QTimer::timeout, this, &CKestrineDlg::OnCloseWaitTick);
  resize(900, 560);
  downloadView_->setFocus();
}

CKestrineDlg::~CKestrineDlg() {
  // The engine's threads reach this window until they end: end them before
  // anything they use is taken down.
  downloadView_->WaitForStartThread();
  queueView_->Shutdown();
  closeWait_.stop();
  liveTimer_.stop();
  queueView_->phaseChanged = nullptr;
  delete tabs_;
  tabs_ = nullptr;
}

void CKestrineDlg::BuildMenus() {
  fileMenu_ = menuBar()->addMenu(tr("&File"));
  QMenu* file = fileMenu_;
  file->addAction(tr("&Continue a Copy..."), this, [this] { OnContinueCopy(false); });
  file->addAction(tr("&Update a Copy..."), this, [this] { OnContinueCopy(true); });
  file->addAction(tr("&Verify a Copy..."), this, &CKestrineDlg::OnVerifyCopy);
  file->addAction(tr("&Browse a Copy..."), this, &CKestrineDlg::OnBrowseCopy);
  recentSeparator_ = file->addSeparator();
  exitSeparator_ = file->addSeparator();
  file->addAction(tr("E&xit"), this, &QWidget::close);
  connect(file, &QMenu::aboutToShow, this, &CKestrineDlg::RebuildRecentCopies);
  RebuildRecentCopies();
  QMenu* setting = menuBar()->addMenu(tr("&Setting"));
  setting->addAction(tr("&Setting..."), this, &CKestrineDlg::OnSetting);
  QMenu* help = menuBar()->addMenu(tr("&Help"));
  help->addAction(tr("About Kestrine (&A)..."), this, &CKestrineDlg::OnAbout);
}

void CKestrineDlg::SetStatusOnUiThread(const QString& text) {
  // Pausing, Canceling and the end take the line over from the totals.
  liveTotals_ = false;
  status_->setText(text);
}

void CKestrineDlg::OnPhaseChanged(ButtonPhase phase) {
  if (phase == ButtonPhase::Running || phase == ButtonPhase::Continued) {
    if (phase == ButtonPhase::Running) progress_->Restart();
    liveTotals_ = true;
    liveTimer_.start();
    OnLiveTick();
    return;
  }
  liveTimer_.stop();
  liveTotals_ = false;
  OnLiveTick();
  const Project::Copy copy = queueView_->project().LastCopy();
  RememberCopy(copy.siteFolder, copy.startAddress);
}

void CKestrineDlg::OnLiveTick() {
  const RunProgress::Snapshot snapshot = progress_->Take();
  queueView_->ShowProgress(snapshot.succeeded + snapshot.failed, snapshot.known);
  if (liveTotals_) status_->setText(QString::fromStdString(RunProgress::Line(snapshot)));
}

void CKestrineDlg::SetStatusText(std::u16string text) {
  const QString value = ToQString(text);
  UiThread::Run(this, [this, &value] { SetStatusOnUiThread(value); });
}

void CKestrineDlg::StartDownload(std::u16string address) {
  queueView_->project().AddStartAddress(address);
}

void CKestrineDlg::ShowQueue(DownloadMode mode) {
  // 1. The Queue tab, chosen by program.
  UiThread::Run(this, [this] {
    const QSignalBlocker quiet(tabs_);
    tabs_->setCurrentIndex(1);
  });
  // 2. and 3. The mode, then the run.
  queueView_->project().SetMode(mode);
  // A run refused (another one holds the copy) has said so and ended.
  if (!queueView_->StartProject()) return;
  // 4. to 6. The Download page rests until the run ends.
  UiThread::Run(this, [this] {
    downloadView_->setEnabled(false);
    queueView_->setVisible(true);
  });
}

void CKestrineDlg::EnableDownloadView() {
  UiThread::Run(this, [this] { downloadView_->setEnabled(true); });
}

void CKestrineDlg::ClearQueue() { queueView_->project().ClearProject(); }

void CKestrineDlg::OnSetting() {
  SettingUtil& settings = SettingUtil::GetInstance();
  BasicSetting& record = settings.record();
  // 1. The dialog opens with the stored values.
  CSetBasicDlg dialog(this);
  dialog.threadNumber = record.threadNumber;
  dialog.timeOut = record.timeOut;
  dialog.carried = record.carried;
  dialog.path = ToQString(settings.GetDownloadFolder());
  const std::u16string conf = settings.GetConfigFolder() + u"\\" + KestrineConf::kFileName;
  DownloadOptions options;
  KestrineConf::ApplyFile(conf, options);
  dialog.keepArchive = options.wacz;
  dialog.render = options.render;
  dialog.FillControls();
  // 2. Anything but OK changes nothing.
  if (dialog.exec() != QDialog::Accepted) return;
  // 3. Applied in order, then saved.
  record.threadNumber = dialog.threadNumber;
  record.timeOut = dialog.timeOut;
  record.carried = dialog.carried;
  settings.SetDownloadFolder(FromQString(dialog.path));
  queueView_->project().SetWorkers(dialog.threadNumber);
  settings.AddRecentPath(FromQString(dialog.path));
  settings.Save();
  // Beyond the settings record, in kestrine.conf (read at every start).
  static constexpr const char* kRenderNames[] = {"never", "auto", "always"};
  const bool stored =
      (dialog.keepArchive == options.wacz ||
       KestrineConf::Store(conf, "wacz", dialog.keepArchive ? "on" : "off")) &&
      (dialog.render == options.render ||
       KestrineConf::Store(conf, "render", kRenderNames[static_cast<int>(dialog.render)]));
  if (!stored) {
    DialogServices::Current().messageBox(this, tr("kestrine.conf could not be written."),
                                         windowTitle(), MessageIcon::Warning);
  }
}

bool CKestrineDlg::LoadDownloadOptions() {
  DownloadOptions options;
  const std::vector<std::string> errors = KestrineConf::ApplyFile(
      SettingUtil::GetInstance().GetConfigFolder() + u"\\" + KestrineConf::kFileName, options);
  if (!errors.empty()) {
    QStringList lines;
    for (const std::string& error : errors) lines << QString::fromStdString(error);
    DialogServices::Current().messageBox(this, lines.join('\n'), windowTitle(),
                                         MessageIcon::Warning);
    return false;
  }
  if (!PrepareRenderer(options)) return false;
  queueView_->project().SetOptions(std::move(options));
  return true;
}

// A browser for the run's pages, unless they are never rendered. Without
// Chromium, "auto" renders nothing and says so; "always" does not start.
bool CKestrineDlg::PrepareRenderer(DownloadOptions& options) {
  queueView_->project().SetRenderer(nullptr);
  renderer_.reset();
  if (options.render == RenderMode::Never) return true;
  const std::string chromium = ChromiumProcess::Executable();
  if (chromium.empty()) {
    if (options.render == RenderMode::Always) {
      DialogServices::Current().messageBox(
          this, tr("Pages are set to be rendered always, but Chromium is not installed."),
          windowTitle(), MessageIcon::Warning);
      return false;
    }
    options.render = RenderMode::Never;
    statusBar()->showMessage(tr("Chromium is not installed: pages are not rendered"));
    return true;
  }
  renderer_ = std::make_unique<ChromiumRenderer>(ChromiumRenderer::Settings{
      chromium, options.renderTabs, std::chrono::seconds(options.renderTimeoutSeconds), {}});
  queueView_->project().SetRenderer(renderer_.get());
  return true;
}

QString CKestrineDlg::ChooseCopyFolder() {
  return DialogServices::Current().inputFolder(
      this, ToQString(SettingUtil::GetInstance().GetDownloadFolder()));
}

void CKestrineDlg::OnContinueCopy(bool update) {
  // Only while no project runs or waits for Continue.
  if (!downloadView_->isEnabled()) return;
  const QString folder = ChooseCopyFolder();
  if (!folder.isEmpty()) ContinueCopy(folder, update);
}

void CKestrineDlg::ContinueCopy(const QString& folder, bool update) {
  if (!downloadView_->isEnabled()) return;
  const std::u16string siteFolder = FromQString(folder);
  const ProjectJournal::Contents journal = ProjectJournal::ReadCopy(siteFolder);
  if (!journal.found || (!update && journal.ended)) {
    DialogServices::Current().messageBox(
        this,
        journal.found ? tr("This copy was finished; Update a Copy brings it up to date.")
                      : tr("This folder holds no copy that Kestrine made."),
        windowTitle(), MessageIcon::Information);
    return;
  }
  if (!LoadDownloadOptions()) return;
  if (!journal.entries.empty()) RememberCopy(siteFolder, journal.entries.front().address);
  {
    const QSignalBlocker quiet(tabs_);
    tabs_->setCurrentIndex(1);
  }
  downloadView_->setEnabled(false);
  queueView_->project().ContinueCopy(siteFolder, update);
}

void CKestrineDlg::OnVerifyCopy() {
  const QString folder = ChooseCopyFolder();
  if (!folder.isEmpty()) VerifyCopy(folder);
}

void CKestrineDlg::VerifyCopy(const QString& folder) {
  RememberChosenCopy(FromQString(folder));
  const CopyVerifier::Report report = CopyVerifier::Verify(FromQString(folder));
  QString text = QString::fromStdString(report.Summary());
  for (std::size_t i = 0; i < report.dead.size() && i < 20; ++i) {
    text += QString("\n%1: %2")
                .arg(QString::fromStdString(report.dead[i].document),
                     QString::fromStdString(report.dead[i].reference));
  }
  DialogServices::Current().messageBox(
      this, text, windowTitle(),
      report.dead.empty() ? MessageIcon::Information : MessageIcon::Warning);
}

void CKestrineDlg::OnBrowseCopy() {
  const QString folder = ChooseCopyFolder();
  if (!folder.isEmpty()) BrowseFolder(folder);
}

void CKestrineDlg::BrowseFolder(const QString& folder) {
  const std::u16string siteFolder = FromQString(folder);
  BrowseCopy(siteFolder, RememberChosenCopy(siteFolder));
}

void CKestrineDlg::BrowseCopy(const std::u16string& siteFolder,
                              const std::u16string& startAddress) {
  // The start page's path on the site: what the copy is served under.
  const std::u16string withoutScheme = WithoutWebScheme(startAddress);
  const std::size_t slash = withoutScheme.find(u'/');
  const std::u16string path = slash == std::u16string::npos ? u"" : withoutScheme.substr(slash + 1);
  viewer_ = std::make_unique<CopyViewer>(siteFolder);
  if (viewer_->Start() == 0) {
    // Without the viewer the copy still opens from disk, scripts aside.
    viewer_.reset();
    const std::u16string file = path.empty() ? u"index.html" : path;
    DialogServices::Current().open(QString::fromStdString(NativePath(siteFolder + u"\\" + file)));
    return;
  }
  DialogServices::Current().openUrl(QString::fromStdString(viewer_->Url()) + ToQString(path));
}

QString CKestrineDlg::ViewerUrl() const {
  return viewer_ ? QString::fromStdString(viewer_->Url()) : QString();
}

void CKestrineDlg::RebuildRecentCopies() {
  // Each submenu owns its action; it goes once any of its commands has run.
  for (QAction* action : recentActions_) {
    fileMenu_->removeAction(action);
    action->menu()->deleteLater();
  }
  recentActions_.clear();
  int number = 0;
  for (const RecentCopies::Copy& copy :
       RecentCopies(SettingUtil::GetInstance().GetConfigFolder()).Load()) {
    // A copy moved or deleted since is not offered.
    if (LocalFileSize(copy.siteFolder + u"\\" + ProjectJournal::kFileName) < 0) continue;
    ++number;
    auto* menu =
        new QMenu(QString("&%1 %2 — %3")
                      .arg(number)
                      .arg(ToQString(DisplayPath(copy.siteFolder)), ToQString(copy.startAddress)),
                  fileMenu_);
    const QString folder = ToQString(copy.siteFolder);
    menu->addAction(tr("&Continue"), this, [this, folder] { ContinueCopy(folder, false); });
    menu->addAction(tr("&Update"), this, [this, folder] { ContinueCopy(folder, true); });
    menu->addAction(tr("&Verify"), this, [this, folder] { VerifyCopy(folder); });
    menu->addAction(tr("&Browse"), this, [this, folder] { BrowseFolder(folder); });
    fileMenu_->insertMenu(exitSeparator_, menu);
    recentActions_.push_back(menu->menuAction());
  }
  recentSeparator_->setVisible(!recentActions_.empty());
}

std::vector<QString> CKestrineDlg::RecentCopyTitles() const {
  std::vector<QString> titles;
  for (const QAction* action : recentActions_) titles.push_back(action->text());
  return titles;
}

void CKestrineDlg::TriggerRecentCopy(int index, const QString& command) {
  if (index < 0 || index >= static_cast<int>(recentActions_.size())) return;
  for (QAction* action : recentActions_[index]->menu()->actions()) {
    if (QString(action->text()).remove('&') == command) action->trigger();
  }
}

void CKestrineDlg::RememberCopy(const std::u16string& siteFolder,
                                const std::u16string& startAddress) {
  if (siteFolder.empty() || startAddress.empty()) return;
  RecentCopies(SettingUtil::GetInstance().GetConfigFolder()).Add({siteFolder, startAddress});
}

std::u16string CKestrineDlg::RememberChosenCopy(const std::u16string& siteFolder) {
  const ProjectJournal::Contents journal = ProjectJournal::ReadCopy(siteFolder);
  if (!journal.found || journal.entries.empty()) return {};
  RememberCopy(siteFolder, journal.entries.front().address);
  return journal.entries.front().address;
}

void CKestrineDlg::OnAbout() {
  CAboutDlg about(this);
  about.exec();
}

void CKestrineDlg::closeEvent(QCloseEvent* event) {
  if (mayClose_) {
    event->accept();
    return;
  }
  // 1. and 2. Nothing transferring: the window ends once the run thread, if
  // one is still finishing, has taken its last step.
  if (queueView_->project().ActiveDownloads() <= 0) {
    downloadView_->WaitForStartThread();
    queueView_->Shutdown();
    mayClose_ = true;
    event->accept();
    return;
  }
  // 3. Downloads run: ask them to stop and look again every second.
  event->ignore();
  closeWait_.start();
  RequestCancel();
}

void CKestrineDlg::OnCloseWaitTick() {
  if (queueView_->project().ActiveDownloads() != 0) return;
  closeWait_.stop();
  close();
}

}  // namespace kestrine
