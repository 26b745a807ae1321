#pragma once

// Shared by the window tests: the QApplication (offscreen), a private home folder for the log,
// and helpers to wait on the event loop and to find the alert on screen.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QTest>

#include "app/AlertDialog.h"
#include "app/MessageBox.h"
#include "platform/Bundle.h"
#include "platform/SystemVersion.h"

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
namespace nimbla::app {
inline void PrintTo(const AlertText& text, std::ostream* out) {
    *out << "{title \"" << text.title.toStdString() << "\", message ";
    if (text.message) {
        *out << '"' << text.message->toStdString() << '"';
    } else {
        *out << "none";
    }
    *out << '}';
}
}  // namespace nimbla::app

namespace nimbla::apptest {

// Runs the event loop until `condition` holds or `timeout` passes.
inline bool waitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    return QTest::qWaitFor(condition, static_cast<int>(timeout.count()));
}

// Every alert shown while it lives, in order.
class AlertWatch {
public:
    AlertWatch() {
        app::MessageBox::setObserver([this](QMessageBox* box) { shown_.push_back(box); });
    }
    ~AlertWatch() { app::MessageBox::setObserver({}); }
    AlertWatch(const AlertWatch&) = delete;
    AlertWatch& operator=(const AlertWatch&) = delete;

    int count() const { return static_cast<int>(shown_.size()); }
    QMessageBox* last() const { return shown_.empty() ? nullptr : shown_.back().data(); }
    // The alerts that are on screen now.
    int visible() const {
        int n = 0;
        for (const auto& box : shown_) {
            n += (box && box->isVisible()) ? 1 : 0;
        }
        return n;
    }

private:
    std::vector<QPointer<QMessageBox>> shown_;
};

// The tool's own bundle as found in the build tree, with `version` as its short version.
inline platform::BundleInfo bundleWithVersion(std::optional<std::string> version) {
    platform::BundleInfo info = platform::mainBundleSeam().real()();
    info.shortVersion = std::move(version);
    return info;
}

inline auto pretendSystem(int major) {
    return platform::operatingSystemVersionSeam().override([major] {
        return platform::OperatingSystemVersion{major, 0, 0};
    });
}

}  // namespace nimbla::apptest
