#pragma once

#include <memory>

#include <QList>
#include <QLocale>
#include <QWidget>

class QApplication;
class QTranslator;
class QCloseEvent;

namespace nimbla::app {

class AppDelegate;
class ContentView;

// The tool's one window: its content bounded to at most 280 x 150 points and centred, the window
// bounded by the content's size. Closing it ends the tool.
class AppWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMaxContentWidth = 280;
    static constexpr int kMaxContentHeight = 150;

    explicit AppWindow(QWidget* parent = nullptr);
    ContentView* contentView() const { return contentView_; }

signals:
    // The window is going away (closed by the user or the system).
    void disappeared();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    ContentView* contentView_;
};

// The application: installs the delegate and opens the one window. Needs a QApplication.
class NimblaResetToolApp {
public:
    NimblaResetToolApp();
    ~NimblaResetToolApp();
    NimblaResetToolApp(const NimblaResetToolApp&) = delete;
    NimblaResetToolApp& operator=(const NimblaResetToolApp&) = delete;

    AppDelegate& appDelegate() const { return *appDelegate_; }
    AppWindow& window() const { return *window_; }

    // Shows the window and runs the event loop until the tool is to end; returns the exit
    // status.
    int run();

    // The whole life of the process: the application, the main queue, the translations, the
    // window; ends the process when the window goes. Returns only in theory.
    static int main(int argc, char** argv);

    // Makes the Qt event loop the core's main queue: tasks submitted from any thread run on the
    // GUI thread, in order. Tasks submitted when there is no application any more are dropped.
    static void installMainQueue();

    // Installs the tool's translation for `locale` (and Qt's own, for the OK button) in the
    // application and returns the installed translators. Without a translation of the tool for
    // the locale nothing of the tool's is installed and its English texts show.
    static QList<QTranslator*> loadTranslations(const QLocale& locale = QLocale::system());

    // Ends the process at once with `status`: output is flushed, background work is not awaited
    // and nothing is torn down.
    [[noreturn]] static void endProcess(int status);

private:
    void terminateApp();

    std::unique_ptr<AppDelegate> appDelegate_;
    std::unique_ptr<AppWindow> window_;
};

}  // namespace nimbla::app
