#include "ui/download_view.h"

#include <QButtonGroup>
#include <QResizeEvent>

#include "engine/surface/i_status_monitor.h"
#include "presentation/string_table.h"
#include "site/address/start_address.h"
#include "ui/artwork.h"
#include "ui/dialog_services.h"
#include "ui/qt_text.h"
#include "ui/ui_thread.h"

namespace kestrine {

CDownloadView::CDownloadView(IStatusMonitor& monitor, QWidget* parent)
    : QWidget(parent), monitor_(monitor) {
  setAutoFillBackground(true);
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  setPalette(white);

  banner_ = new QLabel(this);
  banner_->setPixmap(Artwork::Banner(devicePixelRatioF()));
  banner_->adjustSize();
  label_ = new QLabel(Text(kIdsWebsiteAddress), this);
  address_ = new QLineEdit(this);
  address_->setMinimumWidth(fontMetrics().averageCharWidth() * 60);
  address_->resize(address_->minimumWidth(), address_->sizeHint().height());
  address_->setClearButtonEnabled(true);
  address_->setPlaceholderText("https://");
  address_->setToolTip(tr("A web address such as %1. Without http:// or https:// it is fetched "
                          "over https; type http:// for plain http.")
                           .arg(StartAddress::kExample));
  address_->setAccessibleName(tr("Website address"));
  label_->setBuddy(address_);
  label_->adjustSize();
  download_ = new QPushButton(Text(kIdsDownloadButton), this);
  download_->setAccessibleName(tr("Download"));
  download_->setDefault(true);
  download_->adjustSize();
  example_ = new QLabel(Text(kIdsExampleLine), this);
  example_->setForegroundRole(QPalette::PlaceholderText);
  example_->adjustSize();
  auto* group = new QButtonGroup(this);
  const int choices[3] = {kIdsBrowsableCopyChoice, kIdsDuplicateSiteChoice,
                          kIdsRetrieveFilesChoice};
  for (int mode = 0; mode < 3; ++mode) {
    modes_[mode] = new QRadioButton(Text(choices[mode]), this);
    modes_[mode]->adjustSize();
    group->addButton(modes_[mode], mode);
  }
  modes_[0]->setChecked(true);
  connect(download_, &QPushButton::clicked, this, &CDownloadView::OnDownload);
  connect(address_, &QLineEdit::returnPressed, this, &CDownloadView::OnDownload);
  setTabOrder(address_, download_);
  setTabOrder(download_, modes_[0]);
  setTabOrder(modes_[0], modes_[1]);
  setTabOrder(modes_[1], modes_[2]);
  setFocusProxy(address_);
}

CDownloadView::~CDownloadView() { WaitForStartThread(); }

int CDownloadView::mode() const {
  for (int mode = 0; mode < 3; ++mode) {
    if (modes_[mode]->isChecked()) return mode;
  }
  return 0;
}

void CDownloadView::OnDownload() {
  // 1. and 2. The address without blanks around it.
  const QString address = address_->text().trimmed();
  // 3. Nothing to start.
  if (address.isEmpty()) return;
  // An address that cannot start a copy is said at once, with an example,
  // and the field is there to mend it.
  const StartAddress start = StartAddress::Check(FromQString(address));
  if (!start.ok()) {
    DialogServices::Current().messageBox(
        this,
        tr("%1\nType a web address such as %2 (http:// must be typed for plain http).")
            .arg(QString::fromStdString(start.refusal()), StartAddress::kExample),
        window()->windowTitle(), MessageIcon::Warning);
    address_->setFocus();
    address_->selectAll();
    return;
  }
  // 4. The edit shows what is started.
  address_->setText(ToQString(start.address()));
  if (mayStart && !mayStart()) return;
  const int chosen = mode();
  // 5. The start thread hands the address and the mode to the project.
  WaitForStartThread();
  starting_ = true;
  startThread_ = std::thread([this, begin = start.address(), chosen] {
    monitor_.StartDownload(begin);
    monitor_.ShowQueue(static_cast<DownloadMode>(chosen));
    starting_ = false;
    UiThread::Wake(this);
  });
}

void CDownloadView::WaitForStartThread() {
  UiThread::WaitUntil([this] { return !starting_.load(); });
  if (startThread_.joinable()) startThread_.join();
}

void CDownloadView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int w = width();
  const int h = height();
  // The picture above the middle, the address field under it with its label
  // on the left and the button on the right, then the example line and the
  // three choices.
  const int y1 = std::max(4, h / 2 - banner_->height() - 60);
  banner_->move((w - banner_->width()) / 2, y1);
  const int y2 = y1 + banner_->height() + 5;
  const int xe = (w - address_->width()) / 2;
  address_->move(xe, y2);
  label_->move(xe - label_->width() - 5, y2 + (address_->height() - label_->height()) / 2);
  download_->move((w + address_->width()) / 2 + 5, y2);
  const int y3 = y2 + download_->height() + 15;
  example_->move((w - example_->width()) / 2 + 10, y3);
  int y = y3 + example_->height() + 10;
  for (QRadioButton* choice : modes_) {
    choice->move(xe + 10, y);
    y += choice->height() + 10;
  }
}

}  // namespace kestrine
