#include "app/FittingButton.h"

#include <algorithm>

#include <QFontMetricsF>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace nimbla::app {

namespace {

QFont scaledFont(QFont font, double scale) {
    if (scale >= 1.0) {
        return font;
    }
    if (font.pointSizeF() > 0) {
        font.setPointSizeF(font.pointSizeF() * scale);
    } else if (font.pixelSize() > 0) {
        font.setPixelSize(std::max(1, static_cast<int>(font.pixelSize() * scale)));
    }
    return font;
}

}  // namespace

double fitScale(qreal textWidth, qreal available, double minimum) {
    if (textWidth <= 0 || textWidth <= available) {
        return 1.0;
    }
    if (available <= 0) {
        return minimum;
    }
    return std::clamp(available / textWidth, minimum, 1.0);
}

FittingButton::FittingButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}

QRect FittingButton::labelRect() const {
    QStyleOptionButton option;
    initStyleOption(&option);
    const QRect contents = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    const int margin = style()->pixelMetric(QStyle::PM_ButtonMargin, &option, this) / 2;
    return contents.adjusted(margin, 0, -margin, 0);
}

double FittingButton::labelScale() const {
    const qreal textWidth = QFontMetricsF(font()).horizontalAdvance(text());
    double scale = fitScale(textWidth, labelRect().width());
    // Font sizes are not continuous: step down until the text really fits, or the floor is hit.
    while (scale > kMinimumScale &&
           QFontMetricsF(scaledFont(font(), scale)).horizontalAdvance(text()) >
               labelRect().width()) {
        scale = std::max(kMinimumScale, scale - 0.02);
    }
    return scale;
}

QFont FittingButton::labelFont() const {
    return scaledFont(font(), labelScale());
}

QString FittingButton::shownText() const {
    return shownText(labelFont());
}

QString FittingButton::shownText(const QFont& font) const {
    return QFontMetrics(font).elidedText(text(), Qt::ElideRight, labelRect().width());
}

void FittingButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    // The text is measured once per paint: the scale search and the elision share one font.
    const QFont font = labelFont();
    painter.setFont(font);
    painter.drawItemText(labelRect(), Qt::AlignCenter | Qt::TextShowMnemonic, palette(),
                         isEnabled(), shownText(font), QPalette::ButtonText);
}

}  // namespace nimbla::app
