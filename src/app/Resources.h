#pragma once

#include <QPixmap>
#include <QSize>

namespace nimbla::app {

// The "Logo" image of the tool's resources at its natural size (scaled to `maxSide` points on
// its longer side when that is given), rendered for the device pixel ratio. Null when the
// resource is missing or unreadable.
QPixmap logoPixmap(qreal devicePixelRatio, int maxSide = 0);

// The logo's natural size in points; empty when there is none.
QSize logoNaturalSize();

}  // namespace nimbla::app
