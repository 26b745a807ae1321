#include "app/Resources.h"

#include <optional>
#include <string>

#include <QImage>
#include <QImageReader>

#include "platform/Bundle.h"

namespace nimbla::app {

namespace {

// The logo ships as PNG images rendered from Logo.svg: "Logo" at its natural size and "Logo@2x" at
// twice that for dense screens. Decoding them needs nothing beyond Qt Gui, which keeps an SVG
// renderer out of start-up.
std::optional<QString> logoPath(const char* name) {
    if (auto path = platform::pathForResource(name, "png")) {
        return QString::fromStdString(*path);
    }
    return std::nullopt;
}

// The sharpest image there is for the ratio; null when none can be read.
QImage logoImage(qreal devicePixelRatio) {
    if (devicePixelRatio > 1.0) {
        if (const auto path = logoPath("Logo@2x")) {
            QImage image(*path);
            if (!image.isNull()) {
                return image;
            }
        }
    }
    const auto path = logoPath("Logo");
    return path ? QImage(*path) : QImage();
}

}  // namespace

QSize logoNaturalSize() {
    const auto path = logoPath("Logo");
    if (!path) {
        return {};
    }
    QImageReader reader(*path);  // reads the header only
    const QSize size = reader.size();
    return size.isValid() ? size : QSize();
}

QPixmap logoPixmap(qreal devicePixelRatio, int maxSide) {
    QSize size = logoNaturalSize();
    if (size.isEmpty()) {
        return {};
    }
    if (maxSide > 0) {
        size.scale(maxSide, maxSide, Qt::KeepAspectRatio);
    }
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    QImage image = logoImage(ratio);
    if (image.isNull()) {
        return {};
    }
    const QSize pixels = size * ratio;
    if (image.size() != pixels) {
        image = image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    QPixmap pixmap = QPixmap::fromImage(std::move(image));
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

}  // namespace nimbla::app
