// The texts of the window, without widgets: alert titles and messages, their arguments, the
// archive location, the title, and the translations.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTranslator>

#include "AppTestSupport.h"
#include "app/AlertDialog.h"
#include "app/NimblaResetToolApp.h"
#include "operations/Outcomes.h"
#include "platform/Bundle.h"

namespace nimbla::app {
namespace {

const QString kArchive = QStringLiteral("~/Nimbla-Nimbla (Archive)");
const QString kCloudStorage =
    QStringLiteral("~/Library/CloudStorage/Nimbla-Nimbla (<current day and time>)");

TEST(AlertTextTest, EachOutcomeHasItsExactTexts) {
    struct Case {
        std::string_view notification;
        AlertDialog dialog;
        QString title;
        std::optional<QString> message;
    };
    const Case cases[] = {
        {outcomes::resetSuccess, AlertDialog::ResetSuccess,
         "Nimbla Drive reset successfully. \n\nFiles that were not uploaded to Nimbla have been "
         "preserved. Access preserved files at this location: " +
             kArchive,
         std::nullopt},
        {outcomes::resetFailed, AlertDialog::ResetFailed,
         "Nimbla Drive failed to reset. \n\nPlease try again or contact Nimbla customer support "
         "for assistance.",
         std::nullopt},
        {outcomes::uninstallSuccess, AlertDialog::UninstallSuccess,
         "Nimbla Drive was successfully uninstalled. \n\nFiles that were not uploaded to Nimbla "
         "have been preserved. Access preserved files at this location: " +
             kArchive,
         std::nullopt},
        {outcomes::uninstallFailed, AlertDialog::UninstallFailed,
         "Error: Nimbla Drive could not be uninstalled",
         QStringLiteral("Please contact Nimbla customer support for assistance")},
        {outcomes::nimblaDriveRunning, AlertDialog::NimblaDriveRunning,
         "Error: Nimbla Drive is running",
         QStringLiteral("Please quit Nimbla Drive first before resetting or uninstalling")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.notification));
        EXPECT_EQ(alertDialogForNotification(c.notification), c.dialog);
        const AlertText text = alertTextFor(c.dialog, kArchive);
        EXPECT_EQ(text.title, c.title);
        EXPECT_EQ(text.message, c.message);
    }
    EXPECT_EQ(alertDialogForNotification("RESET_SUCCESS "), AlertDialog::None);
    EXPECT_EQ(alertDialogForNotification(""), AlertDialog::None);
}

TEST(AlertTextTest, SuccessTitlesEndWithTheArchiveLocationShownLiterally) {
    EXPECT_EQ(archLocationFor(true), kArchive);
    EXPECT_EQ(archLocationFor(false), kCloudStorage);
    for (AlertDialog dialog : {AlertDialog::ResetSuccess, AlertDialog::UninstallSuccess}) {
        EXPECT_TRUE(alertTextFor(dialog, kCloudStorage)
                        .title.endsWith(QStringLiteral("location: ") + kCloudStorage));
    }
    // A location with format characters in it goes in as it is.
    EXPECT_TRUE(alertTextFor(AlertDialog::ResetSuccess, "~/%@ 100%").title.endsWith(": ~/%@ 100%"));
}

TEST(AlertTextTest, TitleCarriesTheVersionOrEndsInTheBlank) {
    EXPECT_EQ(windowTitleFor(std::string("1.4.2")), "Nimbla Reset Tool 1.4.2");
    EXPECT_EQ(windowTitleFor(std::nullopt), "Nimbla Reset Tool ");
    EXPECT_EQ(windowTitleFor(std::string()), "Nimbla Reset Tool ");
}

TEST(AlertTextTest, FormatFillsArgumentsInOrderWithoutRescanning) {
    EXPECT_EQ(formatWithArguments("%@ and %@", {"a", "b"}), "a and b");
    EXPECT_EQ(formatWithArguments("%@ and %@", {"%@", "b"}), "%@ and b");
    EXPECT_EQ(formatWithArguments("%2$@ before %1$@", {"a", "b"}), "b before a");
    EXPECT_EQ(formatWithArguments("%@ and %@", {"a"}), "a and ");
    EXPECT_EQ(formatWithArguments("100%% of %@%", {"x"}), "100% of x%");
    EXPECT_EQ(formatWithArguments("%9$@|%$@|%", {"a"}), "|%$@|%");
}

TEST(AlertTextDeathTest, NoneStopsTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(alertTextFor(AlertDialog::None, kArchive), "\\(should not reach this code\\)");
}

class TranslationTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        const std::string folder = platform::mainBundleSeam()().resourceDirectory;
        ASSERT_FALSE(folder.empty());
        ASSERT_TRUE(translator_.load(QStringLiteral("nimbla-reset-tool_") + GetParam(),
                                     QString::fromStdString(folder)))
            << "no translation for " << GetParam() << " in " << folder;
        QCoreApplication::installTranslator(&translator_);
    }
    void TearDown() override { QCoreApplication::removeTranslator(&translator_); }

    QTranslator translator_;
};

// Every text is translated, and each translation keeps the arguments, the empty line and the
// trailing ": " that the location is appended to.
TEST_P(TranslationTest, EveryTextIsTranslatedAndKeepsItsShape) {
    for (auto dialog :
         {AlertDialog::ResetSuccess, AlertDialog::ResetFailed, AlertDialog::UninstallSuccess,
          AlertDialog::UninstallFailed, AlertDialog::NimblaDriveRunning}) {
        QCoreApplication::removeTranslator(&translator_);
        const AlertText english = alertTextFor(dialog, kArchive);
        QCoreApplication::installTranslator(&translator_);
        const AlertText translated = alertTextFor(dialog, kArchive);
        SCOPED_TRACE(english.title.toStdString());
        EXPECT_NE(translated.title, english.title);
        EXPECT_FALSE(translated.title.contains(QStringLiteral("%@")));
        EXPECT_TRUE(translated.title.contains(QStringLiteral("Nimbla Drive")));
        EXPECT_EQ(translated.title.count(QStringLiteral("Nimbla")),
                  english.title.count(QStringLiteral("Nimbla")));
        EXPECT_EQ(translated.title.contains(QStringLiteral(" \n\n")),
                  english.title.contains(QStringLiteral(" \n\n")));
        EXPECT_EQ(translated.title.endsWith(QStringLiteral(": ") + kArchive),
                  english.title.endsWith(QStringLiteral(": ") + kArchive));
        ASSERT_EQ(translated.message.has_value(), english.message.has_value());
        if (english.message) {
            EXPECT_NE(*translated.message, *english.message);
        }
    }
    EXPECT_NE(resetButtonLabel(), QStringLiteral("Reset"));
    EXPECT_NE(uninstallButtonLabel(), QStringLiteral("Uninstall"));
}

INSTANTIATE_TEST_SUITE_P(Languages, TranslationTest, ::testing::Values("de", "fr"));

TEST(GermanTest, GermanTexts) {
    QTranslator german;
    ASSERT_TRUE(
        german.load(QStringLiteral("nimbla-reset-tool_de"),
                    QString::fromStdString(platform::mainBundleSeam()().resourceDirectory)));
    QCoreApplication::installTranslator(&german);
    EXPECT_EQ(resetButtonLabel(), QStringLiteral("Zurücksetzen"));
    EXPECT_EQ(uninstallButtonLabel(), QStringLiteral("Deinstallieren"));
    EXPECT_EQ(alertTextFor(AlertDialog::NimblaDriveRunning, kArchive),
              (AlertText{QStringLiteral("Fehler: Nimbla Drive wird ausgeführt"),
                         QStringLiteral("Bitte beenden Sie zuerst Nimbla Drive, bevor Sie "
                                        "zurücksetzen oder deinstallieren")}));
    EXPECT_EQ(alertTextFor(AlertDialog::UninstallSuccess, kArchive).title,
              QStringLiteral("Nimbla Drive wurde erfolgreich deinstalliert. \n\nDateien, die "
                             "nicht zu Nimbla hochgeladen wurden, wurden aufbewahrt. Sie finden "
                             "die aufbewahrten Dateien an diesem Ort: ") +
                  kArchive);
    QCoreApplication::removeTranslator(&german);
    EXPECT_EQ(resetButtonLabel(), QStringLiteral("Reset"));
}

TEST(GermanTest, StartUpPicksTheTranslationForTheUsersLocale) {
    const auto countryVariant =
        NimblaResetToolApp::loadTranslations(QLocale(QLocale::German, QLocale::Switzerland));
    EXPECT_EQ(resetButtonLabel(), QStringLiteral("Zurücksetzen"));
    for (QTranslator* translator : countryVariant) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
    EXPECT_EQ(resetButtonLabel(), QStringLiteral("Reset"));

    const auto none = NimblaResetToolApp::loadTranslations(QLocale(QLocale::Japanese));
    EXPECT_EQ(resetButtonLabel(), QStringLiteral("Reset"));
    EXPECT_EQ(alertTextFor(AlertDialog::UninstallFailed, kArchive).title,
              QStringLiteral("Error: Nimbla Drive could not be uninstalled"));
    for (QTranslator* translator : none) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
}

}  // namespace
}  // namespace nimbla::app
