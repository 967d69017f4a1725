// The desktop window on the offscreen platform, driven as a person would:
// a real engine, a real server on 127.0.0.1, files in a temporary folder.
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QRegularExpression>
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
#include "runtime/fs/folder_lock.h"
#include "runtime/fs/local_files.h"
#include "support/config_home.h"
#include "support/test_server.h"
#include "surfaces/memory_queue_list.h"
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
  std::vector<MessageIcon> icons_;
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

  static double SizeOf(const QAbstractItemModel& rows, int row) {
    return rows.index(row, kSizeColumn).data().toString().remove("KB").toDouble();
  }

  void Start(CKestrineDlg& window, const QString& url, DownloadMode mode) {
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
    icons_.clear();
    opened_.clear();
    DialogServices& services = DialogServices::Current();
    services.messageBox = [this](QWidget*, const QString& text, const QString&, MessageIcon icon) {
      messages_.push_back(text);
      icons_.push_back(icon);
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
    Start(window, site.Url(), DownloadMode::DuplicateSite);
    QTRY_COMPARE_WITH_TIMEOUT(window.StatusLineText(), QString("Finished"), 20000);
    // The notice, then the folder, as the run takes its last steps.
    QTRY_COMPARE(opened_.size(), std::size_t{1});
    // "Finished" first, then how it went.
    QCOMPARE(messages_.size(), std::size_t{1});
    const QStringList notice = messages_[0].split('\n');
    QCOMPARE(notice[0], QString("Finished"));
    QVERIFY2(notice[1].startsWith("7 files stored, 1 failed; "), qPrintable(messages_[0]));
    QVERIFY(notice.contains("  HTTP 404 (1)"));
    QCOMPARE(icons_[0], MessageIcon::Information);
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

  void ACopyAnotherRunWritesIsRefusedWithANotice() {
    LinkedSite site(2, 0ms);
    const std::u16string folder = home_->folder().Wide("out/" + site.Folder());
    const ConfinedFolder copy = ConfinedFolder::Open(folder, ConfinedFolder::Create::Yes);
    Result<FolderLock> held = FolderLock::Take(copy);
    QVERIFY(held.has_value());
    CKestrineDlg window;
    window.show();
    Start(window, site.Url(), DownloadMode::DuplicateSite);
    QTRY_COMPARE(messages_.size(), std::size_t{1});
    QCOMPARE(messages_[0], "another run is writing the copy in " + ToQString(folder));
    QCOMPARE(icons_[0], MessageIcon::Warning);
    QTRY_VERIFY(window.downloadView().isEnabled());
    // Nothing was written into the other run's copy.
    QVERIFY(fs::is_empty(Out() / site.Folder()));
  }

  void ShowFailuresFiltersAndTheHeaderSorts() {
    LinkedSite site(6, 0ms);
    CKestrineDlg window;
    window.show();
    Start(window, site.Url(), DownloadMode::DuplicateSite);
    QTRY_COMPARE_WITH_TIMEOUT(window.StatusLineText(), QString("Finished"), 20000);
    QTRY_COMPARE(opened_.size(), std::size_t{1});
    CDownloadQueueView& queue = window.queueView();
    QCOMPARE(queue.progressBar().maximum(), 8);
    QCOMPARE(queue.progressBar().value(), 8);
    QTest::mouseClick(&queue.failuresButton(), Qt::LeftButton);
    QCOMPARE(queue.shownRows().rowCount(), 1);
    QCOMPARE(queue.shownRows().index(0, kProgressColumn).data().toString(), QString("Failure"));
    QCOMPARE(queue.shownRows().index(0, kAddressColumn).data().toString(),
             site.Url().replace("index.html", "gone.html"));
    // A double-click on a filtered row opens that row's file, not the first.
    emit queue.list().doubleClicked(queue.shownRows().index(0, 0));
    QCOMPARE(opened_.back(), queue.model().CellText(7, kTargetFileColumn));
    QTest::mouseClick(&queue.failuresButton(), Qt::LeftButton);
    QCOMPARE(queue.shownRows().rowCount(), 8);

    // Number: descending on the second click, the list's own order on the third.
    QHeaderView& header = *queue.list().horizontalHeader();
    emit header.sectionClicked(kNumberColumn);
    QCOMPARE(queue.shownRows().index(0, kNumberColumn).data().toString(), QString("1"));
    emit header.sectionClicked(kNumberColumn);
    QCOMPARE(queue.shownRows().index(0, kNumberColumn).data().toString(), QString("8"));
    emit header.sectionClicked(kNumberColumn);
    QCOMPARE(&queue.shownRows(), static_cast<QAbstractItemModel*>(&queue.model()));
    // Size compares numbers, not text; Progress puts failures first.
    queue.SortBy(kSizeColumn, Qt::DescendingOrder);
    for (int row = 1; row < 8; ++row) {
      QVERIFY(SizeOf(queue.shownRows(), row - 1) >= SizeOf(queue.shownRows(), row));
    }
    emit header.sectionClicked(kProgressColumn);
    QCOMPARE(queue.shownRows().index(0, kProgressColumn).data().toString(), QString("Failure"));
    // The address column does not sort.
    emit header.sectionClicked(kAddressColumn);
    QCOMPARE(queue.shownRows().index(0, kProgressColumn).data().toString(), QString("Failure"));
  }

  void AddressesThatCannotStartAreRefusedWithAnExample() {
    CKestrineDlg window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QLineEdit& edit = window.downloadView().addressEdit();
    QVERIFY(edit.toolTip().contains("http://"));
    for (const QString& typed :
         {QString("s"), QString("htp:/x"), QString("ftp://files.example/")}) {
      edit.clear();
      QTest::keyClicks(&edit, typed);
      QTest::keyClick(&edit, Qt::Key_Return);
      QVERIFY2(messages_.back().startsWith(typed + ": "), qPrintable(messages_.back()));
      QVERIFY(messages_.back().contains("https://example.com/docs/"));
      QCOMPARE(icons_.back(), MessageIcon::Warning);
      // The field keeps what was typed, selected, to be mended.
      QVERIFY(edit.hasFocus());
      QCOMPARE(edit.selectedText(), typed);
    }
    QCOMPARE(messages_.size(), std::size_t{3});
    QCOMPARE(window.tabs().currentIndex(), 0);
    QCOMPARE(window.queueView().model().rowCount(), 0);
    QVERIFY(window.downloadView().isEnabled());
  }

  void ABareHostGoesOverHttpsAndARunWhereAllFailedWarns() {
    LinkedSite site(1, 0ms);  // plain http only: the https attempt fails
    CKestrineDlg window;
    window.show();
    const QString bare = site.Url().mid(QString("http://").size());
    Start(window, bare, DownloadMode::DuplicateSite);
    QCOMPARE(window.downloadView().addressEdit().text(), "https://" + bare);
    QTRY_COMPARE_WITH_TIMEOUT(window.StatusLineText(), QString("Finished"), 20000);
    QTRY_COMPARE(opened_.size(), std::size_t{1});
    QCOMPARE(messages_.size(), std::size_t{1});
    QVERIFY2(messages_[0].startsWith("Finished\n0 files stored, 1 failed; "),
             qPrintable(messages_[0]));
    QCOMPARE(icons_[0], MessageIcon::Warning);
    QVERIFY(!window.queueView().browseButton().isEnabled());
  }

  void RecentCopiesOfferTheirCommandsAcrossRestarts() {
    LinkedSite first(1, 0ms);
    LinkedSite second(1, 0ms);
    std::vector<QString> urls;
    DialogServices::Current().openUrl = [&](const QString& url) { urls.push_back(url); };
    {
      CKestrineDlg window;
      window.show();
      window.RebuildRecentCopies();
      QVERIFY(window.RecentCopyTitles().empty());
      Start(window, first.Url(), DownloadMode::DuplicateSite);
      QTRY_COMPARE_WITH_TIMEOUT(opened_.size(), std::size_t{1}, 20000);
      window.downloadView().addressEdit().clear();
      Start(window, second.Url(), DownloadMode::DuplicateSite);
      QTRY_COMPARE_WITH_TIMEOUT(opened_.size(), std::size_t{2}, 20000);
    }
    // A new window (a restart) offers both, the newest first.
    CKestrineDlg window;
    window.show();
    window.RebuildRecentCopies();
    std::vector<QString> titles = window.RecentCopyTitles();
    QCOMPARE(titles.size(), std::size_t{2});
    QVERIFY(titles[0].startsWith("&1 "));
    QVERIFY(titles[0].contains(QString::fromStdString(second.Folder())));
    QVERIFY(titles[0].endsWith(second.Url()));
    QVERIFY(titles[1].endsWith(first.Url()));

    window.TriggerRecentCopy(1, "Verify");
    QVERIFY2(messages_.back().endsWith(" 0 dead"), qPrintable(messages_.back()));
    window.TriggerRecentCopy(0, "Browse");
    QCOMPARE(urls.size(), std::size_t{1});
    QVERIFY(urls[0].endsWith("/index.html"));
    // What was used last comes first; a copy deleted since is not offered.
    window.RebuildRecentCopies();
    QVERIFY(window.RecentCopyTitles()[0].endsWith(second.Url()));
    window.TriggerRecentCopy(1, "Verify");
    window.RebuildRecentCopies();
    QVERIFY(window.RecentCopyTitles()[0].endsWith(first.Url()));
    fs::remove_all(Out() / second.Folder());
    window.RebuildRecentCopies();
    QCOMPARE(window.RecentCopyTitles().size(), std::size_t{1});
    // A finished copy updates from the menu and runs to the end again.
    window.TriggerRecentCopy(0, "Update");
    QTRY_COMPARE_WITH_TIMEOUT(opened_.size(), std::size_t{3}, 20000);
    QCOMPARE(CountProgress(window, "Failure"), 1);
  }

  void BrowseCopyServesTheCopyAndOpensItsStartPage() {
    LinkedSite site(2, 0ms);
    std::vector<QString> urls;
    DialogServices::Current().openUrl = [&](const QString& url) { urls.push_back(url); };
    CKestrineDlg window;
    window.show();
    QVERIFY(!window.queueView().browseButton().isEnabled());
    Start(window, site.Url(), DownloadMode::DuplicateSite);
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

  void TotalsShowWhileItRunsAndPauseThenContinueEndsEveryRowOnce() {
    LinkedSite site(20, 150ms);
    SettingUtil::GetInstance().record().threadNumber = 1;
    CKestrineDlg window;
    window.show();
    Start(window, site.Url(), DownloadMode::DuplicateSite);
    QTRY_VERIFY_WITH_TIMEOUT(CountProgress(window, "Finished") >= 3, 20000);
    const QRegularExpression totals(
        "^(\\d+) finished, (\\d+) failed, (\\d+) waiting \u00b7 [\\d.]+ K?B \u00b7 "
        "[\\d.]+ K?B/s \u00b7 0:\\d\\d$");
    const auto finishedAndWaiting = [&] {
      const QRegularExpressionMatch shown = totals.match(window.StatusLineText());
      return shown.hasMatch() && shown.captured(1).toInt() >= 3 && shown.captured(3).toInt() > 0;
    };
    QTRY_VERIFY(finishedAndWaiting());
    QProgressBar& bar = window.queueView().progressBar();
    QTRY_COMPARE(bar.maximum(), 22);
    QVERIFY(bar.value() >= 3 && bar.value() < 22);
    // Pausing, then Paused, take the line over.
    QTest::mouseClick(&window.queueView().pauseButton(), Qt::LeftButton);
    QCOMPARE(window.StatusLineText(), QString("Pausing...."));
    QTRY_COMPARE_WITH_TIMEOUT(window.StatusLineText(), QString("Paused"), 20000);
    QTRY_COMPARE(opened_.size(), std::size_t{1});
    QVERIFY(window.queueView().continueButton().isEnabled());
    QVERIFY(!window.queueView().clearButton().isEnabled());
    QVERIFY(!window.downloadView().isEnabled());
    QCOMPARE(messages_.back().section('\n', 0, 0), QString("Paused"));
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
    Start(window, site.Url(), DownloadMode::BrowsableCopy);
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
    Start(*window, site.Url(), DownloadMode::DuplicateSite);
    QTRY_VERIFY_WITH_TIMEOUT(window->queueView().project().ActiveDownloads() > 0, 20000);
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
      Start(window, site.Url(), DownloadMode::DuplicateSite);
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

  void TabGoesThroughEveryControlInReadingOrder() {
    CKestrineDlg window;
    window.show();
    const auto chainFrom = [](QWidget* first, QWidget* page, int count) {
      std::vector<QWidget*> chain;
      for (QWidget* widget = first; chain.size() < static_cast<std::size_t>(count);
           widget = widget->nextInFocusChain()) {
        if (page->isAncestorOf(widget) && (widget->focusPolicy() & Qt::TabFocus) != 0) {
          chain.push_back(widget);
        }
        if (widget->nextInFocusChain() == first) break;
      }
      return chain;
    };
    CDownloadView& download = window.downloadView();
    const std::vector<QWidget*> downloadOrder{&download.addressEdit(), &download.downloadButton(),
                                              &download.modeButton(DownloadMode::BrowsableCopy),
                                              &download.modeButton(DownloadMode::DuplicateSite),
                                              &download.modeButton(DownloadMode::RetrieveFiles)};
    QCOMPARE(chainFrom(&download.addressEdit(), &download, 5), downloadOrder);
    CDownloadQueueView& queue = window.queueView();
    const std::vector<QWidget*> queueOrder{&queue.pauseButton(),      &queue.continueButton(),
                                           &queue.cancelButton(),     &queue.clearButton(),
                                           &queue.openFolderButton(), &queue.browseButton(),
                                           &queue.failuresButton(),   &queue.list()};
    QCOMPARE(chainFrom(&queue.pauseButton(), &queue, 8), queueOrder);
    for (QWidget* widget : queueOrder) QVERIFY(!widget->accessibleName().isEmpty());
    QVERIFY(!download.addressEdit().accessibleName().isEmpty());
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
    QCOMPARE(window.queueView().project().Concurrency(), 9);
    QCOMPARE(LocalFileSize(settings.GetSettingFile()), 5776LL);
    QCOMPARE(ToQString(settings.RecentPath(0)), ToQString(home_->folder().Wide("out")));
  }

  void TheArchiveSettingGoesToKestrineConfAndARunWritesThePackage() {
    const fs::path conf = home_->folder().path() / "config" / "kestrine" / "kestrine.conf";
    fs::create_directories(conf.parent_path());
    std::ofstream(conf) << "# mine\nlevel = 3\n";
    CKestrineDlg window;
    window.show();
    QTimer::singleShot(0, [] {
      auto* dialog = qobject_cast<CSetBasicDlg*>(QApplication::activeModalWidget());
      QVERIFY(dialog != nullptr);
      QVERIFY(!dialog->archiveBox().isChecked());
      dialog->archiveBox().setChecked(true);
      dialog->accept();
    });
    window.OnSetting();
    QCOMPARE(QString::fromStdString(testing::TempFolder::Read(conf)),
             QString("# mine\nlevel = 3\nwacz = on\n"));
    QCOMPARE(LocalFileSize(SettingUtil::GetInstance().GetSettingFile()), 5776LL);
    LinkedSite site(2, 0ms);
    Start(window, site.Url(), DownloadMode::DuplicateSite);
    QTRY_COMPARE_WITH_TIMEOUT(opened_.size(), std::size_t{1}, 20000);
    // The end notice names the package beside the site folder.
    QCOMPARE(messages_.size(), std::size_t{1});
    QVERIFY2(messages_[0].contains(".wacz ("), qPrintable(messages_[0]));
    bool packed = false;
    for (const auto& entry : fs::directory_iterator(Out())) {
      packed = packed || entry.path().extension() == ".wacz";
    }
    QVERIFY(packed);
  }

  void TheRenderChoiceGoesToKestrineConfAndComesBack() {
    const fs::path conf = home_->folder().path() / "config" / "kestrine" / "kestrine.conf";
    fs::create_directories(conf.parent_path());
    std::ofstream(conf) << "render = never\n";
    CKestrineDlg window;
    window.show();
    for (const auto& [choice, line] :
         {std::pair{2, "render = always\n"}, {0, "render = never\n"}}) {
      QTimer::singleShot(0, [choice, previous = 2 - choice] {
        auto* dialog = qobject_cast<CSetBasicDlg*>(QApplication::activeModalWidget());
        QVERIFY(dialog != nullptr);
        QCOMPARE(dialog->renderBox().currentIndex(), previous);
        dialog->renderBox().setCurrentIndex(choice);
        dialog->accept();
      });
      window.OnSetting();
      QCOMPARE(QString::fromStdString(testing::TempFolder::Read(conf)), QString(line));
    }
  }

  void ADownloadNeverWaitsForTheWindow() {
    QueueTableModel model;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
      model.InsertRow(0, u"http://h/1");
      model.DownloadUpdated({1, TransferState::Transferring, 1, 2});
      model.DeleteAllRows();
      model.InsertRow(1, u"http://h/2");
      model.DownloadEnded({2, TransferState::Succeeded});
      returned = true;
    });
    // The window thread is busy (it processes no events) meanwhile.
    for (int i = 0; i < 200 && !returned; ++i) std::this_thread::sleep_for(10ms);
    const bool returnedAlone = returned;
    // Once it looks, every change is there, in the order made.
    QTRY_COMPARE(model.rowCount(), 1);
    worker.join();
    QVERIFY(returnedAlone);
    QCOMPARE(model.CellText(0, kAddressColumn), QString("http://h/2"));
    QCOMPARE(model.CellText(0, kProgressColumn), QString("Finished"));
  }

  void TheListFormatsReportsAsTheCellsWereWritten() {
    // The model keeps a download's values and writes its cells when asked;
    // they must read exactly as the cells the engine's default writes.
    QueueTableModel model;
    MemoryQueueList cells;
    const std::u16string file = u"/copies/h/a.html";
    const std::vector<DownloadRow> reports{
        {1, TransferState::Transferring, 0, 0, 0.0, {}, {}},
        {1, TransferState::Transferring, 15ll << 20, 30ll << 20, 2.0, {}, {}},
        {2, TransferState::Transferring, 100, 0, 1.0, {}, {}},
        {1, TransferState::Succeeded, 30ll << 20, 30ll << 20, 4.5, file, {}},
        {2, TransferState::Failed, 512, 512, 0.25, file, u"HTTP 404"},
    };
    for (IQueueList* list : {static_cast<IQueueList*>(&model), static_cast<IQueueList*>(&cells)}) {
      list->InsertRow(0, u"http://h/a.html");
      list->InsertRow(1, u"http://h/b.html");
    }
    const auto same = [&](int row) {
      for (int column = 0; column < kQueueCellCount; ++column) {
        QCOMPARE(model.CellText(row, column), ToQString(cells.Rows()[row][column]));
      }
    };
    for (const DownloadRow& report : reports) {
      for (IQueueList* list :
           {static_cast<IQueueList*>(&model), static_cast<IQueueList*>(&cells)}) {
        if (report.state == TransferState::Transferring) {
          list->DownloadUpdated(report);
        } else {
          list->DownloadEnded(report);
        }
      }
      same(report.row());
    }
    QCOMPARE(model.CellText(0, kProgressColumn), QString("Finished"));
    QCOMPARE(model.data(model.index(1, kProgressColumn), Qt::ToolTipRole).toString(),
             QString("HTTP 404"));
    // A download started again shows nothing of its former values.
    model.InsertRow(0, u"http://h/a.html");
    QCOMPARE(model.CellText(0, kProgressColumn), QString());
  }

  void RowsStandInNumberOrderAndFailuresAreRed() {
    QueueTableModel model;
    model.InsertRow(2, u"http://h/3");
    model.InsertRow(0, u"http://h/1");
    model.InsertRow(1, u"http://h/2");
    model.DownloadEnded({3, TransferState::Failed, 0, 0, 0.0, {}, u"HTTP 404"});
    model.DownloadEnded({1, TransferState::Succeeded});
    model.DownloadEnded({8, TransferState::Failed, 0, 0, 0.0, {}, u"lost"});
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
