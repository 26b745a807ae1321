// The main view: its layout, and how outcomes become alerts.

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include <QLabel>
#include <QMessageBox>
#include <QTranslator>

#include "AppTestSupport.h"
#include "app/ContentView.h"
#include "app/FittingButton.h"
#include "app/NimblaResetToolApp.h"
#include "app/Resources.h"
#include "operations/Outcomes.h"
#include "platform/NotificationCenter.h"
#include "platform/Queues.h"
#include "platform/Workspace.h"
#include "process/RunProcess.h"

namespace nimbla::app {
namespace {

using apptest::AlertWatch;
using apptest::waitFor;

void post(std::string_view name) {
    platform::NotificationCenter::defaultCenter().post(name);
}

QRect geometryIn(QWidget* widget, QWidget* ancestor) {
    return QRect(widget->mapTo(ancestor, QPoint(0, 0)), widget->size());
}

// ---- layout ----

TEST(WelcomeViewLayoutTest, LogoGapAndButtonsFitTheBoundedWindow) {
    AppWindow window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    WelcomeView* view = window.contentView()->welcomeView();

    // The logo at its natural size, centred above the buttons.
    const QSize natural = logoNaturalSize();
    ASSERT_FALSE(natural.isEmpty()) << "the Logo resource is missing";
    EXPECT_EQ(view->logo()->size(), natural);

    const QRect logo = geometryIn(view->logo(), view);
    const QRect reset = geometryIn(view->resetButton(), view);
    const QRect uninstall = geometryIn(view->uninstallButton(), view);
    EXPECT_EQ(reset.width(), 80);
    EXPECT_EQ(uninstall.width(), 80);
    EXPECT_EQ(view->resetButton()->text(), "Reset");
    EXPECT_EQ(view->uninstallButton()->text(), "Uninstall");
    EXPECT_LT(reset.right(), uninstall.left()) << "Reset comes first, then Uninstall";
    EXPECT_EQ(reset.top(), uninstall.top());
    EXPECT_EQ(reset.top() - (logo.bottom() + 1), 22);
    EXPECT_NEAR(logo.center().x(), (reset.left() + uninstall.right()) / 2.0, 1.0);

    // Everything fits the 280 x 150 bound, with padding around it.
    EXPECT_LE(view->width(), 280);
    EXPECT_LE(view->height(), 150);
    EXPECT_GT(logo.top(), 0);
    EXPECT_GT(reset.left(), 0);
    EXPECT_LT(uninstall.right(), view->width() - 1);
    EXPECT_LT(reset.bottom(), view->height() - 1);
}

TEST(WelcomeViewLayoutTest, WindowCannotGrowBeyondTheContentBoundAndKeepsItCentred) {
    AppWindow window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QSize natural = window.size();
    EXPECT_EQ(natural, window.contentView()->welcomeView()->sizeHint());

    window.resize(1000, 800);
    QCoreApplication::processEvents();
    EXPECT_LE(window.width(), 280);
    EXPECT_LE(window.height(), 150);
    window.resize(10, 10);
    QCoreApplication::processEvents();
    EXPECT_GE(window.width(), window.minimumSizeHint().width());
    EXPECT_GE(window.height(), window.minimumSizeHint().height());

    window.resize(280, 150);
    QCoreApplication::processEvents();
    const QRect view = geometryIn(window.contentView()->welcomeView(), &window);
    EXPECT_NEAR(view.center().x(), window.rect().center().x(), 1.0);
    EXPECT_NEAR(view.center().y(), window.rect().center().y(), 1.0);
}

TEST(WelcomeViewLayoutTest, LabelsShrinkToFitButNoFurtherThanAFifth) {
    FittingButton button(QStringLiteral("Reset"));
    button.setFixedWidth(80);
    button.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
    EXPECT_EQ(button.labelScale(), 1.0);
    EXPECT_EQ(button.shownText(), "Reset");

    // Longer than the button: smaller, but whole.
    button.setText(QStringLiteral("Deinstallieren!"));
    const QFontMetricsF full(button.font());
    ASSERT_GT(full.horizontalAdvance(button.text()), button.labelRect().width());
    EXPECT_LT(button.labelScale(), 1.0);
    EXPECT_GE(button.labelScale(), FittingButton::kMinimumScale);
    EXPECT_EQ(button.shownText(), button.text());
    EXPECT_LE(QFontMetricsF(button.labelFont()).horizontalAdvance(button.text()),
              button.labelRect().width());

    // Far too long: a fifth of the size, and cut off.
    button.setText(QString(200, QChar(u'W')));
    EXPECT_DOUBLE_EQ(button.labelScale(), FittingButton::kMinimumScale);
    EXPECT_NE(button.shownText(), button.text());

    EXPECT_EQ(fitScale(50, 100), 1.0);
    EXPECT_EQ(fitScale(100, 50), 0.5);
    EXPECT_EQ(fitScale(1000, 10), 0.2);
    EXPECT_EQ(fitScale(100, -5), 0.2);
}

TEST(WelcomeViewLayoutTest, GermanLabelsFitTheirButtons) {
    QTranslator german;
    ASSERT_TRUE(
        german.load(QStringLiteral("nimbla-reset-tool_de"),
                    QString::fromStdString(platform::mainBundleSeam()().resourceDirectory)));
    QCoreApplication::installTranslator(&german);
    {
        WelcomeView view;
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
        for (FittingButton* button : {view.resetButton(), view.uninstallButton()}) {
            EXPECT_EQ(button->width(), 80);
            EXPECT_EQ(button->shownText(), button->text())
                << "cut off: " << button->text().toStdString();
        }
        EXPECT_EQ(view.resetButton()->text(), "Zurücksetzen");
        EXPECT_EQ(view.uninstallButton()->text(), "Deinstallieren");
    }
    QCoreApplication::removeTranslator(&german);
}

// ---- title and archive location ----

TEST(WelcomeViewTest, WindowTitleCarriesTheBundleVersion) {
    {
        auto bundle = platform::mainBundleSeam().override(
            [] { return apptest::bundleWithVersion(std::string("3.1.4")); });
        AppWindow window;
        window.show();
        EXPECT_EQ(window.windowTitle(), "Nimbla Reset Tool 3.1.4");
    }
    {
        auto bundle = platform::mainBundleSeam().override(
            [] { return apptest::bundleWithVersion(std::nullopt); });
        AppWindow window;
        window.show();
        EXPECT_EQ(window.windowTitle(), "Nimbla Reset Tool ");
    }
}

TEST(WelcomeViewTest, ArchiveLocationFollowsTheSystemVersion) {
    AlertWatch alerts;
    for (int major : {11, 12, 14}) {
        auto system = apptest::pretendSystem(major);
        WelcomeView view;
        const QString expected =
            major < 12 ? "~/Nimbla-Nimbla (Archive)"
                       : "~/Library/CloudStorage/Nimbla-Nimbla (<current day and time>)";
        EXPECT_EQ(view.archLocation(), expected) << "macOS " << major;
        view.show();
        post(outcomes::uninstallSuccess);
        ASSERT_NE(alerts.last(), nullptr);
        EXPECT_TRUE(alerts.last()->text().endsWith(": " + expected))
            << alerts.last()->text().toStdString();
    }
}

// ---- outcomes and alerts ----

TEST(WelcomeViewTest, EachOutcomeShowsItsAlertWithOneButton) {
    auto system = apptest::pretendSystem(11);
    AlertWatch alerts;
    WelcomeView view;
    view.show();
    EXPECT_FALSE(view.showAlert());
    EXPECT_EQ(view.alertToShow(), AlertDialog::None);
    EXPECT_EQ(alerts.count(), 0);

    for (auto name : {outcomes::resetSuccess, outcomes::resetFailed, outcomes::uninstallSuccess,
                      outcomes::uninstallFailed, outcomes::nimblaDriveRunning}) {
        SCOPED_TRACE(std::string(name));
        const AlertDialog expected = alertDialogForNotification(name);
        post(name);
        EXPECT_TRUE(view.showAlert());
        EXPECT_EQ(view.alertToShow(), expected);
        QMessageBox* box = alerts.last();
        ASSERT_NE(box, nullptr);
        ASSERT_EQ(box, view.shownAlert());
        EXPECT_TRUE(box->isVisible());
        EXPECT_EQ(box->windowModality(), Qt::WindowModal);
        const AlertText text = alertTextFor(expected, view.archLocation());
        EXPECT_EQ(box->text(), text.title);
        EXPECT_EQ(box->informativeText(), text.message.value_or(QString()));
        ASSERT_EQ(box->buttons().size(), 1);
        EXPECT_EQ(box->buttons().front(), box->button(QMessageBox::Ok));

        MessageBox::answer(box);
        EXPECT_FALSE(view.showAlert());
        EXPECT_EQ(view.alertToShow(), expected) << "dismissal keeps the case";
        EXPECT_EQ(view.shownAlert(), nullptr);
        EXPECT_EQ(alerts.visible(), 0);
    }
}

TEST(WelcomeViewTest, SameOutcomeAgainAfterDismissalShowsItAgain) {
    AlertWatch alerts;
    WelcomeView view;
    view.show();
    post(outcomes::resetFailed);
    MessageBox::answer(alerts.last());
    ASSERT_FALSE(view.showAlert());
    post(outcomes::resetFailed);
    EXPECT_TRUE(view.showAlert());
    EXPECT_EQ(alerts.count(), 2);
    EXPECT_EQ(alerts.visible(), 1);
}

TEST(WelcomeViewTest, SecondOutcomeWhileShownReplacesTheAlert) {
    AlertWatch alerts;
    WelcomeView view;
    view.show();
    post(outcomes::nimblaDriveRunning);
    QPointer<QMessageBox> first = alerts.last();
    post(outcomes::uninstallFailed);
    QCoreApplication::processEvents();
    ASSERT_EQ(alerts.count(), 2);
    EXPECT_EQ(alerts.visible(), 1);
    EXPECT_TRUE(first.isNull() || !first->isVisible());
    EXPECT_EQ(view.alertToShow(), AlertDialog::UninstallFailed);
    EXPECT_EQ(view.shownAlert()->text(), "Error: Nimbla Drive could not be uninstalled");
    // Replacing is not a dismissal; answering the new one is.
    EXPECT_TRUE(view.showAlert());
    MessageBox::answer(view.shownAlert());
    EXPECT_FALSE(view.showAlert());
}

TEST(WelcomeViewTest, OutcomesFromOtherThreadsAreShownOnTheWindowThread) {
    AlertWatch alerts;
    WelcomeView view;
    view.show();
    std::thread([] { post(outcomes::resetSuccess); }).join();
    ASSERT_TRUE(waitFor([&] { return alerts.count() == 1; }));
    EXPECT_EQ(alerts.last()->thread(), QThread::currentThread());
    EXPECT_EQ(view.alertToShow(), AlertDialog::ResetSuccess);
}

TEST(WelcomeViewTest, OutcomesThroughTheMainQueueReachTheView) {
    AlertWatch alerts;
    WelcomeView view;
    view.show();
    std::thread([] {
        platform::dispatchMainAsync([] { post(outcomes::uninstallSuccess); });
    }).join();
    ASSERT_TRUE(waitFor([&] { return alerts.count() == 1; }));
    EXPECT_EQ(view.alertToShow(), AlertDialog::UninstallSuccess);
}

TEST(WelcomeViewTest, AGoneViewNoLongerListens) {
    AlertWatch alerts;
    {
        WelcomeView view;
        view.show();
    }
    post(outcomes::resetSuccess);
    std::thread([] { post(outcomes::resetFailed); }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(alerts.count(), 0);
}

// ---- buttons ----

// Commands answered by a stand-in: every one succeeds, nothing real runs.
class StandInCommands {
public:
    explicit StandInCommands(bool clientRunning)
        : workspace_(platform::workspaceSeam().override([clientRunning] {
              std::vector<platform::RunningApplication> apps;
              if (clientRunning) {
                  apps.push_back({4242, std::string("com.nimbla.desktop")});
              }
              return apps;
          })),
          runner_(
              runProcessSeam().override([this](const std::string&, const std::vector<std::string>&,
                                               const std::string& description) {
                  std::lock_guard lock(mutex_);
                  descriptions_.push_back(description);
                  return ProcessResult{true, "", ""};
              })),
          sudo_(runProcessAsSudoSeam().override([this](const std::string& script) {
              std::lock_guard lock(mutex_);
              descriptions_.push_back("sudo: " + script);
              return true;
          })) {}
    ~StandInCommands() { platform::waitForBackgroundIdle(); }

    std::vector<std::string> descriptions() {
        std::lock_guard lock(mutex_);
        return descriptions_;
    }

private:
    platform::Seam<std::vector<platform::RunningApplication>()>::Override workspace_;
    platform::Seam<RunProcessFn>::Override runner_;
    platform::Seam<bool(const std::string&)>::Override sudo_;
    std::mutex mutex_;
    std::vector<std::string> descriptions_;
};

TEST(WelcomeViewButtonsTest, ButtonsRunTheWorkflowsAndTheirOutcomesShow) {
    StandInCommands commands(false);
    AlertWatch alerts;
    WelcomeView view;
    view.show();

    QTest::mouseClick(view.resetButton(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return alerts.count() == 1; }));
    EXPECT_EQ(view.alertToShow(), AlertDialog::ResetSuccess);
    MessageBox::answer(alerts.last());

    QTest::mouseClick(view.uninstallButton(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return alerts.count() == 2; }));
    EXPECT_EQ(view.alertToShow(), AlertDialog::UninstallSuccess);

    const auto ran = commands.descriptions();
    EXPECT_NE(std::find(ran.begin(), ran.end(), "Deleting com.nimbla.desktop defaults"), ran.end());
    EXPECT_NE(std::find(ran.begin(), ran.end(), "uninstall_nimbla_drive -u -s"), ran.end());
    EXPECT_TRUE(std::any_of(ran.begin(), ran.end(),
                            [](const std::string& d) { return d.starts_with("sudo: "); }));
}

TEST(WelcomeViewButtonsTest, EveryPressIsAnsweredWhileTheClientRuns) {
    StandInCommands commands(true);
    std::atomic<int> refusals = 0;
    auto& center = platform::NotificationCenter::defaultCenter();
    const auto token = center.addObserver(outcomes::nimblaDriveRunning, [&] { ++refusals; });
    AlertWatch alerts;
    WelcomeView view;
    view.show();

    // Never disabled, no question first: two quick presses, two refusals.
    view.resetButton()->click();
    EXPECT_TRUE(view.resetButton()->isEnabled());
    view.uninstallButton()->click();
    ASSERT_TRUE(waitFor([&] { return refusals == 2; }));
    center.removeObserver(token);
    EXPECT_EQ(view.alertToShow(), AlertDialog::NimblaDriveRunning);
    EXPECT_EQ(view.shownAlert()->informativeText(),
              "Please quit Nimbla Drive first before resetting or uninstalling");
    EXPECT_EQ(alerts.visible(), 1);
    EXPECT_TRUE(commands.descriptions().empty()) << "nothing runs while the client runs";
}

}  // namespace
}  // namespace nimbla::app
