#include "app/Resources.h"

#include <memory>
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

// A reader for the PNG decoder built into Qt Gui. Left to guess, the reader would load every
// image format plugin there is (the SVG one with Qt Svg among them) to ask whether it wants the
// file first.
std::unique_ptr<QImageReader> pngReader(const QString& path) {
    auto reader = std::make_unique<QImageReader>(path, QByteArrayLiteral("png"));
    reader->setAutoDetectImageFormat(false);
    return reader;
}

QImage readPng(const QString& path) {
    return pngReader(path)->read();
}

// The sharpest image there is for the ratio; null when none can be read.
QImage logoImage(qreal devicePixelRatio) {
    if (devicePixelRatio > 1.0) {
        if (const auto path = logoPath("Logo@2x")) {
            QImage image = readPng(*path);
            if (!image.isNull()) {
                return image;
            }
        }
    }
    const auto path = logoPath("Logo");
    return path ? readPng(*path) : QImage();
}

}  // namespace

QSize logoNaturalSize() {
    const auto path = logoPath("Logo");
    if (!path) {
        return {};
    }
    const QSize size = pngReader(*path)->size();  // reads the header only
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
