#pragma once

#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QWidget>
#include <functional>
#include <memory>

#include "engine/project.h"
#include "surfaces/notice_run_state.h"
#include "ui/queue_filter_model.h"
#include "ui/queue_table_model.h"

namespace kestrine {

class IStatusMonitor;

// The Queue page: every download of the project in a list, and the buttons
// that pause, continue, cancel and clear it and open the download folder.
// It owns the project (the engine, without windows of its own) and is the
// project's run-state surface and folder opener.
class CDownloadQueueView : public QWidget, public NoticeRunState, public IFolderOpener {
  Q_OBJECT

 public:
  CDownloadQueueView(IStatusMonitor& monitor, QWidget* parent = nullptr);
  ~CDownloadQueueView() override;

  Project& project() { return *project_; }
  QueueTableModel& model() { return model_; }
  QTableView& list() { return *list_; }
  QPushButton& pauseButton() { return *pause_; }
  QPushButton& continueButton() { return *continue_; }
  QPushButton& cancelButton() { return *cancel_; }
  QPushButton& clearButton() { return *clear_; }
  QPushButton& openFolderButton() { return *openFolder_; }
  QPushButton& browseButton() { return *browse_; }
  QPushButton& failuresButton() { return *failures_; }
  QProgressBar& progressBar() { return *progress_; }
  // The rows as the list shows them: filtered and sorted, or the model.
  QAbstractItemModel& shownRows() { return *list_->model(); }
  // Files ended against addresses known.
  void ShowProgress(int ended, int known);
  // Sorts the list by a column (Number, Size or Progress); -1 for number
  // order.
  void SortBy(int column, Qt::SortOrder order);
  // Told on the window thread whenever the buttons change phase.
  std::function<void(ButtonPhase)> phaseChanged;
  // What "Browse Copy" does with the copy a run left.
  std::function<void(const Project::Copy&)> browseCopy;

  // The run-state surface and the folder opener, from any thread.
  void SetButtonPhase(ButtonPhase phase) override;
  void ShowMessageBox(std::u16string text, std::u16string caption, MessageIcon icon) override;
  void OpenFolder(std::u16string folder) override;

  // The Start command.
  Status StartProject();
  // Cancels a run that is still going and waits, delivering its window
  // changes, until its thread has taken its last step.
  void Shutdown();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void OnPause();
  void OnContinue();
  void OnCancel();
  void OnClear();
  void OnOpenFolder();
  void OnBrowse();
  void OnDoubleClick(const QModelIndex& index);
  void OnShowFailures(bool only);
  void OnHeaderClicked(int column);
  // The list reads the model straight while it is neither filtered nor
  // sorted: a proxy costs every insertion of a long run.
  void UpdateListModel();
  void ApplyPhase(ButtonPhase phase);
  QPushButton* MakeButton(int textId, int xDialogUnits);

  IStatusMonitor& monitor_;
  QueueTableModel model_;
  QTableView* list_;
  QPushButton* pause_;
  QPushButton* continue_;
  QPushButton* cancel_;
  QPushButton* clear_;
  QPushButton* openFolder_;
  QPushButton* browse_;
  QPushButton* failures_;
  QProgressBar* progress_;
  QueueFilterModel filter_;
  bool failuresOnly_ = false;
  int sortColumn_ = -1;
  Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
  std::unique_ptr<Project> project_;
};

}  // namespace kestrine
