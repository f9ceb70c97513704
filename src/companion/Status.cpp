#include "companion/Commands.h"
#include "companion/StatusFormats.h"
#include "log/ActivityLog.h"
#include "update/UpdaterStatus.h"

#include <QTextStream>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

enum Status { wentThrough = 0, failed = 1, notSetUp = 2, noCycle = 3 };
// Not one of the updates' statuses: a script must not read a cut output as one (sysexits'
// EX_IOERR).
constexpr int outputNotWritten = 74;

// The addresses come from the service's replies: what they hold must not act on a terminal.
QString shown(const QString& value) {
    return ActivityLog::terminalSafe(value);
}

QString orNone(const QString& value) {
    return value.isEmpty() ? QStringLiteral("none") : value;
}

QString keptUpdated(const UpdaterStatus& status) {
    QStringList families;
    if (status.updateIPv4)
        families << "IPv4";
    if (status.updateIPv6)
        families << "IPv6";
    return orNone(families.join(", "));
}

int exitStatus(const UpdaterStatus& status) {
    if (status.unreadable)
        return Companion::unusableSettings;
    if (!status.setUp || status.password == UpdaterStatus::PasswordPlace::Keyring)
        return notSetUp; // for the service, which waits as when not set up
    if (!status.newestCycle)
        return noCycle;
    return status.newestCycle->succeeded ? wentThrough : failed;
}

// The desktop program keeps no record: its window's log shows its cycles.
QString noCycleYet(const std::optional<UpdaterLock::Holder>& updater) {
    if (!updater)
        return "none yet (is vorlin-ipupdated run running?)";
    return "none recorded yet (" + updater->description() + " updates these settings)";
}

void showForPeople(const UpdaterStatus& status) {
    QTextStream out(stdout);
    out << "Settings file: " << shown(status.settingsFile) << '\n';
    if (status.unreadable) {
        out << "Cannot read the settings: " << *status.unreadable << '\n';
        return;
    }
    if (!status.setUp) {
        out << "Not set up yet. Set up the account with: " << shown(Companion::setUpCommand())
            << '\n';
        return;
    }
    const bool inKeyring = status.password == UpdaterStatus::PasswordPlace::Keyring;
    out << "User name: " << shown(status.username) << '\n'
        << "Group: " << orNone(shown(status.group)) << '\n'
        << "Password: "
        << (inKeyring ? shown(Companion::keyringOutOfReach())
                      : QStringLiteral("in the settings file"))
        << '\n'
        << "Kept updated: " << keptUpdated(status) << '\n'
        << "Last accepted IPv4 address: " << orNone(shown(status.recordedIPv4)) << '\n'
        << "Last accepted IPv6 address: " << orNone(shown(status.recordedIPv6)) << '\n';
    if (inKeyring)
        return;
    const auto& cycle = status.newestCycle;
    if (!cycle) {
        out << "Newest cycle: " << noCycleYet(status.updater) << '\n';
        return;
    }
    const QString time = cycle->time.toLocalTime().toString(u"yyyy-MM-dd HH:mm:ss");
    if (cycle->succeeded)
        out << "Newest cycle: went through at " << time << '\n';
    else
        out << "Newest cycle: failed at " << time << " (" << shown(cycle->failureNote) << ")\n";
}

// Whether all of it went out: the process ends without flushing standard output.
bool write(const QByteArray& output) {
    return std::fwrite(output.constData(), 1, size_t(output.size()), stdout) ==
               size_t(output.size()) &&
           std::fflush(stdout) == 0;
}

// Whether all of it went out, and if not, says so: a script must not take a cut output as whole.
bool written(const QByteArray& output, const QString& what) {
    if (write(output))
        return true;
    Companion::tell("cannot write " + what + ": " + QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

// A scraper keeps the last whole set rather than an empty or a cut one: the exit status tells
// whether there is one to publish.
int writeMetrics(const UpdaterStatus& status) {
    if (const auto problem = status.unreadable) {
        Companion::tell("cannot read the settings " + status.settingsFile + ": " + *problem);
        return Companion::unusableSettings;
    }
    return written(StatusFormats::prometheus(status), "the metrics") ? 0 : outputNotWritten;
}

} // namespace

namespace Companion {

int status(const QStringList& arguments) {
    const QString format = arguments.value(1);
    if (arguments.size() > 2 ||
        (arguments.size() == 2 && format != "--json" && format != "--prometheus"))
        return refuseUsage("status takes --json, --prometheus or nothing");
    const UpdaterStatus status = currentUpdaterStatus();
    if (format == "--json") {
        const bool whole = written(StatusFormats::json(status), "the status");
        return whole ? exitStatus(status) : outputNotWritten;
    }
    if (format == "--prometheus")
        return writeMetrics(status);
    showForPeople(status);
    return exitStatus(status);
}

} // namespace Companion
