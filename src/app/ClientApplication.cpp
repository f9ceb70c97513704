#include "app/ClientApplication.h"

#include "app/AppDelegate.h"
#include "app/PreferencesWindow.h"
#include "app/SingleInstance.h"
#include "app/TerminationSignals.h"
#include "log/StandardErrorWriter.h"
#include "settings/UserDefaults.h"

#include <QApplication>
#include <chrono>
#include <csignal>
#include <cstdlib>

namespace {

// The worker may be inside a request or a wait and still uses process-wide state, so the
// process ends without running destructors under it; every setting is on disk already.
// Log lines still queued for a standard error that does not take them are left behind.
[[noreturn]] void endProcess(int status) {
    UserDefaults::synchronize();
    StandardErrorWriter::flush(std::chrono::milliseconds(200));
    std::_Exit(status);
}

} // namespace

int runClientApplication(QApplication& application,
                         const std::function<void(AppDelegate&)>& afterLaunch) {
    // A reader of standard error that went away must not end the program, and Qt's own
    // warnings must not wait for a reader that never comes.
    std::signal(SIGPIPE, SIG_IGN);
    StandardErrorWriter::takeOverQtMessages();
    SingleInstance instance;
    if (!instance.claim()) {
        StandardErrorWriter::flush(std::chrono::milliseconds(200));
        return 0; // the running copy shows its window instead
    }
    UserDefaults::makeStorePrivate(); // older versions left it readable by everyone

    application.setQuitOnLastWindowClosed(false); // a tray program outlives its window
    quitOnTerminationSignals();
    AppDelegate delegate;
    QObject::connect(&instance, &SingleInstance::anotherStartRequested, &delegate,
                     &AppDelegate::menuPreferencesClick);
    delegate.applicationDidFinishLaunching();
    if (afterLaunch)
        afterLaunch(delegate);
    const int status = application.exec();
    instance.release();
    endProcess(status);
}
