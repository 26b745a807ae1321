#include "app/NimblaResetToolApp.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>
#include <QVBoxLayout>

#include "app/AppDelegate.h"
#include "app/ContentView.h"
#include "app/Resources.h"
#include "platform/Bundle.h"
#include "platform/Queues.h"

namespace nimbla::app {

AppWindow::AppWindow(QWidget* parent) : QWidget(parent), contentView_(new ContentView(this)) {
    contentView_->setMaximumSize(kMaxContentWidth, kMaxContentHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(contentView_);
    // The window can never be smaller than its content, nor larger than the content's bound.
    layout->setSizeConstraint(QLayout::SetMinAndMaxSize);
}

void AppWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    emit disappeared();
}

NimblaResetToolApp::NimblaResetToolApp()
    : appDelegate_(std::make_unique<AppDelegate>()), window_(std::make_unique<AppWindow>()) {
    if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        appDelegate_->install(*application);
    }
    QObject::connect(window_.get(), &AppWindow::disappeared, window_.get(),
                     [this] { terminateApp(); });
}

NimblaResetToolApp::~NimblaResetToolApp() = default;

void NimblaResetToolApp::terminateApp() {
    QCoreApplication::quit();
}

int NimblaResetToolApp::run() {
    window_->show();
    return QApplication::exec();
}

void NimblaResetToolApp::installMainQueue() {
    platform::mainQueueSeam().replace([](platform::Task task) {
        if (QCoreApplication* application = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(application, std::move(task), Qt::QueuedConnection);
        }
    });
}

QList<QTranslator*> NimblaResetToolApp::loadTranslations(const QLocale& locale) {
    QList<QTranslator*> installed;
    auto* application = QCoreApplication::instance();
    if (application == nullptr) {
        return installed;
    }
    auto install = [&](const QString& name, const QString& folder) {
        auto* translator = new QTranslator(application);
        if (!folder.isEmpty() && translator->load(locale, name, QStringLiteral("_"), folder) &&
            QCoreApplication::installTranslator(translator)) {
            installed.append(translator);
        } else {
            delete translator;
        }
    };
    install(QStringLiteral("qtbase"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    install(QStringLiteral("nimbla-reset-tool"),
            QString::fromStdString(platform::mainBundleSeam()().resourceDirectory));
    return installed;
}

void NimblaResetToolApp::endProcess(int status) {
    std::fflush(nullptr);
    std::_Exit(status);
}

int NimblaResetToolApp::main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("nimbla-reset-tool"));
    QGuiApplication::setDesktopFileName(QStringLiteral("nimbla-reset-tool"));
    const QPixmap logo = logoPixmap(application.devicePixelRatio());
    if (!logo.isNull()) {
        QApplication::setWindowIcon(QIcon(logo));
    }
    installMainQueue();
    loadTranslations();
    NimblaResetToolApp app;
    endProcess(app.run());
}

}  // namespace nimbla::app
