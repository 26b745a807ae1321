#include "app/MessageBox.h"

#include <utility>

#include <QAbstractButton>
#include <QMessageBox>

#include "app/Resources.h"

namespace nimbla::app {

namespace {

MessageBox::Observer& observer() {
    static MessageBox::Observer watching;
    return watching;
}

}  // namespace

QMessageBox* MessageBox::open(QWidget* parent, const AlertText& text,
                              std::function<void()> onDismissed) {
    auto* box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    // The product's name, like the window's; not translated.
    box->setWindowTitle(QStringLiteral("Nimbla Reset Tool"));
    // The texts are shown as they are: "<current day and time>" is words, not markup.
    box->setTextFormat(Qt::PlainText);
    box->setText(text.title);
    if (text.message) {
        box->setInformativeText(*text.message);
    }
    box->setStandardButtons(QMessageBox::Ok);
    box->setDefaultButton(QMessageBox::Ok);
    const QPixmap logo = logoPixmap(box->devicePixelRatioF());
    if (!logo.isNull()) {
        box->setIconPixmap(logo);
    }
    QObject::connect(box, &QMessageBox::finished, box, [onDismissed = std::move(onDismissed)] {
        if (onDismissed) {
            onDismissed();
        }
    });
    box->open();
    if (observer()) {
        observer()(box);
    }
    return box;
}

void MessageBox::discard(QMessageBox* box) {
    if (box == nullptr) {
        return;
    }
    QObject::disconnect(box, &QMessageBox::finished, nullptr, nullptr);
    box->close();
}

void MessageBox::answer(QMessageBox* box) {
    if (box == nullptr) {
        return;
    }
    if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
        ok->click();
    }
}

void MessageBox::setObserver(Observer watching) {
    observer() = std::move(watching);
}

}  // namespace nimbla::app
