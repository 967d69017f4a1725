#pragma once

#include <QDialog>

namespace kestrine {

// The about box: the icon, the name with its version, and OK.
class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace kestrine
