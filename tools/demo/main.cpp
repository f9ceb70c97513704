// The client's demo: the real program with settings of its own, pointed at a stand-in of
// the provider (its own, in this process, or one given by its endpoints and CA file). It
// fills in the demo account and presses Save, so the first update cycle follows at once.
//
//   vorlin-ipupdate-demo [--settings DIR] [--api HOST:PORT --ipv4 HOST:PORT --ipv6 HOST:PORT
//                         --ca FILE]

#include "StandInProvider.h"
#include "app/AppDelegate.h"
#include "app/ClientApplication.h"
#include "app/PreferencesWindow.h"
#include "log/ActivityLog.h"
#include "settings/UserDefaults.h"
#include "update/Snooze.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTimer>
#include <memory>
#include <unistd.h>

namespace {

const StandInProvider::Account demoAccount{"demo2026", "Demo-pass1", {"home"}};

void pressSaveWithTheDemoAccount(AppDelegate& delegate) {
    QTimer::singleShot(1000, &delegate, [&delegate] {
        delegate.window()->textBoxUsername->setText(demoAccount.username);
        delegate.window()->textBoxPassword->setText(demoAccount.password);
        delegate.window()->textBoxLocation->setText(demoAccount.groups.first());
        delegate.buttonSaveClick();
    });
}

int fail(const QString& problem) {
    qCritical("vorlin-ipupdate-demo: %s", qPrintable(problem));
    return 2;
}

} // namespace

int main(int argc, char* argv[]) {
    ActivityLog::create();
    KeepSnoozing = 1;
    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName("Vorlin IP Update Client (demo)");

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption settings(
        "settings", "Folder for the demo's settings.", "dir",
        QDir::temp().filePath(QString("vorlin-ipupdate-demo-%1").arg(getuid())));
    const QCommandLineOption api("api", "API host of a running stand-in.", "host:port");
    const QCommandLineOption ipv4("ipv4", "IPv4 check host of a running stand-in.", "host:port");
    const QCommandLineOption ipv6("ipv6", "IPv6 check host of a running stand-in.", "host:port");
    const QCommandLineOption ca("ca", "CA certificate (PEM) of a running stand-in.", "file");
    parser.addOptions({settings, api, ipv4, ipv6, ca});
    parser.process(application);

    // Settings apart from the user's real ones, and no Save of an earlier demo. The folder is
    // emptied first, so it must be a folder of this user's, not a link to somewhere else.
    const QString settingsFolder = parser.value(settings);
    const QFileInfo folder(settingsFolder);
    if (folder.isSymLink() ||
        (folder.exists() && (!folder.isDir() || folder.ownerId() != getuid())))
        return fail(settingsFolder + " is not a folder of this user's");
    QDir(settingsFolder).removeRecursively();
    UserDefaults::useStoreIn(settingsFolder);

    std::unique_ptr<StandInProvider> provider;
    if (parser.isSet(api)) {
        if (!parser.isSet(ipv4) || !parser.isSet(ipv6))
            return fail("--api needs --ipv4 and --ipv6 as well");
        QFile authorities(parser.value(ca));
        if (!authorities.open(QIODevice::ReadOnly) || authorities.size() == 0)
            return fail("cannot read the CA file " + parser.value(ca));
        ServiceClient::configure(
            {parser.value(api), parser.value(ipv4), parser.value(ipv6), parser.value(api)},
            authorities.readAll());
    } else {
        provider = std::make_unique<StandInProvider>();
        provider->addAccount(demoAccount);
        ServiceClient::configure(provider->endpoints(), provider->authority());
    }
    return runClientApplication(application, pressSaveWithTheDemoAccount);
}
