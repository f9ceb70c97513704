#include "companion/Commands.h"

#include "log/ActivityLog.h"
#include "log/StandardErrorWriter.h"
#include "settings/Settings.h"
#include "settings/UserDefaults.h"
#include "update/UpdaterLock.h"

#include <QDir>
#include <QFileInfo>

namespace Companion {

void tell(const QString& line) {
    // Paths and names that another user chose reach root's terminal in these lines.
    StandardErrorWriter::queue(
        ("vorlin-ipupdated: " + ActivityLog::terminalSafe(line) + '\n').toUtf8());
}

int refuseUsage(const QString& problem) {
    tell(problem + "; see vorlin-ipupdated --help");
    return usageError;
}

QString setUpCommand(const QString& username) {
    // The settings file is <folder>/Vorlin/IPUpdateClient.conf.
    const QString folder = QFileInfo(UpdaterLock::settingsFile()).dir().path();
    return "vorlin-ipupdated --settings-dir " + QFileInfo(folder).path() +
           " set-account --username " + username;
}

QString keyringOutOfReach() {
    return "The password is kept in a desktop keyring, which this service cannot reach. "
           "Store it for the service with: " +
           setUpCommand(UserDefaults::stringForKey(SettingsKeys::username));
}

} // namespace Companion
