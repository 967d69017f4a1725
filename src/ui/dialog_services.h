#pragma once

#include <QString>
#include <functional>

#include "surfaces/notice_run_state.h"

class QWidget;

namespace kestrine {

// The few places where the window hands control to the desktop or to the
// user: message boxes, the folder picker and opening a file or folder. Tests
// replace them so nothing waits for a person.
struct DialogServices {
  std::function<void(QWidget* parent, const QString& text, const QString& caption,
                     MessageIcon icon)>
      messageBox;
  // The chosen folder, empty when the picker was cancelled.
  std::function<QString(QWidget* parent, const QString& initialFolder)> inputFolder;
  std::function<void(const QString& path)> open;
  // Opens an address in the desktop's browser.
  std::function<void(const QString& url)> openUrl;

  static DialogServices& Current();
  // The real desktop: Qt's message boxes and folder picker, and the
  // desktop's own "open".
  static DialogServices Desktop();
};

}  // namespace kestrine
