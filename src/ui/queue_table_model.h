#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QTimer>
#include <array>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/surface/queue_list.h"
#include "presentation/queue_cells.h"

namespace kestrine {

// The Queue page's list: rows keyed by task number, in key order, whatever
// order the workers insert them in. Engine threads reach it through the
// queue list surface, which hands each change to the window thread in the
// order it came and returns at once: a download never waits for the window
// to paint. Repaints of changed rows are gathered and happen a few times a
// second, so a hundred thousand rows stay smooth.
class QueueTableModel : public QAbstractTableModel, public IQueueList {
  Q_OBJECT

 public:
  // The colouring rule: a failed download's Progress is drawn in red.
  static inline const QColor kFailureColor{0xFF, 0x00, 0x00};
  // What a cell stands for as a number, for sorting: the Number column's
  // task number, the Size column's bytes, the Progress column's percentage
  // (a failure below every one, a finished download above); and whether a
  // row's download failed, for filtering. Neither reads a cell's text.
  static constexpr int kValueRole = Qt::UserRole + 1;
  static constexpr int kFailedRole = Qt::UserRole + 2;

  explicit QueueTableModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  void InsertRow(int row, std::u16string address) override;
  void DeleteAllRows() override;
  void DownloadPaused(int row) override;
  // A download's values are kept as they come; its cells are written only
  // when the view asks for them.
  void DownloadUpdated(const DownloadRow& download) override;
  void DownloadEnded(const DownloadRow& download) override;

  // The text of a cell at a row position of the view; empty when there is
  // none.
  QString CellText(int position, int column) const;
  // Announces the rows changed since the last time.
  void FlushChanges();

 private:
  // A DownloadRow that owns its texts.
  struct Download {
    int taskNumber = 0;
    TransferState state = TransferState::Transferring;
    std::int64_t received = 0;
    std::int64_t total = 0;
    double elapsedSeconds = 0;
    std::u16string localFile;
    std::u16string reason;
    int retries = 0;
    bool rendered = false;
  };
  struct KeyedRow {
    int key;
    QString address;
    std::optional<Download> download;
    bool paused = false;
  };
  struct Change {
    enum Kind { Insert, Pause, Clear, Report } kind;
    int key = 0;
    int column = 0;
    QString text;
    Download download;
  };
  QString TextAt(const KeyedRow& row, int column) const;
  QVariant ValueAt(const KeyedRow& row, int column) const;
  static bool Failed(const KeyedRow& row);
  void Report(const DownloadRow& download);
  void ReportOnUiThread(int key, const Download& download);
  int PositionOf(int key) const;
  // On the window thread the change applies at once, after those still
  // waiting; from elsewhere it waits in line for the window thread.
  void Submit(Change change);
  void ApplyWaiting();
  void Apply(const Change& change);
  void InsertOnUiThread(int key, const QString& address);
  void PauseOnUiThread(int key);
  void NoteChanged(int position);
  void ClearOnUiThread();

  std::mutex waitingMutex_;
  std::vector<Change> waiting_;
  std::vector<KeyedRow> rows_;
  int firstChanged_ = -1;
  int lastChanged_ = -1;
  QTimer flushTimer_;
};

}  // namespace kestrine
