#include "ui/artwork.h"

#include <QFile>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace kestrine {

namespace {

constexpr int kBannerWidth = 350;
constexpr int kBannerHeight = 77;
const QColor kDeepBlue(0x1F, 0x3B, 0x5C);
const QColor kRust(0xC8, 0x5A, 0x2A);

// A falcon's wing in flight: two swept curves.
void DrawWing(QPainter& painter, const QRectF& box, const QColor& colour) {
  QPainterPath wing;
  const qreal x = box.left();
  const qreal y = box.top();
  const qreal w = box.width();
  const qreal h = box.height();
  wing.moveTo(x, y + h * 0.62);
  wing.cubicTo(x + w * 0.30, y + h * 0.10, x + w * 0.65, y + h * 0.05, x + w, y);
  wing.cubicTo(x + w * 0.70, y + h * 0.30, x + w * 0.55, y + h * 0.55, x + w * 0.42, y + h * 0.70);
  wing.lineTo(x + w * 0.55, y + h);
  wing.cubicTo(x + w * 0.35, y + h * 0.85, x + w * 0.15, y + h * 0.75, x, y + h * 0.62);
  painter.setPen(Qt::NoPen);
  painter.setBrush(colour);
  painter.drawPath(wing);
}

}  // namespace

QPixmap Artwork::Banner(qreal devicePixelRatio) {
  if (QFile::exists(":/krx/banner.png")) return QPixmap(":/krx/banner.png");
  QPixmap banner(QSize(kBannerWidth, kBannerHeight) * devicePixelRatio);
  banner.setDevicePixelRatio(devicePixelRatio);
  banner.fill(Qt::white);
  QPainter painter(&banner);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient band(0, 0, kBannerWidth, 0);
  band.setColorAt(0, QColor(0xEE, 0xF3, 0xF8));
  band.setColorAt(1, Qt::white);
  painter.fillRect(QRectF(0, 8, kBannerWidth, kBannerHeight - 16), band);
  DrawWing(painter, QRectF(18, 12, 70, 50), kRust);
  QFont title("Sans Serif");
  title.setPixelSize(38);
  title.setBold(true);
  painter.setFont(title);
  painter.setPen(kDeepBlue);
  painter.drawText(QRectF(100, 4, 240, 50), Qt::AlignLeft | Qt::AlignVCenter, "Kestrine");
  QFont tagline("Sans Serif");
  tagline.setPixelSize(12);
  painter.setFont(tagline);
  painter.setPen(QColor(0x55, 0x60, 0x6E));
  painter.drawText(QRectF(102, 48, 240, 20), Qt::AlignLeft | Qt::AlignVCenter,
                   "websites, kept for offline reading");
  return banner;
}

QIcon Artwork::Icon() {
  if (QFile::exists(":/krx/icon.png")) return QIcon(":/krx/icon.png");
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kDeepBlue);
    painter.drawRoundedRect(QRectF(0, 0, size, size), size * 0.18, size * 0.18);
    DrawWing(painter, QRectF(size * 0.14, size * 0.22, size * 0.72, size * 0.56), kRust);
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace kestrine
