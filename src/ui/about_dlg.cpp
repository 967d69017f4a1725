#include "ui/about_dlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "presentation/string_table.h"
#include "ui/artwork.h"
#include "ui/qt_text.h"

namespace kestrine {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  const QString name = ToQString(StringTable::Load(kIdsProductName));
  const QString version = ToQString(StringTable::Load(kIdsVersion));
  setWindowTitle(tr("About %1").arg(name));
  auto* icon = new QLabel(this);
  icon->setPixmap(Artwork::Icon().pixmap(48, 48));
  auto* text = new QLabel(QString("%1, V%2").arg(name, version), this);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  auto* row = new QHBoxLayout;
  row->addWidget(icon);
  row->addWidget(text, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &CAboutDlg::accept);
}

}  // namespace kestrine
