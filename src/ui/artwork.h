#pragma once

#include <QIcon>
#include <QPixmap>

namespace kestrine {

// Kestrine's own pictures, drawn rather than shipped: the banner above the
// address field and the application icon. A resource bundle may replace
// either (":/krx/banner.png", ":/krx/icon.png").
class Artwork {
 public:
  static QPixmap Banner(qreal devicePixelRatio = 1.0);
  static QIcon Icon();
};

}  // namespace kestrine
