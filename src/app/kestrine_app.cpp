#include "app/kestrine_app.h"

#include <QDir>
#include <QFile>
#include <QResource>
#include <QTextStream>

#include "config/setting_util.h"
#include "presentation/message_box_language.h"
#include "presentation/string_table.h"
#include "runtime/net/http_client.h"
#include "runtime/fs/local_files.h"
#include "ui/artwork.h"
#include "ui/kestrine_dlg.h"
#include "ui/qt_text.h"

namespace kestrine {

namespace {

// Lines of "id=text" in the bundle's ":/krx/strings.txt"; "\n" in a text is
// a line break. A text whose formatting does not match the built-in one is
// left out by the string table.
void ReplaceStrings() {
  QFile file(":/krx/strings.txt");
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return;
  QTextStream in(&file);
  in.setEncoding(QStringConverter::Utf8);
  while (!in.atEnd()) {
    const QString line = in.readLine();
    const qsizetype equals = line.indexOf('=');
    if (equals <= 0) continue;
    bool number = false;
    const int id = line.left(equals).trimmed().toInt(&number);
    if (!number) continue;
    QString text = line.mid(equals + 1);
    text.replace("\\n", "\n");
    StringTable::Replace(id, FromQString(text));
  }
}

}  // namespace

CKestrineApp::CKestrineApp(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName("Kestrine");
  setDesktopFileName("kestrine");
}

CKestrineApp::~CKestrineApp() {
  if (!bundle_.isEmpty()) QResource::unregisterResource(bundle_, "/krx");
}

bool CKestrineApp::LoadResourceBundle(const QString& programFolder, const QString& configFolder) {
  for (const QString& folder : {programFolder, configFolder}) {
    const QString path = QDir(folder).filePath("krx.rcc");
    if (QFile::exists(path) && QResource::registerResource(path, "/krx")) {
      ReplaceStrings();
      return true;
    }
  }
  return false;
}

int CKestrineApp::InitInstance() {
  // 1. The resource bundle, if any, and with it the message-box language.
  const QString configFolder = QString::fromStdString(NativePath(GetConfigPath()));
  const bool bundle = LoadResourceBundle(applicationDirPath(), configFolder);
  if (bundle) bundle_ = QDir(applicationDirPath()).filePath("krx.rcc");
  SetMessageBoxLanguage(bundle ? kResourceBundleLanguage : kBuiltInLanguage);
  setWindowIcon(Artwork::Icon());
  // 2. The configuration folder exists before the settings are first read.
  CreateFolders(GetConfigPath());
  // 3. Without the network library there is nothing to do.
  if (!HttpClient::GlobalInit()) return 1;
  // 4. The window, for the whole run.
  int status = 0;
  {
    CKestrineDlg window;
    window.show();
    status = exec();
  }
  return status;
}

}  // namespace kestrine
