#include "ui/dialog_services.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

#include "presentation/message_box_language.h"

namespace kestrine {

namespace {

QMessageBox::Icon IconOf(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Warning:
      return QMessageBox::Warning;
    case MessageIcon::Error:
      return QMessageBox::Critical;
    default:
      return QMessageBox::Information;
  }
}

}  // namespace

DialogServices DialogServices::Desktop() {
  DialogServices services;
  services.messageBox = [](QWidget* parent, const QString& text, const QString& caption,
                           MessageIcon icon) {
    QMessageBox box(IconOf(icon), caption, text, QMessageBox::Ok, parent);
    // A replaced resource bundle brings its own language; the box says so.
    box.setProperty("kestrineLanguage", static_cast<int>(MessageBoxLanguage()));
    box.exec();
  };
  services.inputFolder = [](QWidget* parent, const QString& initialFolder) {
    return QFileDialog::getExistingDirectory(parent, QString(), initialFolder);
  };
  services.open = [](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
  services.openUrl = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
  return services;
}

DialogServices& DialogServices::Current() {
  static DialogServices services = Desktop();
  return services;
}

}  // namespace kestrine
