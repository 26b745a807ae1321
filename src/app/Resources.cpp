#include "app/Resources.h"

#include <optional>
#include <string>

#include <QPainter>
#include <QSvgRenderer>

#include "platform/Bundle.h"

namespace nimbla::app {

namespace {

std::optional<QString> logoPath() {
    if (auto path = platform::pathForResource("Logo", "svg")) {
        return QString::fromStdString(*path);
    }
    return std::nullopt;
}

}  // namespace

QSize logoNaturalSize() {
    const auto path = logoPath();
    if (!path) {
        return {};
    }
    QSvgRenderer renderer(*path);
    return renderer.isValid() ? renderer.defaultSize() : QSize();
}

QPixmap logoPixmap(qreal devicePixelRatio, int maxSide) {
    const auto path = logoPath();
    if (!path) {
        return {};
    }
    QSvgRenderer renderer(*path);
    if (!renderer.isValid() || renderer.defaultSize().isEmpty()) {
        return {};
    }
    QSize size = renderer.defaultSize();
    if (maxSide > 0) {
        size.scale(maxSide, maxSide, Qt::KeepAspectRatio);
    }
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    QPixmap pixmap(size * ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    painter.end();
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

}  // namespace nimbla::app
