#include "account/SaveSettings.h"
#include "companion/Commands.h"
#include "update/ProcessSignals.h"
#include "update/UpdaterLock.h"

#include <QCommandLineParser>
#include <csignal>
#include <cstring>
#include <iostream>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

// At most a line's worth: a stream without line ends must not fill the memory.
QString readLine() {
    constexpr std::streamsize longest = 4096;
    std::string line(longest, '\0');
    std::cin.getline(line.data(), longest);
    line.resize(static_cast<size_t>(std::strlen(line.c_str())));
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromStdString(line);
}

struct termios shownTerminal = {};

// A prompt given up with Ctrl-C must not leave the terminal without echo.
void showTerminalAndEnd(int signal) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &shownTerminal);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// From a pipe or file, one line; at a terminal, asked for without echo.
QString readPassword() {
    if (!::isatty(STDIN_FILENO))
        return readLine();
    ::tcgetattr(STDIN_FILENO, &shownTerminal);
    struct termios hidden = shownTerminal;
    hidden.c_lflag &= ~tcflag_t(ECHO);
    const int endingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    for (const int signal : endingSignals)
        ::signal(signal, showTerminalAndEnd);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden);
    // Asked for once echo is off: what comes after the prompt is neither shown nor flushed.
    const char prompt[] = "Password: ";
    [[maybe_unused]] auto written = ::write(STDERR_FILENO, prompt, sizeof prompt - 1);
    const QString password = readLine();
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &shownTerminal);
    for (const int signal : endingSignals)
        ::signal(signal, SIG_DFL);
    written = ::write(STDERR_FILENO, "\n", 1);
    return password;
}

// The updater that runs on these settings starts its next cycle now, as after the window's
// Save.
void wakeRunningUpdater() {
    if (const auto holder = UpdaterLock().holder())
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

    AccountEntries entries{parser.value(username), readPassword(), parser.value(group),
                           !parser.isSet(noIPv4), !parser.isSet(noIPv6)};
    entries.passwordInKeyring = false; // the service cannot reach a keyring
    entries.choicesStoredIfRefused = false;
    const SaveOutcome outcome = saveSettings(entries);
    if (outcome != SaveOutcome::Saved)
        return 1;
    wakeRunningUpdater();
    return 0;
}

} // namespace Companion
