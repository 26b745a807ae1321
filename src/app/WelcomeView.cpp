#include "app/WelcomeView.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QThread>
#include <QVBoxLayout>

#include "app/FittingButton.h"
#include "app/MessageBox.h"
#include "app/Resources.h"
#include "operations/Outcomes.h"
#include "operations/Reset.h"
#include "operations/Uninstall.h"
#include "platform/Bundle.h"

namespace nimbla::app {

WelcomeView::WelcomeView(QWidget* parent)
    : QWidget(parent), versionString_(platform::shortVersion()) {
    setWindowTitle(title());

    logo_ = new QLabel(this);
    logo_->setAlignment(Qt::AlignCenter);
    const QPixmap logo = logoPixmap(devicePixelRatioF());
    if (!logo.isNull()) {
        logo_->setPixmap(logo);
    }
    logo_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    resetButton_ = new FittingButton(resetButtonLabel(), this);
    uninstallButton_ = new FittingButton(uninstallButtonLabel(), this);
    for (FittingButton* button : {resetButton_, uninstallButton_}) {
        button->setFixedWidth(kButtonWidth);
        button->setAutoDefault(false);
    }
    // The workflows answer later, through an outcome notification. The buttons are never
    // disabled and ask nothing first: a second press starts a second run.
    connect(resetButton_, &QPushButton::clicked, this, [] { resetNimbla(false); });
    connect(uninstallButton_, &QPushButton::clicked, this, [] { uninstallNimbla(); });

    auto* logoRow = new QHBoxLayout;
    logoRow->addWidget(logo_, 0, Qt::AlignCenter);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(resetButton_);
    buttonRow->addWidget(uninstallButton_);

    // The style's own padding around the whole; between logo and buttons exactly the fixed gap.
    auto* stack = new QVBoxLayout(this);
    stack->setSpacing(0);
    stack->addLayout(logoRow);
    stack->addSpacing(kLogoToButtonsGap);
    stack->addLayout(buttonRow);
    stack->setAlignment(buttonRow, Qt::AlignHCenter);

    // Outcomes are posted on the main queue, which is this thread's event loop; one posted from
    // elsewhere is handed over to this thread rather than touching widgets from there. Queued
    // work dies with the view, and the destructor removes the observers.
    auto& center = platform::NotificationCenter::defaultCenter();
    const std::array names{outcomes::nimblaDriveRunning, outcomes::uninstallSuccess,
                           outcomes::uninstallFailed, outcomes::resetSuccess,
                           outcomes::resetFailed};
    for (std::size_t i = 0; i < names.size(); ++i) {
        const AlertDialog dialog = alertDialogForNotification(names[i]);
        observers_[i] = center.addObserver(names[i], [this, dialog] {
            QMetaObject::invokeMethod(
                this, [this, dialog] { handle(dialog); }, Qt::AutoConnection);
        });
    }
}

WelcomeView::~WelcomeView() {
    auto& center = platform::NotificationCenter::defaultCenter();
    for (auto token : observers_) {
        center.removeObserver(token);
    }
    MessageBox::discard(shownAlert_);
}

const QString& WelcomeView::archLocation() const {
    if (!archLocation_) {
        archLocation_ = archLocationFor(isMacOS11orLess());
    }
    return *archLocation_;
}

void WelcomeView::handle(AlertDialog dialog) {
    alertToShow_ = dialog;
    showAlert_ = true;
    presentAlert();
}

void WelcomeView::presentAlert() {
    if (!showAlert_) {
        return;
    }
    // Built from the case at hand; None here is an internal error that stops the program.
    const AlertText text = alertTextFor(alertToShow_, archLocation());
    MessageBox::discard(shownAlert_);
    shownAlert_ = MessageBox::open(this, text, [this] {
        // Dismissed by the user: the case stays, only the alert goes.
        showAlert_ = false;
        shownAlert_ = nullptr;
    });
}

void WelcomeView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The view names its window, wherever it is placed.
    if (window() != this) {
        window()->setWindowTitle(title());
    }
}

void WelcomeView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) {
        retranslate();
    }
    QWidget::changeEvent(event);
}

void WelcomeView::retranslate() {
    resetButton_->setText(resetButtonLabel());
    uninstallButton_->setText(uninstallButtonLabel());
}

}  // namespace nimbla::app
