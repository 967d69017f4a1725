#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QString>

#include "config/download_options.h"

namespace kestrine {

// The settings dialog: worker count, time-out and download folder. The
// caller fills the members before exec() and reads them after OK.
class CSetBasicDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CSetBasicDlg(QWidget* parent = nullptr);

  int threadNumber = 5;
  QString path;
  int timeOut = 0;
  int carried = 2;
  // Whether runs keep a web archive (WACZ) beside the copy: kestrine.conf's
  // "wacz".
  bool keepArchive = false;
  // Which pages are rendered in a browser: kestrine.conf's "render".
  RenderMode render = RenderMode::Auto;

  // Fills the controls from the members (and the recent folders into the
  // folder box).
  void FillControls();

  QLineEdit& threadEdit() { return *threads_; }
  QLineEdit& timeOutEdit() { return *timeOutEdit_; }
  QComboBox& folderBox() { return *folder_; }
  QCheckBox& archiveBox() { return *archive_; }
  QComboBox& renderBox() { return *render_; }

 public slots:
  // OK: takes the values from the controls; a value out of range or a
  // folder too long to store says so and keeps the dialog open.
  void accept() override;
  void OnBrowse();

 private:
  bool ReadRange(QLineEdit* edit, int low, int high, int& value);

  QLineEdit* threads_;
  QLineEdit* timeOutEdit_;
  QComboBox* folder_;
  QPushButton* browse_;
  QCheckBox* archive_;
  QComboBox* render_;
};

}  // namespace kestrine
