#include "app/Resources.h"

#include <memory>
#include <optional>
#include <string>

#include <QHash>
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

// Decoded images and header sizes by path, kept for the life of the process: the window's icon,
// its logo and every alert show the same few files, which are then read and decoded once. Only
// what could be read is kept. GUI thread only, as pixmaps are.
QHash<QString, QImage>& decodedImages() {
    static auto* const images = new QHash<QString, QImage>;
    return *images;
}

QImage readPng(const QString& path) {
    auto& images = decodedImages();
    if (const auto found = images.constFind(path); found != images.constEnd()) {
        return *found;
    }
    QImage image = pngReader(path)->read();
    if (!image.isNull()) {
        images.insert(path, image);
    }
    return image;
}

// The sharpest image there is for the ratio, given the path of "Logo"; null when none can be read.
QImage logoImage(qreal devicePixelRatio, const QString& logo) {
    if (devicePixelRatio > 1.0) {
        if (const auto path = logoPath("Logo@2x")) {
            QImage image = readPng(*path);
            if (!image.isNull()) {
                return image;
            }
        }
    }
    return readPng(logo);
}

// Once the image is decoded its size is known; until then the header tells it.
QSize naturalSize(const QString& logo) {
    const auto& images = decodedImages();
    const auto decoded = images.constFind(logo);
    const QSize size = decoded != images.constEnd() ? decoded->size() : pngReader(logo)->size();
    return size.isValid() ? size : QSize();
}

}  // namespace

QSize logoNaturalSize() {
    const auto logo = logoPath("Logo");
    return logo ? naturalSize(*logo) : QSize();
}

QPixmap logoPixmap(qreal devicePixelRatio, int maxSide) {
    const auto logo = logoPath("Logo");
    if (!logo) {
        return {};
    }
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    // Decoded first: at a ratio of 1 that is the natural size's image, and no header is read.
    QImage image = logoImage(ratio, *logo);
    QSize size = naturalSize(*logo);
    if (image.isNull() || size.isEmpty()) {
        return {};
    }
    if (maxSide > 0) {
        size.scale(maxSide, maxSide, Qt::KeepAspectRatio);
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
