#include "ui/set_basic_dlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "config/setting_util.h"
#include "presentation/string_table.h"
#include "ui/dialog_services.h"
#include "ui/qt_text.h"

namespace kestrine {

CSetBasicDlg::CSetBasicDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(ToQString(StringTable::Load(kIdsSettingTitle)));
  auto* group = new QGroupBox(ToQString(StringTable::Load(kIdsSettingTitle)), this);
  auto* form = new QFormLayout(group);
  threads_ = new QLineEdit(group);
  timeOutEdit_ = new QLineEdit(group);
  folder_ = new QComboBox(group);
  folder_->setEditable(true);
  folder_->setInsertPolicy(QComboBox::NoInsert);
  folder_->setMinimumContentsLength(40);
  browse_ = new QPushButton(tr("&Browse"), group);
  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(folder_, 1);
  folderRow->addWidget(browse_);
  form->addRow(tr("&Thread Number(1-15)"), threads_);
  form->addRow(tr("Time &out(s,>=10)"), timeOutEdit_);
  form->addRow(tr("&Path"), folderRow);
  archive_ = new QCheckBox(tr("Also keep a web &archive (WACZ)"), group);
  archive_->setToolTip(
      tr("Every exchange of a run as received, packaged beside the site folder for archiving "
         "tools and ReplayWeb.page"));
  form->addRow(QString(), archive_);
  // In the order of RenderMode.
  render_ = new QComboBox(group);
  render_->addItem(tr("Never"));
  render_->addItem(tr("When a page is an application's empty shell"));
  render_->addItem(tr("Always"));
  render_->setToolTip(
      tr("Pages are loaded in Chromium and kept as it shows them, with what they fetch"));
  form->addRow(tr("&Render pages that scripts build"), render_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &CSetBasicDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CSetBasicDlg::reject);
  connect(browse_, &QPushButton::clicked, this, &CSetBasicDlg::OnBrowse);
}

void CSetBasicDlg::FillControls() {
  threads_->setText(QString::number(threadNumber));
  timeOutEdit_->setText(QString::number(timeOut));
  folder_->clear();
  const SettingUtil& settings = SettingUtil::GetInstance();
  for (int i = 0; i < BasicSetting::kRecentCount; ++i) {
    const std::u16string recent = settings.RecentPath(i);
    if (!recent.empty()) folder_->addItem(ToQString(recent));
  }
  folder_->setEditText(path);
  archive_->setChecked(keepArchive);
  render_->setCurrentIndex(static_cast<int>(render));
}

bool CSetBasicDlg::ReadRange(QLineEdit* edit, int low, int high, int& value) {
  bool number = false;
  const int read = edit->text().trimmed().toInt(&number);
  if (number && read >= low && read <= high) {
    value = read;
    return true;
  }
  DialogServices::Current().messageBox(
      this, tr("Please enter an integer between %1 and %2.").arg(low).arg(high), windowTitle(),
      MessageIcon::Warning);
  edit->setFocus();
  edit->selectAll();
  return false;
}

void CSetBasicDlg::accept() {
  int threads = 0;
  int seconds = 0;
  if (!ReadRange(threads_, SettingUtil::kMinThreads, SettingUtil::kMaxThreads, threads)) return;
  if (!ReadRange(timeOutEdit_, SettingUtil::kMinTimeOut, SettingUtil::kMaxTimeOut, seconds)) {
    return;
  }
  const QString folder = folder_->currentText().trimmed();
  // The settings record holds 499 bytes of a folder name; a longer one
  // would be cut, so it is refused here.
  SettingUtil scratch;
  if (scratch.SetDownloadFolder(FromQString(folder)) != FolderResult::Stored) {
    DialogServices::Current().messageBox(
        this, tr("The folder name is too long to be stored. Please choose a shorter one."),
        windowTitle(), MessageIcon::Warning);
    folder_->setFocus();
    return;
  }
  threadNumber = threads;
  timeOut = seconds;
  path = folder;
  keepArchive = archive_->isChecked();
  render = static_cast<RenderMode>(render_->currentIndex());
  QDialog::accept();
}

void CSetBasicDlg::OnBrowse() {
  // The picker starts at the stored folder, not at what the box shows.
  const QString start = ToQString(SettingUtil::GetInstance().GetDownloadFolder());
  const QString chosen = DialogServices::Current().inputFolder(this, start);
  if (chosen.isEmpty()) return;
  path = chosen;
  FillControls();
}

}  // namespace kestrine
