#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>
#include <atomic>
#include <functional>
#include <thread>

#include "site/address/address.h"

namespace kestrine {

class IStatusMonitor;

// The Download page: the start address, the three download modes and the
// button that starts a new project. The project starts on a short-lived
// thread of its own; the page is disabled while a project runs or is paused.
class CDownloadView : public QWidget {
  Q_OBJECT

 public:
  CDownloadView(IStatusMonitor& monitor, QWidget* parent = nullptr);
  ~CDownloadView() override;

  QLineEdit& addressEdit() { return *address_; }
  QPushButton& downloadButton() { return *download_; }
  QRadioButton& modeButton(DownloadMode mode) { return *modes_[static_cast<int>(mode)]; }
  int mode() const;

  // The download command: trims the address and, unless it is empty, starts
  // the project with it.
  void OnDownload();
  // Waits, delivering window changes, until the last start thread is done.
  void WaitForStartThread();
  // Asked before a download starts; false keeps it from starting.
  std::function<bool()> mayStart;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  IStatusMonitor& monitor_;
  QLabel* banner_;
  QLabel* label_;
  QLineEdit* address_;
  QPushButton* download_;
  QLabel* example_;
  QRadioButton* modes_[3];
  std::thread startThread_;
  std::atomic<bool> starting_{false};
};

}  // namespace kestrine
