// The desktop window on the offscreen platform, driven as a person would:
// a real engine, a real server on 127.0.0.1, files in a temporary folder.
#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "config/setting_util.h"
#include "engine/project.h"
#include "runtime/local_files.h"
#include "support/config_home.h"
#include "support/test_server.h"
#include "ui/dialog_services.h"
#include "ui/download_queue_view.h"
#include "ui/download_view.h"
#include "ui/kestrine_dlg.h"
#include "ui/qt_text.h"
#include "ui/queue_table_model.h"
#include "ui/set_basic_dlg.h"

namespace kestrine {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A site of one page linking `files` files, each served after `delay`.
class LinkedSite {
 public:
  LinkedSite(int files, std::chrono::milliseconds delay) {
    std::string index = "<html>";
    for (int i = 0; i < files; ++i) index += " <a href=\"f" + std::to_string(i) + ".bin\">f</a>";
    index += " <a href=\"gone.html\">gone</a></html>";
    server_.server().Get("/index.html", [index](const httplib::Request&, httplib::Response& r) {
      r.set_content(index, "text/html");
    });
    server_.server().Get(R"(/f(\d+)\.bin)", [delay](const httplib::Request&, httplib::Response& r) {
      std::this_thread::sleep_for(delay);
      r.set_content(std::string(512, 'x'), "application/octet-stream");
    });
  }
  QString Url() const { return QString::fromStdString(server_.Url("/index.html")); }
  std::string Folder() const { return "127.0.0.1-" + std::to_string(server_.port()); }

 private:
  testing::TestServer server_;
};

class KestrineDlgTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<testing::ConfigHome> home_;
  std::vector<QString> messages_;
  std::vector<QString> opened_;

  fs::path Out() const { return home_->folder().path() / "out"; }

  int CountProgress(CKestrineDlg& window, const QString& text) {
    QueueTableModel& model = window.queueView().model();
    int count = 0;
    for (int row = 0; row < model.rowCount(); ++row) {
      count += model.CellText(row, kProgressColumn) == text ? 1 : 0;
    }
    return count;
  }

  void Start(CKestrineDlg& window, const QString& url, int mode) {
    window.downloadView().modeButton(mode).click();
    QTest::keyClicks(&window.downloadView().addressEdit(), "  " + url + " ");
    QTest::keyClick(&window.downloadView().addressEdit(), Qt::Key_Return);
  }

 private slots:
  void init() {
    home_ = std::make_unique<testing::ConfigHome>();
    SettingUtil::GetInstance().SetDownloadFolder(home_->folder().Wide("out"));
    fs::create_directories(Out());
    messages_.clear();
    opened_.clear();
    DialogServices& services = DialogServices::Current();
    services.messageBox = [this](QWidget*, const QString& text, const QString&, MessageIcon) {
      messages_.push_back(text);
    };
    services.open = [this](const QString& path) { opened_.push_back(path); };
    services.inputFolder = [](QWidget*, const QString&) { return QString("/tmp/chosen"); };
  }
  void cleanup() { home_.reset(); }

  void EnterStartsTheDownloadAndRowsRunToFinished() {
    LinkedSite site(6, 0ms);
    CKestrineDlg window;
    window.show();
    QCOMPARE(window.windowTitle(), QString("Kestrine V2.0"));
    Start(window, site.Url(), DuplicateSite);
    QTRY_COMPARE_WITH_TIMEOUT(window.StatusLineText(), QString("Finished"), 20000);
    // The notice, then the folder, as the run takes its last steps.
    QTRY_COMPARE(opened_.size(), std::size_t{1});
    QCOMPARE(messages_, std::vector<QString>{"Finished"});
    // The address was started without its blanks, and the edit shows it so.
    QCOMPARE(window.downloadView().addressEdit().text(), site.Url());
    QCOMPARE(window.tabs().currentIndex(), 1);
    QueueTableModel& model = window.queueView().model();
    QTRY_COMPARE(model.rowCount(), 8);
    QCOMPARE(CountProgress(window, "Finished"), 7);
    QCOMPARE(CountProgress(window, "Failure"), 1);
    for (int row = 0; row < model.rowCount(); ++row) {
      QCOMPARE(model.CellText(row, kNumberColumn), QString::number(row + 1));
    }
    QVERIFY(window.downloadView().isEnabled());
    QVERIFY(window.queueView().clearButton().isEnabled());
    QVERIFY(!window.queueView().pauseButton().isEnabled());
    QVERIFY(fs::exists(Out() / site.Folder() / "f5.bin"));
    // Double-clicking a finished row opens its file.
    const QModelIndex first = model.index(0, 0);
    emit window.queueView().list().doubleClicked(first);
    QCOMPARE(opened_.back(), model.CellText(0, kTargetFileColumn));
  }

  void BrowseCopyServesTheCopyAndOpensItsStartPage() {
    LinkedSite site(2, 0ms);
    std::vector<QString> urls;
    DialogServices::Current().openUrl = [&](const QString& url) { urls.push_back(url); };
    CKestrineDlg window;
    window.show();
    QVERIFY(!window.queueView().browseButton().isEnabled());
    Start(window, site.Url(), DuplicateSite);
    QTRY_COMPARE_WITH_TIMEOUT(window.StatusLineText(), QString("Finished"), 20000);
    QTRY_VERIFY(window.queueView().browseButton().isEnabled());
    QTest::mouseClick(&window.queueView().browseButton(), Qt::LeftButton);
    QCOMPARE(urls.size(), std::size_t{1});
    QVERIFY(urls[0].startsWith(window.ViewerUrl()));
    QVERIFY(urls[0].endsWith("/index.html"));
    // The copy, not the site, answers at that address.
    const QUrl served(urls[0]);
    httplib::Client client("127.0.0.1", served.port());
    const auto page = client.Get(served.path().toStdString());
    QVERIFY(page);
    QCOMPARE(page->status, 200);
    QVERIFY(page->body.find("f1.bin") != std::string::npos);
    // File > Browse a Copy... serves a copy the user picks.
    const QString folder = QString::fromStdString((Out() / site.Folder()).string());
    DialogServices::Current().inputFolder = [&](QWidget*, const QString&) { return folder; };
    window.OnBrowseCopy();
    QCOMPARE(urls.size(), std::size_t{2});
    QVERIFY(urls[1].endsWith("/index.html"));
  }

  void PauseThenContinueEndsEveryRowFinishedOnce() {
    LinkedSite site(20, 150ms);
    SettingUtil::GetInstance().record().threadNumber = 1;
    CKestrineDlg window;
    window.show();
    Start(window, site.Url(), DuplicateSite);
    QTRY_VERIFY_WITH_TIMEOUT(CountProgress(window, "Finished") >= 3, 20000);
    QTest::mouseClick(&window.queueView().pauseButton(), Qt::LeftButton);
    QCOMPARE(window.StatusLineText(), QString("Pausing...."));
    QTRY_COMPARE_WITH_TIMEOUT(window.StatusLineText(), QString("Paused"), 20000);
    QTRY_COMPARE(opened_.size(), std::size_t{1});
    QVERIFY(window.queueView().continueButton().isEnabled());
    QVERIFY(!window.queueView().clearButton().isEnabled());
    QVERIFY(!window.downloadView().isEnabled());
    QCOMPARE(messages_.back(), QString("Paused"));
    QTest::mouseClick(&window.queueView().continueButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(window.StatusLineText(), QString("Finished"), 30000);
    QTRY_COMPARE(window.queueView().model().rowCount(), 22);
    QCOMPARE(CountProgress(window, "Finished"), 21);
    QCOMPARE(CountProgress(window, "Failure"), 1);
  }

  void CancelThenClear() {
    LinkedSite site(20, 200ms);
    SettingUtil::GetInstance().record().threadNumber = 1;
    CKestrineDlg window;
    window.show();
    Start(window, site.Url(), BrowsableCopy);
    QTRY_VERIFY_WITH_TIMEOUT(CountProgress(window, "Finished") >= 2, 20000);
    QTest::mouseClick(&window.queueView().cancelButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(window.StatusLineText(), QString("Canceled"), 20000);
    QVERIFY(messages_.empty());  // no notice after a cancel
    QTRY_COMPARE(opened_.size(), std::size_t{1});
    QVERIFY(window.queueView().clearButton().isEnabled());
    QVERIFY(window.queueView().model().rowCount() > 0);
    QTest::mouseClick(&window.queueView().clearButton(), Qt::LeftButton);
    QCOMPARE(window.queueView().model().rowCount(), 0);
    QVERIFY(!window.queueView().project().queue().HasPending());
  }

  void ClosingWhileRunningCancelsAndEndsTheWindow() {
    LinkedSite site(40, 300ms);
    auto window = std::make_unique<CKestrineDlg>();
    window->show();
    Start(*window, site.Url(), DuplicateSite);
    QTRY_VERIFY_WITH_TIMEOUT(window->queueView().project().pool().GetActiveCount() > 0, 20000);
    QVERIFY(!window->close());  // downloads run: the window stays, asking them to stop
    QCOMPARE(window->StatusLineText(), QString("Canceling...."));
    QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 15000);
    window.reset();  // and ends without waiting on, or crashing into, the engine
  }

  void ACopyPausedInOneWindowContinuesInTheNext() {
    LinkedSite site(12, 100ms);
    SettingUtil::GetInstance().record().threadNumber = 1;
    const QString siteFolder = QString::fromStdString((Out() / site.Folder()).string());
    {
      CKestrineDlg window;
      window.show();
      Start(window, site.Url(), DuplicateSite);
      QTRY_VERIFY_WITH_TIMEOUT(CountProgress(window, "Finished") >= 3, 20000);
      QTest::mouseClick(&window.queueView().pauseButton(), Qt::LeftButton);
      QTRY_COMPARE_WITH_TIMEOUT(window.StatusLineText(), QString("Paused"), 20000);
      QTRY_COMPARE(opened_.size(), std::size_t{1});
    }
    // A new window (a restart) picks the folder and goes on from the journal.
    DialogServices::Current().inputFolder = [&](QWidget*, const QString&) { return siteFolder; };
    CKestrineDlg window;
    window.show();
    window.OnContinueCopy(false);
    QTRY_COMPARE_WITH_TIMEOUT(window.StatusLineText(), QString("Finished"), 30000);
    QTRY_COMPARE(opened_.size(), std::size_t{2});
    for (int i = 0; i < 12; ++i) {
      QVERIFY(fs::exists(Out() / site.Folder() / ("f" + std::to_string(i) + ".bin")));
    }
    // Only what the first window had not stored was fetched now.
    QVERIFY(window.queueView().model().rowCount() < 14);
    QVERIFY(window.downloadView().isEnabled());
  }

  void SettingsDialogRefusesValuesOutOfRange() {
    CSetBasicDlg dialog;
    dialog.threadNumber = 5;
    dialog.timeOut = 10;
    dialog.path = "/tmp/out";
    dialog.FillControls();
    const auto tryValues = [&](const QString& threads, const QString& seconds) {
      dialog.setResult(QDialog::Rejected);
      dialog.threadEdit().setText(threads);
      dialog.timeOutEdit().setText(seconds);
      dialog.accept();
      return dialog.result() == QDialog::Accepted;
    };
    QVERIFY(!tryValues("0", "10"));
    QVERIFY(!tryValues("16", "10"));
    QVERIFY(!tryValues("x", "10"));
    QVERIFY(!tryValues("5", "9"));
    QVERIFY(!tryValues("5", "301"));
    QCOMPARE(messages_.size(), std::size_t{5});
    QCOMPARE(messages_[0], QString("Please enter an integer between 1 and 15."));
    QCOMPARE(messages_[3], QString("Please enter an integer between 10 and 300."));
    QVERIFY(tryValues("1", "10"));
    QVERIFY(tryValues("15", "300"));
    QCOMPARE(dialog.threadNumber, 15);
    QCOMPARE(dialog.timeOut, 300);
    // A folder too long for the settings record is refused with a message.
    dialog.folderBox().setEditText(QString(600, 'f'));
    QVERIFY(!tryValues("5", "10"));
    QCOMPARE(messages_.size(), std::size_t{6});
    // Browse shows the chosen folder and the values the dialog opened with.
    dialog.threadEdit().setText("9");
    dialog.OnBrowse();
    QCOMPARE(dialog.folderBox().currentText(), QString("/tmp/chosen"));
    QCOMPARE(dialog.threadEdit().text(), QString("15"));
  }

  void SettingsOkAppliesSavesAndResizesThePool() {
    CKestrineDlg window;
    window.show();
    QTimer::singleShot(0, [] {
      auto* dialog = qobject_cast<CSetBasicDlg*>(QApplication::activeModalWidget());
      QVERIFY(dialog != nullptr);
      dialog->threadEdit().setText("9");
      dialog->timeOutEdit().setText("42");
      dialog->accept();
    });
    window.OnSetting();
    SettingUtil& settings = SettingUtil::GetInstance();
    QCOMPARE(settings.record().threadNumber, 9);
    QCOMPARE(settings.record().timeOut, 42);
    QCOMPARE(window.queueView().project().pool().GetCorePoolSize(), 9);
    QCOMPARE(LocalFileSize(settings.GetSettingFile()), 5776LL);
    QCOMPARE(ToQString(settings.RecentPath(0)), ToQString(home_->folder().Wide("out")));
  }

  void RowsStandInNumberOrderAndFailuresAreRed() {
    QueueTableModel model;
    model.InsertRow(2, u"http://h/3");
    model.InsertRow(0, u"http://h/1");
    model.InsertRow(1, u"http://h/2");
    model.SetCellText(2, kProgressColumn, u"Failure");
    model.SetCellText(2, kReasonColumn, u"HTTP 404");
    model.SetCellText(0, kProgressColumn, u"Finished");
    model.SetCellText(7, kProgressColumn, u"lost");
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.CellText(0, kAddressColumn), QString("http://h/1"));
    QCOMPARE(model.CellText(2, kAddressColumn), QString("http://h/3"));
    const QModelIndex failed = model.index(2, kProgressColumn);
    QCOMPARE(model.data(failed, Qt::ForegroundRole).value<QColor>(), QColor(255, 0, 0));
    QCOMPARE(model.data(failed, Qt::ToolTipRole).toString(), QString("HTTP 404"));
    QVERIFY(!model.data(model.index(0, kProgressColumn), Qt::ForegroundRole).isValid());
    QCOMPARE(model.headerData(5, Qt::Horizontal, Qt::DisplayRole).toString(),
             QString("Serial Number"));
  }
};

}  // namespace kestrine

QTEST_MAIN(kestrine::KestrineDlgTest)
#include "kestrine_dlg_test.moc"
