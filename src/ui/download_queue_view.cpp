#include "ui/download_queue_view.h"

#include <QHeaderView>
#include <QResizeEvent>
#include <array>

#include "config/setting_util.h"
#include "engine/surface/i_status_monitor.h"
#include "presentation/string_table.h"
#include "runtime/fs/local_files.h"
#include "ui/dialog_services.h"
#include "ui/qt_text.h"
#include "ui/ui_thread.h"

namespace kestrine {

namespace {

constexpr int kColumnWidths[kQueueColumnCount] = {150, 100, 100, 100, 100, 100, 300};
// Buttons are 50 by 21 dialog units, in a row at y 6.
constexpr int kButtonWidth = 50;
constexpr int kButtonHeight = 21;
constexpr int kButtonTop = 6;

}  // namespace

CDownloadQueueView::CDownloadQueueView(IStatusMonitor& monitor, QWidget* parent)
    : QWidget(parent), monitor_(monitor), model_(this) {
  list_ = new QTableView(this);
  list_->setModel(&model_);
  list_->setShowGrid(true);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setContextMenuPolicy(Qt::PreventContextMenu);
  list_->setWordWrap(false);
  list_->verticalHeader()->setVisible(false);
  list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  list_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  list_->horizontalHeader()->setHighlightSections(false);
  for (int column = 0; column < kQueueColumnCount; ++column) {
    list_->setColumnWidth(column, kColumnWidths[column]);
  }
  connect(list_, &QTableView::doubleClicked, this, &CDownloadQueueView::OnDoubleClick);
  list_->setAccessibleName(tr("Downloads"));
  list_->horizontalHeader()->setSectionsClickable(true);
  list_->horizontalHeader()->setSortIndicatorShown(false);
  connect(list_->horizontalHeader(), &QHeaderView::sectionClicked, this,
          &CDownloadQueueView::OnHeaderClicked);

  pause_ = MakeButton(kIdsPauseButton, 7);
  continue_ = MakeButton(kIdsContinueButton, 58);
  cancel_ = MakeButton(kIdsCancelButton, 109);
  clear_ = MakeButton(kIdsClearButton, 160);
  openFolder_ = MakeButton(kIdsOpenFolderButton, 211);
  browse_ = new QPushButton(tr("&Browse Copy"), this);
  browse_->setToolTip(
      tr("Open the copy in the browser, served from this computer, so its "
         "scripts, search and navigation work as online"));
  browse_->setGeometry(openFolder_->geometry().right() + 8, openFolder_->geometry().top(),
                       std::max(openFolder_->width(), browse_->sizeHint().width()),
                       openFolder_->height());
  browse_->setEnabled(false);
  connect(browse_, &QPushButton::clicked, this, &CDownloadQueueView::OnBrowse);
  failures_ = new QPushButton(tr("Show &Failures"), this);
  failures_->setCheckable(true);
  failures_->setToolTip(tr("Show only the downloads that failed (press again for all)"));
  failures_->setGeometry(browse_->geometry().right() + 8, browse_->geometry().top(),
                         std::max(openFolder_->width(), failures_->sizeHint().width()),
                         browse_->height());
  connect(failures_, &QPushButton::toggled, this, &CDownloadQueueView::OnShowFailures);
  progress_ = new QProgressBar(this);
  progress_->setRange(0, 1);
  progress_->setValue(0);
  progress_->setFormat(tr("%v of %m"));
  progress_->setAccessibleName(tr("Files ended of those known"));
  connect(pause_, &QPushButton::clicked, this, &CDownloadQueueView::OnPause);
  connect(continue_, &QPushButton::clicked, this, &CDownloadQueueView::OnContinue);
  connect(cancel_, &QPushButton::clicked, this, &CDownloadQueueView::OnCancel);
  connect(clear_, &QPushButton::clicked, this, &CDownloadQueueView::OnClear);
  connect(openFolder_, &QPushButton::clicked, this, &CDownloadQueueView::OnOpenFolder);
  for (QPushButton* button : {pause_, continue_, cancel_, clear_}) button->setEnabled(false);
  setTabOrder(pause_, continue_);
  setTabOrder(continue_, cancel_);
  setTabOrder(cancel_, clear_);
  setTabOrder(clear_, openFolder_);
  setTabOrder(openFolder_, browse_);
  setTabOrder(browse_, failures_);
  setTabOrder(failures_, list_);
  for (QPushButton* button :
       {pause_, continue_, cancel_, clear_, openFolder_, browse_, failures_}) {
    button->setAccessibleName(button->text().remove('&'));
  }

  project_ = std::make_unique<Project>(monitor_, model_, *this, *this);
  project_->SetRunStoppedListener([this] { UiThread::Wake(this); });
  project_->SetWorkers(SettingUtil::GetInstance().record().threadNumber);
}

CDownloadQueueView::~CDownloadQueueView() { Shutdown(); }

QPushButton* CDownloadQueueView::MakeButton(int textId, int xDialogUnits) {
  auto* button = new QPushButton(Text(textId), this);
  const int unitX = std::max(1, fontMetrics().averageCharWidth());
  const int unitY = std::max(1, fontMetrics().height());
  button->setGeometry(xDialogUnits * unitX / 4, kButtonTop * unitY / 8,
                      std::max(kButtonWidth * unitX / 4, button->sizeHint().width()),
                      std::max(kButtonHeight * unitY / 8, button->sizeHint().height()));
  return button;
}

void CDownloadQueueView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // The list fills the page below the buttons, 10 pixels in from the sides.
  const int top = std::max(50, pause_->geometry().bottom() + 10);
  list_->setGeometry(10, top, std::max(0, width() - 20), std::max(0, height() - top - 10));
  // The progress bar takes the rest of the button row.
  const QRect row = failures_->geometry();
  progress_->setGeometry(row.right() + 12, row.top(), std::max(0, width() - row.right() - 22),
                         row.height());
}

void CDownloadQueueView::ShowProgress(int ended, int known) {
  progress_->setRange(0, std::max(1, known));
  progress_->setValue(std::clamp(ended, 0, std::max(1, known)));
}

void CDownloadQueueView::UpdateListModel() {
  const bool needed = failuresOnly_ || sortColumn_ >= 0;
  std::array<int, kQueueColumnCount> widths{};
  for (int column = 0; column < kQueueColumnCount; ++column) {
    widths[column] = list_->columnWidth(column);
  }
  if (needed) {
    if (filter_.sourceModel() != &model_) filter_.setSourceModel(&model_);
    filter_.ShowFailuresOnly(failuresOnly_);
    filter_.sort(sortColumn_, sortOrder_);
    if (list_->model() != &filter_) list_->setModel(&filter_);
  } else if (list_->model() != &model_) {
    list_->setModel(&model_);
    filter_.setSourceModel(nullptr);
  }
  for (int column = 0; column < kQueueColumnCount; ++column) {
    list_->setColumnWidth(column, widths[column]);
  }
  list_->horizontalHeader()->setSortIndicatorShown(sortColumn_ >= 0);
  if (sortColumn_ >= 0) list_->horizontalHeader()->setSortIndicator(sortColumn_, sortOrder_);
}

void CDownloadQueueView::OnShowFailures(bool only) {
  failuresOnly_ = only;
  UpdateListModel();
}

void CDownloadQueueView::SortBy(int column, Qt::SortOrder order) {
  if (column >= 0 && !QueueFilterModel::IsSortable(column)) return;
  sortColumn_ = column;
  sortOrder_ = order;
  UpdateListModel();
}

void CDownloadQueueView::OnHeaderClicked(int column) {
  if (!QueueFilterModel::IsSortable(column)) return;
  // Ascending, descending, then number order again.
  if (sortColumn_ != column) {
    SortBy(column, Qt::AscendingOrder);
  } else if (sortOrder_ == Qt::AscendingOrder) {
    SortBy(column, Qt::DescendingOrder);
  } else {
    SortBy(-1, Qt::AscendingOrder);
  }
}

void CDownloadQueueView::ApplyPhase(ButtonPhase phase) {
  switch (phase) {
    case ButtonPhase::Running:
      browse_->setEnabled(false);
      [[fallthrough]];
    case ButtonPhase::Continued:
      pause_->setEnabled(true);
      continue_->setEnabled(false);
      cancel_->setEnabled(true);
      clear_->setEnabled(false);
      break;
    case ButtonPhase::Ended:
      pause_->setEnabled(false);
      continue_->setEnabled(false);
      cancel_->setEnabled(false);
      clear_->setEnabled(true);
      browse_->setEnabled(project_ != nullptr && project_->LastCopy().startStored);
      break;
    case ButtonPhase::Paused:
      pause_->setEnabled(false);
      continue_->setEnabled(true);
      cancel_->setEnabled(false);
      clear_->setEnabled(false);
      break;
  }
  if (phaseChanged) phaseChanged(phase);
}

void CDownloadQueueView::SetButtonPhase(ButtonPhase phase) {
  UiThread::Run(this, [this, phase] { ApplyPhase(phase); });
}

void CDownloadQueueView::ShowMessageBox(std::u16string text, std::u16string caption,
                                        MessageIcon icon) {
  UiThread::Run(this, [this, &text, &caption, icon] {
    DialogServices::Current().messageBox(this, ToQString(text), ToQString(caption), icon);
  });
}

void CDownloadQueueView::OpenFolder(std::u16string folder) {
  const QString path = QString::fromStdString(NativePath(folder));
  UiThread::Run(this, [path] { DialogServices::Current().open(path); });
}

Status CDownloadQueueView::StartProject() { return project_->StartProject(); }

void CDownloadQueueView::Shutdown() {
  if (!project_) return;
  if (project_->IsRunActive()) monitor_.RequestCancel();
  UiThread::WaitUntil([this] { return !project_->IsRunActive(); });
  project_->WaitForRun();
}

void CDownloadQueueView::OnPause() { monitor_.RequestPause(); }

void CDownloadQueueView::OnContinue() {
  // The paused run may still be taking its last steps (its notice, the
  // folder); a new run starts once it has.
  UiThread::WaitUntil([this] { return !project_->IsRunActive(); });
  project_->ContinueProject();
}

void CDownloadQueueView::OnCancel() { monitor_.RequestCancel(); }

void CDownloadQueueView::OnClear() {
  model_.DeleteAllRows();
  project_->queue().ClearProject();
}

void CDownloadQueueView::OnOpenFolder() {
  DialogServices::Current().open(
      QString::fromStdString(NativePath(SettingUtil::GetInstance().GetDownloadFolder())));
}

void CDownloadQueueView::OnBrowse() {
  if (browseCopy) browseCopy(project_->LastCopy());
}

void CDownloadQueueView::OnDoubleClick(const QModelIndex& shown) {
  if (!shown.isValid()) return;
  const QModelIndex index = shown.model() == &filter_ ? filter_.mapToSource(shown) : shown;
  const QString target = model_.CellText(index.row(), kTargetFileColumn);
  if (!target.isEmpty()) DialogServices::Current().open(target);
}

}  // namespace kestrine
