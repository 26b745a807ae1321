#include "app/AlertDialog.h"

#include <QCoreApplication>
#include <QtGlobal>

#include "operations/Outcomes.h"
#include "operations/Preservation.h"

namespace nimbla::app {

// Every text of the window is looked up in the one context "WelcomeView", with its English wording
// as the key, so that lupdate finds each with its translator comment.

AlertDialog alertDialogForNotification(std::string_view name) {
    if (name == outcomes::nimblaDriveRunning) {
        return AlertDialog::NimblaDriveRunning;
    }
    if (name == outcomes::uninstallSuccess) {
        return AlertDialog::UninstallSuccess;
    }
    if (name == outcomes::uninstallFailed) {
        return AlertDialog::UninstallFailed;
    }
    if (name == outcomes::resetSuccess) {
        return AlertDialog::ResetSuccess;
    }
    if (name == outcomes::resetFailed) {
        return AlertDialog::ResetFailed;
    }
    return AlertDialog::None;
}

QString archLocationFor(bool macOS11orLess) {
    return macOS11orLess
               ? QStringLiteral("~/") + QString::fromUtf8(kArchiveFolderName)
               : QStringLiteral("~/Library/CloudStorage/Nimbla-Nimbla (<current day and time>)");
}

QString windowTitleFor(const std::optional<std::string>& version) {
    QString title = QStringLiteral("Nimbla Reset Tool ");
    if (version) {
        title += QString::fromStdString(*version);
    }
    return title;
}

QString formatWithArguments(const QString& format, const QStringList& arguments) {
    QString result;
    result.reserve(format.size());
    qsizetype next = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c != u'%' || i + 1 >= format.size()) {
            result += c;
            continue;
        }
        if (format[i + 1] == u'@') {
            if (next < arguments.size()) {
                result += arguments[next];
            }
            ++next;
            ++i;
            continue;
        }
        if (format[i + 1] == u'%') {
            result += u'%';
            ++i;
            continue;
        }
        // "%<n>$@": the n-th argument, counted from 1.
        qsizetype j = i + 1;
        while (j < format.size() && format[j].isDigit()) {
            ++j;
        }
        if (j > i + 1 && j + 1 < format.size() && format[j] == u'$' && format[j + 1] == u'@') {
            bool ok = false;
            const qsizetype position = format.mid(i + 1, j - i - 1).toLongLong(&ok);
            if (ok && position >= 1 && position <= arguments.size()) {
                result += arguments[position - 1];
            }
            i = j + 1;
            continue;
        }
        result += c;
    }
    return result;
}

AlertText alertTextFor(AlertDialog dialog, const QString& archLocation) {
    const QString product = QString::fromLatin1(kProductName);
    const QString company = QString::fromLatin1(kCompanyName);
    switch (dialog) {
        case AlertDialog::ResetSuccess:
            return {
                formatWithArguments(
                    //: Confirmation that reset was successful. '%@' is replaced with the product
                    //: name, usually 'Nimbla Drive'
                    QCoreApplication::translate("WelcomeView",
                                                "%@ reset successfully. \n\nFiles that were not "
                                                "uploaded to %@ have been preserved. Access "
                                                "preserved files at this location: "),
                    {product, company}) +
                    archLocation,
                std::nullopt};
        case AlertDialog::ResetFailed:
            return {formatWithArguments(
                        //: Warning that Nimbla Drive failed to reset. '%@' is replaced with the
                        //: product name, usually 'Nimbla Drive'
                        QCoreApplication::translate("WelcomeView",
                                                    "%@ failed to reset. \n\nPlease try again or "
                                                    "contact Nimbla customer support for "
                                                    "assistance."),
                        {product}),
                    std::nullopt};
        case AlertDialog::UninstallSuccess:
            return {formatWithArguments(
                        //: Confirmation of Nimbla Drive uninstall. '%@' is replaced with the
                        //: product name, usually 'Nimbla Drive'
                        QCoreApplication::translate("WelcomeView",
                                                    "%@ was successfully uninstalled. \n\nFiles "
                                                    "that were not uploaded to %@ have been "
                                                    "preserved. Access preserved files at this "
                                                    "location: "),
                        {product, company}) +
                        archLocation,
                    std::nullopt};
        case AlertDialog::UninstallFailed:
            return {
                formatWithArguments(
                    //: Error description for failure during nimbla drive uninstall.'%@' is replaced
                    //: with the product name, usually 'Nimbla Drive'
                    QCoreApplication::translate("WelcomeView",
                                                "Error: %@ could not be uninstalled"),
                    {product}),
                //: Indication for user to contact nimbla customer support upon failure to uninstall
                QCoreApplication::translate(
                    "WelcomeView", "Please contact Nimbla customer support for assistance")};
        case AlertDialog::NimblaDriveRunning:
            return {
                formatWithArguments(
                    //: Error description for when user attampts to reset or uninstall while Nimbla
                    //: Drive is running. '%@' is replaced with the product name, usually 'Nimbla
                    //: Drive'
                    QCoreApplication::translate("WelcomeView", "Error: %@ is running"), {product}),
                //: Indication for user to quit Nimbla Drive before resetting or uninstalling
                QCoreApplication::translate(
                    "WelcomeView",
                    "Please quit Nimbla Drive first before resetting or uninstalling")};
        case AlertDialog::None:
            break;
    }
    qFatal("(should not reach this code)");
}

QString resetButtonLabel() {
    //: Reset button
    return QCoreApplication::translate("WelcomeView", "Reset");
}

QString uninstallButtonLabel() {
    //: Uninstall button
    return QCoreApplication::translate("WelcomeView", "Uninstall");
}

}  // namespace nimbla::app
