#include "companion/Companion.h"

#include "companion/Commands.h"
#include "companion/SettingsOwner.h"
#include "log/ActivityLog.h"
#include "log/StandardErrorWriter.h"
#include "settings/UserDefaults.h"
#include "update/ProcessSignals.h"
#include "update/Snooze.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <csignal>
#include <map>
#include <sys/stat.h>

namespace {

// Each command with its exit status for settings that root may not act on.
struct Command {
    int (*run)(const QStringList& arguments);
    int refusedSettings;
};
const std::map<QString, Command> commands = {
    {"set-account", {Companion::setAccount, 1}},
    {"run", {Companion::run, Companion::unusableSettings}},
    {"status", {Companion::status, Companion::unusableSettings}},
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
    if (parser.isSet(settingsDir) && parser.value(settingsDir).isEmpty())
        return Companion::refuseUsage("--settings-dir needs a folder");
    // The settings' path is worked out once, and root checks the very path that is opened.
    UserDefaults::useStoreIn(parser.isSet(settingsDir) ? parser.value(settingsDir)
                                                       : UserDefaults::configurationHome());
    if (!SettingsOwner::actAsOwnerOfSettings(QFileInfo(UserDefaults::storeFile()).path()))
        return command->second.refusedSettings;
    UserDefaults::makeStorePrivate(); // an older desktop program left it readable by others
    return command->second.run(QStringList{arguments.first() + ' ' + rest.first()} + rest.mid(1));
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
