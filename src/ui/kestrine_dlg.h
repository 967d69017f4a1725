#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QTabWidget>
#include <QTimer>
#include <atomic>
#include <memory>
#include <vector>

#include "engine/surface/i_status_monitor.h"
#include "engine/surface/run_state.h"
#include "presentation/run_progress.h"
#include "render/chromium_renderer.h"
#include "surfaces/controlled_status_monitor.h"
#include "viewer/copy_viewer.h"

namespace kestrine {

class CDownloadView;
class CDownloadQueueView;

// The main window: the Download and Queue pages on tabs, the status line,
// the menus, and the status monitor through which the engine reaches them.
class CKestrineDlg : public QMainWindow, public ControlledStatusMonitor {
  Q_OBJECT

 public:
  explicit CKestrineDlg(QWidget* parent = nullptr);
  ~CKestrineDlg() override;

  CDownloadView& downloadView() { return *downloadView_; }
  CDownloadQueueView& queueView() { return *queueView_; }
  QTabWidget& tabs() { return *tabs_; }
  QString StatusLineText() const { return status_->text(); }

  // The status monitor, from any thread.
  void SetStatusText(std::u16string text) override;
  // Transfers run only while the totals show, and the totals say more.
  void SetTransferText(std::u16string) override {}
  void OnRunEnded() override {}
  void StartDownload(std::u16string address) override;
  void ShowQueue(DownloadMode mode) override;
  void EnableDownloadView() override;
  void ClearQueue() override;

  // Setting > Setting...: the settings dialog, applied and saved on OK.
  void OnSetting();
  void OnAbout();
  // File > Continue a Copy... and Update a Copy...: the project recorded in
  // a chosen site folder runs on. Verify a Copy... checks one.
  void OnContinueCopy(bool update);
  void OnVerifyCopy();
  // File > Browse a Copy... and the Queue page's Browse Copy: the copy is
  // served on this computer and its start page opened in the browser.
  void OnBrowseCopy();
  // The same commands on a folder already chosen (the recent copies).
  void ContinueCopy(const QString& folder, bool update);
  void VerifyCopy(const QString& folder);
  void BrowseFolder(const QString& folder);
  // File lists the last copies made or opened, each with Continue, Update,
  // Verify and Browse; rebuilt whenever the menu opens.
  void RebuildRecentCopies();
  std::vector<QString> RecentCopyTitles() const;
  // Runs a recent copy's command ("Continue", "Update", "Verify", "Browse").
  void TriggerRecentCopy(int index, const QString& command);
  void BrowseCopy(const std::u16string& siteFolder, const std::u16string& startAddress);
  // The address the copy is served at, while it is; empty otherwise.
  QString ViewerUrl() const;
  // Reads kestrine.conf into the project's options; false, after saying
  // what is wrong with it, when a line cannot be used.
  bool LoadDownloadOptions();
  bool PrepareRenderer(DownloadOptions& options);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void OnCloseWaitTick();
  void SetStatusOnUiThread(const QString& text);
  // While a run goes, the status line shows its totals twice a second;
  // Pausing, Canceling and the end replace them.
  void OnPhaseChanged(ButtonPhase phase);
  void OnLiveTick();
  QString ChooseCopyFolder();
  void RememberCopy(const std::u16string& siteFolder, const std::u16string& startAddress);
  // A folder the user picked: its start address, from its journal (empty
  // when it has none), is remembered with it and returned.
  std::u16string RememberChosenCopy(const std::u16string& siteFolder);

  QTabWidget* tabs_;
  QLabel* status_;
  QTimer closeWait_;
  bool mayClose_ = false;
  CDownloadView* downloadView_;
  CDownloadQueueView* queueView_;
  std::unique_ptr<CopyViewer> viewer_;
  // Outlives every run: the engine's threads are ended before it goes.
  std::unique_ptr<ChromiumRenderer> renderer_;
  std::unique_ptr<RunProgress> progress_;
  QTimer liveTimer_;
  bool liveTotals_ = false;
  QMenu* fileMenu_ = nullptr;
  QAction* recentSeparator_ = nullptr;
  QAction* exitSeparator_ = nullptr;
  std::vector<QAction*> recentActions_;
};

}  // namespace kestrine
