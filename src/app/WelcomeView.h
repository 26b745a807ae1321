#pragma once

#include <array>
#include <optional>
#include <string>

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include "app/AlertDialog.h"
#include "platform/NotificationCenter.h"

class QLabel;

namespace nimbla::app {

class FittingButton;

// The main view: the logo, a fixed gap, and the buttons "Reset" and "Uninstall". It turns each
// outcome notification into an alert, and gives its window the title with the tool's version.
class WelcomeView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kLogoToButtonsGap = 22;
    static constexpr int kButtonWidth = 80;

    explicit WelcomeView(QWidget* parent = nullptr);
    ~WelcomeView() override;

    bool showAlert() const { return showAlert_; }
    AlertDialog alertToShow() const { return alertToShow_; }
    // Where never-uploaded files are kept, by the system version; read on first use (an alert),
    // not before the window shows.
    const QString& archLocation() const;
    const std::optional<std::string>& versionString() const { return versionString_; }
    QString title() const { return windowTitleFor(versionString_); }

    // The alert on screen, if any.
    QMessageBox* shownAlert() const { return shownAlert_; }
    FittingButton* resetButton() const { return resetButton_; }
    FittingButton* uninstallButton() const { return uninstallButton_; }
    QLabel* logo() const { return logo_; }

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Handles one outcome: remembers its case and shows its alert. A second outcome while an
    // alert is on screen replaces that alert.
    void handle(AlertDialog dialog);
    void presentAlert();
    void retranslate();

    bool showAlert_ = false;
    AlertDialog alertToShow_ = AlertDialog::None;
    mutable std::optional<QString> archLocation_;
    const std::optional<std::string> versionString_;

    QLabel* logo_ = nullptr;
    FittingButton* resetButton_ = nullptr;
    FittingButton* uninstallButton_ = nullptr;
    QPointer<QMessageBox> shownAlert_;
    std::array<platform::NotificationCenter::Token, 5> observers_{};
};

}  // namespace nimbla::app
