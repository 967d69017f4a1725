// Takes the README's pictures of the window, as a person would see it: the
// Download page with an address typed, the Queue page half way through a
// run, and the notice at its end. The site is a folder served on 127.0.0.1
// with every answer held back a little, so the run can be caught half way.
// Usage: window_screenshots SITE_FOLDER START_PATH OUT_FOLDER
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <cstdio>

#include "config/kestrine_conf.h"
#include "config/setting_util.h"
#include "runtime/fs/local_files.h"
#include "support/config_home.h"
#include "support/test_server.h"
#include "ui/dialog_services.h"
#include "ui/download_queue_view.h"
#include "ui/download_view.h"
#include "ui/kestrine_dlg.h"
#include "ui/queue_table_model.h"

namespace kestrine {
namespace {

using namespace std::chrono_literals;

// KESTRINE_ANSWER_DELAY_MS overrides it (0 times the window on a fast
// network).
std::chrono::milliseconds AnswerDelay() {
  const QByteArray set = qgetenv("KESTRINE_ANSWER_DELAY_MS");
  return set.isEmpty() ? 40ms : std::chrono::milliseconds(set.toInt());
}
constexpr int kFinishedRowsShown = 150;
constexpr int kRunMilliseconds = 300000;

int FinishedRows(CKestrineDlg& window) {
  QueueTableModel& model = window.queueView().model();
  int finished = 0;
  for (int row = 0; row < model.rowCount(); ++row) {
    finished += model.CellText(row, kProgressColumn) == "Finished" ? 1 : 0;
  }
  return finished;
}

bool Save(QWidget& widget, const QString& file) {
  if (widget.grab().save(file)) return true;
  std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
  return false;
}

int TakePictures(const QString& site, const QString& startPath, const QString& out) {
  testing::ConfigHome home;
  SettingUtil& settings = SettingUtil::GetInstance();
  settings.SetDownloadFolder(home.folder().Wide("Downloads/Kestrine"));
  // This machine has no network: the copy keeps to the site's own host.
  WriteLocalFile(settings.GetConfigFolder() + u"\\" + KestrineConf::kFileName, "span-hosts = off\n",
                 WriteMode::Truncate);
  httplib::Server server;
  if (!server.set_mount_point("/", site.toStdString())) {
    std::fprintf(stderr, "%s: no such folder\n", qPrintable(site));
    return 2;
  }
  server.set_pre_routing_handler(
      [delay = AnswerDelay()](const httplib::Request&, httplib::Response&) {
        std::this_thread::sleep_for(delay);
        return httplib::Server::HandlerResponse::Unhandled;
      });
  testing::ServingThread serving(server);

  bool noticeTaken = false;
  bool saved = true;
  DialogServices& services = DialogServices::Current();
  services.open = [](const QString&) {};
  services.openUrl = [](const QString&) {};
  services.messageBox = [&](QWidget* parent, const QString& text, const QString& caption,
                            MessageIcon icon) {
    QMessageBox box(
        icon == MessageIcon::Information ? QMessageBox::Information : QMessageBox::Warning, caption,
        text, QMessageBox::Ok, parent);
    box.show();
    QTest::qWait(200);
    saved = Save(box, out + "/end-notice.png") && saved;
    std::printf("%s\n", qPrintable(text));
    noticeTaken = true;
  };

  CKestrineDlg window;
  window.resize(900, 560);
  window.show();
  QTest::qWait(200);
  QTest::keyClicks(&window.downloadView().addressEdit(),
                   QString::fromStdString(serving.Url(startPath.toStdString(), "http")));
  saved = Save(window, out + "/download-page.png") && saved;
  QTest::keyClick(&window.downloadView().addressEdit(), Qt::Key_Return);
  if (!QTest::qWaitFor([&] { return FinishedRows(window) >= kFinishedRowsShown; },
                       kRunMilliseconds)) {
    std::fprintf(stderr, "the run did not get far enough\n");
    return 1;
  }
  window.queueView().list().scrollTo(window.queueView().model().index(kFinishedRowsShown - 12, 0));
  QTest::qWait(600);  // one more tick of the totals
  saved = Save(window, out + "/queue-page.png") && saved;
  if (!QTest::qWaitFor([&] { return noticeTaken; }, kRunMilliseconds)) {
    std::fprintf(stderr, "the run did not end\n");
    return 1;
  }
  return saved ? 0 : 1;
}

}  // namespace
}  // namespace kestrine

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc != 4) {
    std::fprintf(stderr, "usage: window_screenshots SITE_FOLDER START_PATH OUT_FOLDER\n");
    return 2;
  }
  return kestrine::TakePictures(argv[1], argv[2], argv[3]);
}
