#include "companion/Commands.h"
#include "log/ActivityLog.h"
#include "settings/Settings.h"
#include "update/CycleRecord.h"
#include "update/UpdaterLock.h"

#include <QFile>
#include <QTextStream>
#include <cerrno>
#include <cstring>
#include <unistd.h>

using namespace SettingsKeys;
using MyFunctions::getConfigurationBoolean;
using MyFunctions::getConfigurationString;

namespace {

enum Status { wentThrough = 0, failed = 1, notSetUp = 2, noCycle = 3 };

// Settings that are there but out of reach (another user's, say) are not "not set up yet".
std::optional<QString> unreadable(const QString& file) {
    if (::access(QFile::encodeName(file), R_OK) == 0 || errno == ENOENT)
        return std::nullopt;
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The addresses come from the service's replies: what they hold must not act on a terminal.
QString stored(const QString& key) {
    return ActivityLog::terminalSafe(getConfigurationString(key));
}

QString orNone(const QString& value) {
    return value.isEmpty() ? QStringLiteral("none") : value;
}

QString keptUpdated() {
    QStringList families;
    if (getConfigurationBoolean(updateIPv4Address))
        families << "IPv4";
    if (getConfigurationBoolean(updateIPv6Address))
        families << "IPv6";
    return orNone(families.join(", "));
}

// The record counts only while the updater that wrote it holds the settings.
std::optional<CycleRecord> newestCycleOf(const std::optional<UpdaterLock::Holder>& holder) {
    const auto record = CycleRecords::read();
    if (!record || !holder || holder->pid != record->pid)
        return std::nullopt;
    return record;
}

// The desktop program keeps no record: its window's log shows its cycles.
QString noCycleYet(const std::optional<UpdaterLock::Holder>& holder) {
    if (!holder)
        return "none yet (is vorlin-ipupdated run running?)";
    return "none recorded yet (" + holder->description() + " updates these settings)";
}

} // namespace

namespace Companion {

int status(const QStringList& arguments) {
    if (arguments.size() > 1)
        return refuseUsage("status takes no arguments");
    QTextStream out(stdout);
    out << "Settings file: " << UpdaterLock::settingsFile() << '\n';
    if (const auto problem = unreadable(UpdaterLock::settingsFile())) {
        out << "Cannot read the settings: " << *problem << '\n';
        return unusableSettings;
    }
    if (!getConfigurationBoolean(saved)) {
        out << "Not set up yet. Set up the account with: " << setUpCommand() << '\n';
        return notSetUp;
    }
    out << "User name: " << stored(username) << '\n'
        << "Group: " << orNone(stored(location)) << '\n'
        << "Password: "
        << (getConfigurationBoolean(passwordInKeyring)
                ? ActivityLog::terminalSafe(keyringOutOfReach())
                : QStringLiteral("in the settings file"))
        << '\n'
        << "Kept updated: " << keptUpdated() << '\n'
        << "Last accepted IPv4 address: " << orNone(stored(updatedipv4)) << '\n'
        << "Last accepted IPv6 address: " << orNone(stored(updatedipv6)) << '\n';
    if (getConfigurationBoolean(passwordInKeyring))
        return notSetUp; // for the service, which waits as when not set up
    const auto holder = UpdaterLock().holder();
    const auto cycle = newestCycleOf(holder);
    if (!cycle) {
        out << "Newest cycle: " << noCycleYet(holder) << '\n';
        return noCycle;
    }
    const QString time = cycle->time.toString(u"yyyy-MM-dd HH:mm:ss");
    if (cycle->succeeded) {
        out << "Newest cycle: went through at " << time << '\n';
        return wentThrough;
    }
    out << "Newest cycle: failed at " << time << " ("
        << ActivityLog::terminalSafe(cycle->failureNote) << ")\n";
    return failed;
}

} // namespace Companion
