#include "app/ClientApplication.h"

#include "app/AppDelegate.h"
#include "app/DesktopNotification.h"
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

namespace {

// Marks a start at login that was refused: told once, not at every login while the other
// updater runs.
const auto refusedAtLoginMark = QStringLiteral(".refused-start-told");

void tellWhyNotStarted(const SingleInstance& instance, SingleInstance::Claim claim,
                       bool startedAtLogin) {
    if (claim == SingleInstance::Claim::ShownOther ||
        (startedAtLogin && !firstTimeToTell(refusedAtLoginMark)))
        return;
    // The window title adds the program's name.
    if (claim == SingleInstance::Claim::Unanswered)
        return tellBeforeEnding(QApplication::tr("Does not answer"),
                                instance.reason() +
                                    QApplication::tr("\nWait a moment and start it again. If it "
                                                     "still does not answer, end that process."));
    const QString stopIt =
        instance.otherProgram() == "vorlin-ipupdated"
            ? QApplication::tr("\nTo use this program with these settings, stop that one first "
                               "(systemctl --user stop vorlin-ipupdated, where it runs as your "
                               "user unit).")
            : QApplication::tr("\nTo use this program with these settings, end that one first.");
    tellBeforeEnding(QApplication::tr("Did not start"), instance.reason() + stopIt);
}

} // namespace

int runClientApplication(QApplication& application,
                         const std::function<void(AppDelegate&)>& afterLaunch,
                         const LaunchActivation& launch) {
    // A reader of standard error that went away must not end the program, and Qt's own
    // warnings must not wait for a reader that never comes.
    std::signal(SIGPIPE, SIG_IGN);
    StandardErrorWriter::takeOverQtMessages();
    // Before the lock: set-account may wake whoever holds it.
    wakeWorkerOnSignals();
    const bool startedAtLogin = QApplication::arguments().contains(startedAtLoginOption);
    SingleInstance instance(launch);
    if (const auto claim = instance.claim(startedAtLogin); claim != SingleInstance::Claim::Run) {
        tellWhyNotStarted(instance, claim, startedAtLogin);
        LaunchFeedback::end(launch); // its window, if any, comes forward from the running copy
        StandardErrorWriter::flush(std::chrono::milliseconds(200));
        // The running copy shows its window instead.
        return claim == SingleInstance::Claim::ShownOther ? 0 : 1;
    }
    forgetTold(refusedAtLoginMark);
    UserDefaults::makeStorePrivate(); // older versions left it readable by everyone

    application.setQuitOnLastWindowClosed(false); // a tray program outlives its window
    quitOnTerminationSignals();
    PasswordKeyrings::install(std::make_shared<KeychainKeyring>());
    AppDelegate delegate;
    QObject::connect(&instance, &SingleInstance::anotherStartRequested, &delegate,
                     [&delegate](const LaunchActivation& later) {
                         LaunchFeedback::prepare(*delegate.window(), later);
                         delegate.menuPreferencesClick();
                         LaunchFeedback::end(later);
                     });
    delegate.applicationDidFinishLaunching(startedAtLogin);
    if (!delegate.window()->isVisible()) // a window that shows ends it by itself
        LaunchFeedback::end(launch);
    if (afterLaunch)
        afterLaunch(delegate);
    instance.publish();
    const int status = application.exec();
    instance.release();
    endProcess(status);
}

int runClientProgram(int argc, char* argv[]) {
    ActivityLog::create();
    KeepSnoozing = 1;
    const LaunchActivation launch = LaunchActivation::fromEnvironment();
    QApplication application(argc, argv);
    QApplication::setApplicationName("vorlin-ipupdate");
    QApplication::setApplicationDisplayName("Vorlin IP Update Client");
    // The desktop ties the windows to the entry: the Wayland app id, and what a launch's
    // startup notification names.
    QGuiApplication::setDesktopFileName("com.vorlin.IPUpdateClient");
    return runClientApplication(application, {}, launch);
}
