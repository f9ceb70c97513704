#include "companion/Companion.h"

#include "companion/Commands.h"
#include "log/ActivityLog.h"
#include "log/StandardErrorWriter.h"
#include "update/ProcessSignals.h"
#include "update/Snooze.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSettings>
#include <csignal>
#include <map>
#include <sys/stat.h>

namespace {

using Command = int (*)(const QStringList&);
const std::map<QString, Command> commands = {
    {"set-account", Companion::setAccount},
    {"run", Companion::run},
    {"status", Companion::status},
};

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
    if (parser.isSet(settingsDir))
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           parser.value(settingsDir));
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
