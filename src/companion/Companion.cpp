#include "companion/Companion.h"

#include "companion/Commands.h"
#include "log/ActivityLog.h"
#include "log/StandardErrorWriter.h"
#include "settings/UserDefaults.h"
#include "update/ProcessSignals.h"
#include "update/Snooze.h"
#include "update/UpdaterLock.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <csignal>
#include <grp.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Command = int (*)(const QStringList&);
const std::map<QString, Command> commands = {
    {"set-account", Companion::setAccount},
    {"run", Companion::run},
    {"status", Companion::status},
};

// Root working on settings that belong to another user (the system service's) works as that
// user: the owner could have put links there to files of root's, and whom a wake-up may
// reach is then the kernel's to decide.
bool actAsOwnerOfSettings() {
    if (::geteuid() != 0)
        return true;
    const QByteArray vorlinFolder = QFileInfo(UpdaterLock::settingsFile()).path().toLocal8Bit();
    struct stat owner = {};
    if (::lstat(vorlinFolder, &owner) != 0 &&
        ::stat(QFileInfo(QString::fromLocal8Bit(vorlinFolder)).path().toLocal8Bit(), &owner) != 0)
        return true; // nothing there yet: root's own settings
    if (owner.st_uid == 0)
        return true;
    if (::setgroups(0, nullptr) == 0 &&
        ::setresgid(owner.st_gid, owner.st_gid, owner.st_gid) == 0 &&
        ::setresuid(owner.st_uid, owner.st_uid, owner.st_uid) == 0)
        return true;
    Companion::tell("cannot act as the owner of " + QString::fromLocal8Bit(vorlinFolder));
    return false;
}

int runCommand(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription("Keeps the host names of one Vorlin dynamic-DNS account "
                                     "pointed at this machine, without a desktop.");
    parser.addHelpOption();
    const QCommandLineOption settingsDir(
        "settings-dir", "The folder that holds Vorlin/IPUpdateClient.conf.", "DIR");
    parser.addOption(settingsDir);
    parser.addPositionalArgument("command", "set-account, run or status");
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    if (!parser.parse(arguments))
        return Companion::refuseUsage(parser.errorText());
    if (parser.isSet("help"))
        parser.showHelp(0);
    const QStringList rest = parser.positionalArguments();
    const auto command = rest.isEmpty() ? commands.end() : commands.find(rest.first());
    if (command == commands.end())
        return Companion::refuseUsage("the command is one of set-account, run and status");
    if (parser.isSet(settingsDir)) {
        if (parser.value(settingsDir).isEmpty())
            return Companion::refuseUsage("--settings-dir needs a folder");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           parser.value(settingsDir));
    }
    if (!actAsOwnerOfSettings())
        return 1;
    UserDefaults::makeStorePrivate(); // an older desktop program left it readable by others
    return command->second(QStringList{arguments.first() + ' ' + rest.first()} + rest.mid(1));
}

} // namespace

int runCompanion(int argc, char* argv[]) {
    ActivityLog::create();
    KeepSnoozing = 1;
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName("vorlin-ipupdated");
    // A reader of standard error that went away must not end the program, and Qt's own
    // warnings must not wait for a reader that never comes.
    std::signal(SIGPIPE, SIG_IGN);
    StandardErrorWriter::takeOverQtMessages();
    // The settings hold the password: what the companion creates is for its user alone.
    ::umask(0077);
    endProcess(runCommand(QCoreApplication::arguments()));
}
