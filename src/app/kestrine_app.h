#pragma once

#include <QApplication>

namespace kestrine {

// The application: prepares the process (resource bundle, message-box
// language, configuration folder, network library), runs the main window
// and tears down when it closes.
class CKestrineApp : public QApplication {
  Q_OBJECT

 public:
  CKestrineApp(int& argc, char** argv);
  ~CKestrineApp() override;

  // Start-up, the window's whole life, and the exit; the process status.
  int InitInstance();

  // Loads "krx.rcc" (beside the program, then in the configuration folder):
  // its strings replace the built-in ones. True when one was loaded.
  static bool LoadResourceBundle(const QString& programFolder, const QString& configFolder);

 private:
  QString bundle_;
};

}  // namespace kestrine
