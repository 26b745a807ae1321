#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <QString>
#include <QStringList>

namespace nimbla::app {

// The alert the main view shows, named after the outcome that asked for it.
enum class AlertDialog {
    ResetSuccess,
    ResetFailed,
    UninstallSuccess,
    UninstallFailed,
    NimblaDriveRunning,
    None
};

// What one alert says: a title, and for some cases a message under it.
struct AlertText {
    QString title;
    std::optional<QString> message;
    bool operator==(const AlertText&) const = default;
};

// The case for an outcome notification name; None for any other name.
AlertDialog alertDialogForNotification(std::string_view name);

// Where the success alerts tell the user to look for preserved files, shown exactly so: the "~"
// is not expanded and the words in angle brackets are part of the text.
QString archLocationFor(bool macOS11orLess);

// "Nimbla Reset Tool " followed by the version, or by nothing when there is none. Never
// translated.
QString windowTitleFor(const std::optional<std::string>& version);

// Replaces each "%@" in `format` with the next of `arguments`, in order ("%1$@", "%2$@" pick one
// by position, for translations that reorder). Inserted text is never scanned again; a "%@"
// without an argument left becomes empty, and "%%" stands for "%".
QString formatWithArguments(const QString& format, const QStringList& arguments);

// The translated texts of the alert for `dialog`; the two success titles end with `archLocation`.
// None has no alert: asking for it stops the program ("(should not reach this code)").
AlertText alertTextFor(AlertDialog dialog, const QString& archLocation);

// The translated button labels.
QString resetButtonLabel();
QString uninstallButtonLabel();

// The product names that fill the alert titles; never translated.
inline constexpr const char* kProductName = "Nimbla Drive";
inline constexpr const char* kCompanyName = "Nimbla";

}  // namespace nimbla::app
