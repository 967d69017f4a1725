#include "ui/queue_filter_model.h"

#include "presentation/queue_cells.h"
#include "ui/queue_table_model.h"

namespace kestrine {

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
  return progress.data(QueueTableModel::kFailedRole).toBool();
}

bool QueueFilterModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
  return left.data(QueueTableModel::kValueRole).toDouble() <
         right.data(QueueTableModel::kValueRole).toDouble();
}

}  // namespace kestrine
