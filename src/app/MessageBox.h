#pragma once

#include <functional>

#include <QPointer>

#include "app/AlertDialog.h"

class QMessageBox;
class QWidget;

namespace nimbla::app {

// Every alert of the tool goes through here. An alert is window-modal but never blocks: open()
// returns at once with the box on screen and the event loop keeps running, so outcomes that
// arrive meanwhile are still handled. The box has one button, OK, and deletes itself once
// dismissed.
class MessageBox {
public:
    // Shows `text` over `parent`'s window. `onDismissed` runs when the user presses OK (or closes
    // the box), not when the box is discarded with discard().
    static QMessageBox* open(QWidget* parent, const AlertText& text,
                             std::function<void()> onDismissed);

    // Takes a box off the screen without counting it as dismissed by the user.
    static void discard(QMessageBox* box);

    // Presses the box's one button, as the user would. For tests and for scripted screenshots.
    static void answer(QMessageBox* box);

    // Tests watch alerts here: `observer` sees each box right after it is shown. An empty
    // function stops watching.
    using Observer = std::function<void(QMessageBox*)>;
    static void setObserver(Observer observer);
};

}  // namespace nimbla::app
