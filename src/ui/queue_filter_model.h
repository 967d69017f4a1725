#pragma once

#include <QSortFilterProxyModel>

namespace kestrine {

// What the Queue page's list shows of its rows: all of them or only the
// failed ones, in number order or sorted by Number, Size or Progress (the
// columns whose order means something; the others keep the order they
// have).
class QueueFilterModel : public QSortFilterProxyModel {
  Q_OBJECT

 public:
  explicit QueueFilterModel(QObject* parent = nullptr);

  void ShowFailuresOnly(bool only);
  bool showsFailuresOnly() const { return failuresOnly_; }
  static bool IsSortable(int column);
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

 protected:
  bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

 private:
  bool failuresOnly_ = false;
};

}  // namespace kestrine
