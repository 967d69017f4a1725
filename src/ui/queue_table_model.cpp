#include "ui/queue_table_model.h"

#include <QThread>
#include <algorithm>

#include "presentation/queue_cells.h"
#include "presentation/string_table.h"
#include "ui/qt_text.h"

namespace kestrine {

namespace {

constexpr int kFlushMilliseconds = 250;

constexpr StringId kHeaders[kQueueColumnCount] = {
    kIdsAddressHeader, kIdsSizeHeader,   kIdsSpeedHeader,      kIdsProgressHeader,
    kIdsTimeHeader,    kIdsNumberHeader, kIdsTargetFileHeader,
};

}  // namespace

QueueTableModel::QueueTableModel(QObject* parent) : QAbstractTableModel(parent) {
  flushTimer_.setInterval(kFlushMilliseconds);
  flushTimer_.setSingleShot(true);
  connect(&flushTimer_, &QTimer::timeout, this, &QueueTableModel::FlushChanges);
}

int QueueTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int QueueTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kQueueColumnCount;
}

QVariant QueueTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
  const KeyedRow& row = rows_[static_cast<std::size_t>(index.row())];
  const bool failure = index.column() == kProgressColumn && Failed(row);
  switch (role) {
    case Qt::DisplayRole:
      return TextAt(row, index.column());
    case Qt::ForegroundRole:
      return failure ? QVariant(kFailureColor) : QVariant();
    case Qt::ToolTipRole:
      if (failure) {
        const QString reason = TextAt(row, kReasonColumn);
        if (!reason.isEmpty()) return reason;
      }
      return index.column() == kAddressColumn || index.column() == kTargetFileColumn
                 ? QVariant(TextAt(row, index.column()))
                 : QVariant();
    case kValueRole:
      return ValueAt(row, index.column());
    case kFailedRole:
      return Failed(row);
    default:
      return {};
  }
}

bool QueueTableModel::Failed(const KeyedRow& row) {
  return row.download && row.download->state == TransferState::Failed;
}

QVariant QueueTableModel::ValueAt(const KeyedRow& row, int column) const {
  switch (column) {
    case kNumberColumn:
      return row.key + 1;
    case kSizeColumn:
      return row.download ? static_cast<double>(row.download->received) : 0.0;
    case kProgressColumn:
      if (!row.download) return 0.0;
      if (row.download->state == TransferState::Succeeded) return 1000.0;
      if (row.download->state == TransferState::Failed) return -1.0;
      return row.download->total > 0 ? static_cast<double>(row.download->received) * 100 /
                                           static_cast<double>(row.download->total)
                                     : 0.0;
    default:
      return {};
  }
}

QVariant QueueTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) return section + 1;
  if (section < 0 || section >= kQueueColumnCount) return {};
  return ToQString(StringTable::Load(kHeaders[section]));
}

int QueueTableModel::PositionOf(int key) const {
  const auto at =
      std::lower_bound(rows_.begin(), rows_.end(), key,
                       [](const KeyedRow& row, int wanted) { return row.key < wanted; });
  return static_cast<int>(at - rows_.begin());
}

void QueueTableModel::InsertRow(int row, std::u16string address) {
  Submit({Change::Insert, row, 0, ToQString(address), {}});
}

void QueueTableModel::Submit(Change change) {
  if (QThread::currentThread() == thread()) {
    ApplyWaiting();
    Apply(change);
    return;
  }
  bool first = false;
  {
    std::lock_guard lock(waitingMutex_);
    first = waiting_.empty();
    waiting_.push_back(std::move(change));
  }
  // One call drains everything that came meanwhile.
  if (first)
    QMetaObject::invokeMethod(
        this, [this] { ApplyWaiting(); }, Qt::QueuedConnection);
}

void QueueTableModel::ApplyWaiting() {
  std::vector<Change> changes;
  {
    std::lock_guard lock(waitingMutex_);
    changes.swap(waiting_);
  }
  for (const Change& change : changes) Apply(change);
}

void QueueTableModel::Apply(const Change& change) {
  switch (change.kind) {
    case Change::Insert:
      InsertOnUiThread(change.key, change.text);
      break;
    case Change::Pause:
      PauseOnUiThread(change.key);
      break;
    case Change::Clear:
      ClearOnUiThread();
      break;
    case Change::Report:
      ReportOnUiThread(change.key, change.download);
      break;
  }
}

QString QueueTableModel::TextAt(const KeyedRow& row, int column) const {
  if (column == kAddressColumn) return row.address;
  if (row.paused && column == kProgressColumn) return ToQString(StringTable::Load(kIdsPaused));
  if (!row.download) return {};
  const Download& d = *row.download;
  const DownloadRow download{d.taskNumber, d.state,  d.received, d.total,   d.elapsedSeconds,
                             d.localFile,  d.reason, d.retries,  d.rendered};
  return ToQString(QueueCells::Text(download, column));
}

void QueueTableModel::DownloadUpdated(const DownloadRow& download) { Report(download); }

void QueueTableModel::DownloadEnded(const DownloadRow& download) { Report(download); }

void QueueTableModel::Report(const DownloadRow& download) {
  Change change{Change::Report, download.row(), 0, {}, {}};
  change.download = {download.taskNumber,
                     download.state,
                     download.received,
                     download.total,
                     download.elapsedSeconds,
                     std::u16string(download.localFile),
                     std::u16string(download.reason),
                     download.retries,
                     download.rendered};
  Submit(std::move(change));
}

void QueueTableModel::ReportOnUiThread(int key, const Download& download) {
  const int position = PositionOf(key);
  if (position >= static_cast<int>(rows_.size()) || rows_[position].key != key) return;
  rows_[position].download = download;
  NoteChanged(position);
}

void QueueTableModel::NoteChanged(int position) {
  firstChanged_ = firstChanged_ < 0 ? position : std::min(firstChanged_, position);
  lastChanged_ = std::max(lastChanged_, position);
  if (!flushTimer_.isActive()) flushTimer_.start();
}

void QueueTableModel::InsertOnUiThread(int key, const QString& address) {
  const int position = PositionOf(key);
  if (position < static_cast<int>(rows_.size()) && rows_[position].key == key) {
    // The same download again (continued after a pause): its row starts anew.
    rows_[position] = KeyedRow{key, address, std::nullopt, false};
    emit dataChanged(index(position, 0), index(position, kQueueColumnCount - 1));
    return;
  }
  beginInsertRows(QModelIndex(), position, position);
  rows_.insert(rows_.begin() + position, KeyedRow{key, address, std::nullopt, false});
  endInsertRows();
  // Pending repaints below the new row moved down by one.
  if (firstChanged_ >= position) ++firstChanged_;
  if (lastChanged_ >= position) ++lastChanged_;
}

void QueueTableModel::DownloadPaused(int row) { Submit({Change::Pause, row, 0, {}, {}}); }

void QueueTableModel::PauseOnUiThread(int key) {
  const int position = PositionOf(key);
  if (position >= static_cast<int>(rows_.size()) || rows_[position].key != key) return;
  rows_[position].paused = true;
  NoteChanged(position);
}

void QueueTableModel::FlushChanges() {
  if (firstChanged_ < 0) return;
  const int last = std::min(lastChanged_, static_cast<int>(rows_.size()) - 1);
  if (last >= firstChanged_) {
    emit dataChanged(index(firstChanged_, 0), index(last, kQueueColumnCount - 1));
  }
  firstChanged_ = lastChanged_ = -1;
}

void QueueTableModel::DeleteAllRows() { Submit({Change::Clear, 0, 0, {}, {}}); }

void QueueTableModel::ClearOnUiThread() {
  beginResetModel();
  rows_.clear();
  firstChanged_ = lastChanged_ = -1;
  endResetModel();
}

QString QueueTableModel::CellText(int position, int column) const {
  if (position < 0 || position >= static_cast<int>(rows_.size())) return {};
  if (column < 0 || column >= kQueueCellCount) return {};
  return TextAt(rows_[static_cast<std::size_t>(position)], column);
}

}  // namespace kestrine
