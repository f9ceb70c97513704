#include "app/ClientApplication.h"

#include "app/AppDelegate.h"
#include "app/KeychainKeyring.h"
#include "app/PreferencesWindow.h"
#include "app/SingleInstance.h"
#include "app/platform/LoginItem.h"
#include "log/ActivityLog.h"
#include "log/StandardErrorWriter.h"
#include "update/ProcessSignals.h"
#include "update/Snooze.h"

#include <QApplication>
#include <chrono>
#include <csignal>

int runClientApplication(QApplication& application,
                         const std::function<void(AppDelegate&)>& afterLaunch) {
    // A reader of standard error that went away must not end the program, and Qt's own
    // warnings must not wait for a reader that never comes.
    std::signal(SIGPIPE, SIG_IGN);
    StandardErrorWriter::takeOverQtMessages();
    // Before the lock: set-account may wake whoever holds it.
    wakeWorkerOnSignals();
    const bool startedAtLogin = QApplication::arguments().contains(startedAtLoginOption);
    SingleInstance instance;
    if (const auto claim = instance.claim(startedAtLogin); claim != SingleInstance::Claim::Run) {
        StandardErrorWriter::flush(std::chrono::milliseconds(200));
        // The running copy shows its window instead; another program's run is refused.
        return claim == SingleInstance::Claim::Refused ? 1 : 0;
    }
    UserDefaults::makeStorePrivate(); // older versions left it readable by everyone

    application.setQuitOnLastWindowClosed(false); // a tray program outlives its window
    quitOnTerminationSignals();
    PasswordKeyrings::install(std::make_shared<KeychainKeyring>());
    AppDelegate delegate;
    QObject::connect(&instance, &SingleInstance::anotherStartRequested, &delegate,
                     &AppDelegate::menuPreferencesClick);
    delegate.applicationDidFinishLaunching(startedAtLogin);
    if (afterLaunch)
        afterLaunch(delegate);
    const int status = application.exec();
    instance.release();
    endProcess(status);
}

int runClientProgram(int argc, char* argv[]) {
    ActivityLog::create();
    KeepSnoozing = 1;
    QApplication application(argc, argv);
    QApplication::setApplicationName("vorlin-ipupdate");
    QApplication::setApplicationDisplayName("Vorlin IP Update Client");
    return runClientApplication(application);
}
