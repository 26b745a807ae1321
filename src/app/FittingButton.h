#pragma once

#include <QPushButton>

namespace nimbla::app {

// A push button whose label fills the button's width and shrinks, down to a fifth of its size,
// when it would not fit otherwise; a label that does not fit even then is elided.
class FittingButton : public QPushButton {
    Q_OBJECT
public:
    static constexpr double kMinimumScale = 0.2;

    explicit FittingButton(const QString& text, QWidget* parent = nullptr);

    // The scale the label is drawn at, in [kMinimumScale, 1].
    double labelScale() const;
    // The font, area and text the label is drawn with.
    QFont labelFont() const;
    QRect labelRect() const;
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString shownText(const QFont& font) const;
};

// The scale at which text `textWidth` wide fits into `available`: 1 when it fits, never below
// `minimum`.
double fitScale(qreal textWidth, qreal available, double minimum = FittingButton::kMinimumScale);

}  // namespace nimbla::app
