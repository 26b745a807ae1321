// The window on Qt's offscreen platform: layout, the five outcome alerts, translations, the
// buttons and closing. One QApplication runs the core's main queue; the log goes to a private home.

#include <gmock/gmock.h>

#include <filesystem>
#include <thread>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include "app/ContentView.h"
#include "app/FittingButton.h"
#include "app/MessageBox.h"
#include "app/NimblaResetToolApp.h"
#include "app/Resources.h"
#include "operations/NimblaDriveUtils.h"
#include "platform/Bundle.h"
#include "platform/HomeDirectory.h"
#include "platform/NotificationCenter.h"
#include "platform/Queues.h"
#include "platform/SystemVersion.h"
#include "platform/Workspace.h"
#include "process/RunProcess.h"
#include "process/RunProcessAsSudo.h"

void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace nimbla::app {
namespace {

using namespace std::literals;

void post(std::string_view name) {
    platform::NotificationCenter::defaultCenter().post(name);
}

TEST(Window, TitleCarriesTheBundleVersionOrEndsInTheBlank) {
    for (const auto& [version, title] :
         {std::pair{std::optional("3.1.4"s), "Nimbla Reset Tool 3.1.4"},
          {std::nullopt, "Nimbla Reset Tool "}}) {
        auto bundle = platform::mainBundleSeam().override([&] {
            return platform::BundleInfo{platform::mainBundle().resourceDirectory, version};
        });
        AppWindow window;
        window.show();
        EXPECT_EQ(window.windowTitle(), QString(title));
    }
}

TEST(Window, LogoGapAndTwoButtonsStayInsideTheBoundedWindow) {
    AppWindow window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    WelcomeView* view = window.contentView()->welcomeView();
    const auto frame = [&](QWidget* w) { return QRect(w->mapTo(&window, QPoint()), w->size()); };
    const QRect logo = frame(view->logo()), reset = frame(view->resetButton()),
                uninstall = frame(view->uninstallButton());
    EXPECT_EQ(logo.size(), logoNaturalSize());
    EXPECT_EQ(reset.top() - logo.bottom() - 1, 22);
    EXPECT_EQ(std::pair(reset.width(), uninstall.width()), std::pair(80, 80));
    EXPECT_LT(reset.right(), uninstall.left());
    window.resize(1000, 800);
    QCoreApplication::processEvents();
    EXPECT_TRUE(window.width() <= 280 && window.height() <= 150)
        << window.width() << "x" << window.height();
    EXPECT_TRUE(window.rect().contains(logo.united(uninstall)));
    // A dense screen gets the @2x artwork, not the small one enlarged, whatever was asked before.
    const auto artwork = [](const char* name) {
        const auto path = platform::pathForResource(name, "png");
        return QImage(QString::fromStdString(path.value_or("")))
            .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    };
    for (const qreal ratio : {2.0, 1.0, 2.0}) {
        const QImage shown =
            logoPixmap(ratio).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        EXPECT_EQ(shown, artwork(ratio > 1 ? "Logo@2x" : "Logo")) << ratio;
    }
}

TEST(Alerts, EachOutcomeShowsItsTextsWithOneButtonAgainAfterDismissalOrReplacingTheLast) {
    for (const auto& [major, location] :
         {std::pair{11, "~/Nimbla-Nimbla (Archive)"s},
          {12, "~/Library/CloudStorage/Nimbla-Nimbla (<current day and time>)"s}}) {
        auto system = platform::operatingSystemVersionSeam().override([major] {
            return platform::OperatingSystemVersion{major, 0, 0};
        });
        const QString kept = QString::fromStdString(
            "Files that were not uploaded to Nimbla have been preserved. Access preserved files at "
            "this location: " +
            location + "|");
        const std::pair<const char*, QString> cases[] = {
            // title|message
            {"RESET_SUCCESS", "Nimbla Drive reset successfully. \n\n" + kept},
            {"RESET_FAILED",
             "Nimbla Drive failed to reset. \n\nPlease try again or contact Nimbla customer "
             "support for assistance.|"},
            {"UNINSTALL_SUCCESS", "Nimbla Drive was successfully uninstalled. \n\n" + kept},
            {"UNINSTALL_FAILED",
             "Error: Nimbla Drive could not be uninstalled|Please contact Nimbla customer support "
             "for assistance"},
            {"NIMBLA_DRIVE_RUNNING",
             "Error: Nimbla Drive is running|Please quit Nimbla Drive first before resetting or "
             "uninstalling"}};
        WelcomeView view;
        view.show();
        for (const auto& [name, texts] : cases) {
            post(name);
            QMessageBox* box = view.shownAlert();
            ASSERT_TRUE(box && box->isVisible()) << name;
            EXPECT_EQ(box->text() + "|" + box->informativeText(), texts);
            EXPECT_EQ(box->buttons().size(), 1);
            MessageBox::answer(box);
            EXPECT_FALSE(view.showAlert());
        }
        post("RESET_FAILED");  // again, after its dismissal
        const QPointer<QMessageBox> first = view.shownAlert();
        ASSERT_TRUE(first && first->isVisible());
        post("UNINSTALL_FAILED");  // while that one is shown
        QCoreApplication::processEvents();
        EXPECT_TRUE(first.isNull() || !first->isVisible());
        EXPECT_TRUE(view.showAlert() && view.shownAlert()->isVisible());
        EXPECT_EQ(view.alertToShow(), AlertDialog::UninstallFailed);
    }
}

TEST(Translations, AGermanLocaleGivesGermanTextsThatFitTheButtons) {
    const auto translators =
        NimblaResetToolApp::loadTranslations(QLocale(QLocale::German, QLocale::Switzerland));
    {
        WelcomeView view;
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
        EXPECT_EQ(view.resetButton()->text() + "|" + view.uninstallButton()->text(),
                  "Zurücksetzen|Deinstallieren");
        for (FittingButton* button : {view.resetButton(), view.uninstallButton()})
            EXPECT_EQ(button->shownText(), button->text()) << "cut off";
        post("UNINSTALL_SUCCESS");
        EXPECT_TRUE(view.shownAlert()->text().startsWith(
            "Nimbla Drive wurde erfolgreich deinstalliert. \n\n"));
        EXPECT_TRUE(view.shownAlert()->text().endsWith(": " + view.archLocation()));
    }
    for (QTranslator* translator : translators) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
    EXPECT_EQ(resetButtonLabel(), "Reset");
}

TEST(Buttons, RunTheWorkflowsWithoutAskingAndTheirOutcomesShow) {
    std::vector<std::string> ran;  // the calls follow one another, never overlap
    auto runner =
        runProcessSeam().override([&](auto&, auto&, auto&, const std::string& description) {
            ran.push_back(description);
            return ProcessResult{true, "", ""};
        });
    auto sudo = runProcessAsSudoSeam().override([&](auto&, auto&, auto&) {
        ran.push_back("sudo");
        return true;
    });
    WelcomeView view;
    view.show();
    for (auto [button, outcome] : {std::pair{view.resetButton(), AlertDialog::ResetSuccess},
                                   {view.uninstallButton(), AlertDialog::UninstallSuccess}}) {
        QTest::mouseClick(button, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return view.showAlert(); }));
        EXPECT_EQ(view.alertToShow(), outcome);
        EXPECT_TRUE(button->isEnabled());
        MessageBox::answer(view.shownAlert());
    }
    platform::waitForBackgroundIdle();
    EXPECT_THAT(ran, testing::IsSupersetOf({"Deleting com.nimbla.desktop defaults"s,
                                            "uninstall_nimbla_drive -u -s"s, "sudo"s}));
}

// Closing the window ends the process at once, even while an alert is open and a command hangs.
TEST(ShellDeathTest, ClosingTheWindowEndsTheProcessAtOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            auto runner = runProcessSeam().override([](auto&, auto&, auto&, auto&) {
                std::this_thread::sleep_for(1h);
                return ProcessResult{};
            });
            std::thread([] {
                std::this_thread::sleep_for(15s);
                std::_Exit(3);
            }).detach();
            NimblaResetToolApp app;
            app.window().show();
            app.window().contentView()->welcomeView()->resetButton()->click();
            post("RESET_FAILED");
            QTimer::singleShot(200, [&] { app.window().close(); });
            NimblaResetToolApp::endProcess(app.run());
        },
        testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace nimbla::app

int main(int argc, char** argv) {
    // Test discovery runs this without the test's environment.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testing::InitGoogleTest(&argc, argv);
    // A death test's child process inherits the home of the test that started it.
    const bool owner = getenv("NIMBLA_APP_TEST_HOME") == nullptr;
    std::string home = std::filesystem::temp_directory_path() / "nimbla-app-test-XXXXXX";
    home = owner ? mkdtemp(home.data()) : getenv("NIMBLA_APP_TEST_HOME");
    setenv("NIMBLA_APP_TEST_HOME", home.c_str(), 1);
    std::filesystem::create_directories(home + "/Desktop");
    nimbla::platform::homeDirectorySeam().replace([home] { return home; });
    nimbla::runningApplicationsSeam().replace([](uid_t) {
        return std::vector<nimbla::platform::RunningApplication>{};
    });  // never running
    QApplication application(argc, argv);
    nimbla::app::NimblaResetToolApp::installMainQueue();
    const int status = RUN_ALL_TESTS();
    if (owner)
        std::filesystem::remove_all(home);
    return status;
}
