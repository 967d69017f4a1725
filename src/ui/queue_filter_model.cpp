#include "ui/queue_filter_model.h"

#include "engine/surface/queue_list.h"
#include "presentation/string_table.h"
#include "ui/qt_text.h"

namespace kestrine {

namespace {

QString CellOf(const QModelIndex& index) { return index.data(Qt::DisplayRole).toString(); }

// "Finished" after every percentage, a failure before them all.
double ProgressKey(const QString& text) {
  if (text == ToQString(StringTable::Load(kIdsFinished))) return 1000;
  if (text == ToQString(StringTable::Load(kIdsFailure))) return -1;
  bool number = false;
  const double percent = QString(text).remove('%').toDouble(&number);
  return number ? percent : 0;
}

// "12.50KB", "0B": the leading number.
double NumberKey(const QString& text) {
  int end = 0;
  while (end < text.size() && (text[end].isDigit() || text[end] == '.')) ++end;
  return text.left(end).toDouble();
}

}  // namespace

QueueFilterModel::QueueFilterModel(QObject* parent) : QSortFilterProxyModel(parent) {}

void QueueFilterModel::ShowFailuresOnly(bool only) {
  if (only == failuresOnly_) return;
  failuresOnly_ = only;
  invalidateFilter();
}

bool QueueFilterModel::IsSortable(int column) {
  return column == kNumberColumn || column == kSizeColumn || column == kProgressColumn;
}

void QueueFilterModel::sort(int column, Qt::SortOrder order) {
  if (column >= 0 && !IsSortable(column)) return;
  QSortFilterProxyModel::sort(column, order);
}

bool QueueFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
  if (!failuresOnly_) return true;
  const QModelIndex progress = sourceModel()->index(sourceRow, kProgressColumn, sourceParent);
  return CellOf(progress) == ToQString(StringTable::Load(kIdsFailure));
}

bool QueueFilterModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
  if (left.column() == kProgressColumn) {
    return ProgressKey(CellOf(left)) < ProgressKey(CellOf(right));
  }
  return NumberKey(CellOf(left)) < NumberKey(CellOf(right));
}

}  // namespace kestrine
