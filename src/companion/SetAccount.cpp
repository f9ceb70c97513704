#include "account/SaveSettings.h"
#include "companion/Commands.h"
#include "update/ProcessSignals.h"
#include "update/UpdaterLock.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <iostream>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString readLine() {
    std::string line;
    std::getline(std::cin, line);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromStdString(line);
}

// From a pipe or file, one line; at a terminal, asked for without echo.
QString readPassword() {
    if (!::isatty(STDIN_FILENO))
        return readLine();
    struct termios shown = {};
    ::tcgetattr(STDIN_FILENO, &shown);
    struct termios hidden = shown;
    hidden.c_lflag &= ~tcflag_t(ECHO);
    const char prompt[] = "Password: ";
    [[maybe_unused]] auto written = ::write(STDERR_FILENO, prompt, sizeof prompt - 1);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden);
    const QString password = readLine();
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &shown);
    written = ::write(STDERR_FILENO, "\n", 1);
    return password;
}

// Root sets up the system service's settings, which belong to the service's own user: the
// file written afresh is handed to the owner of its folder, so the service can still write
// it.
void handSettingsToTheirFolderOwner() {
    const QString file = UpdaterLock::settingsFile();
    struct stat folder = {};
    if (::geteuid() != 0 || ::stat(QFileInfo(file).path().toLocal8Bit(), &folder) != 0 ||
        folder.st_uid == 0)
        return;
    // Not through a link: the folder's owner could have put one there to any file of root's.
    [[maybe_unused]] const int handed = ::lchown(file.toLocal8Bit(), folder.st_uid, folder.st_gid);
}

// The updater that runs on these settings starts its next cycle now, as after the window's
// Save.
void wakeRunningUpdater() {
    if (const auto holder = UpdaterLock().holder(); holder && holder->onThisMachine)
        wakeWorkerOf(holder->pid);
}

} // namespace

namespace Companion {

int setAccount(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption username("username", "The account's user name.", "NAME");
    const QCommandLineOption group("group", "The group of host names to update.", "NAME");
    const QCommandLineOption noIPv4("no-ipv4", "Do not keep the IPv4 address updated.");
    const QCommandLineOption noIPv6("no-ipv6", "Do not keep the IPv6 address updated.");
    parser.addOptions({username, group, noIPv4, noIPv6});
    if (!parser.parse(arguments))
        return refuseUsage(parser.errorText());
    if (!parser.isSet(username) || !parser.positionalArguments().isEmpty())
        return refuseUsage("set-account takes --username NAME [--group NAME] [--no-ipv4] "
                           "[--no-ipv6]; the password comes on standard input");

    const AccountEntries entries{parser.value(username), readPassword(), parser.value(group),
                                 !parser.isSet(noIPv4), !parser.isSet(noIPv6)};
    const SaveOutcome outcome = saveSettings(entries);
    handSettingsToTheirFolderOwner();
    if (outcome != SaveOutcome::Saved)
        return 1;
    wakeRunningUpdater();
    return 0;
}

} // namespace Companion
