#include "update/UpdaterStatus.h"

#include "settings/Settings.h"
#include "settings/UserDefaults.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <unistd.h>

using namespace SettingsKeys;
using MyFunctions::getConfigurationBoolean;
using MyFunctions::getConfigurationString;

namespace {

// Settings that are there but out of reach (another user's, say) are not "not set up yet".
std::optional<QString> unreadable(const QString& file) {
    if (::access(QFile::encodeName(file), R_OK) == 0 || errno == ENOENT)
        return std::nullopt;
    return QString::fromLocal8Bit(std::strerror(errno));
}

UpdaterStatus::PasswordPlace passwordPlace() {
    if (getConfigurationBoolean(passwordInKeyring))
        return UpdaterStatus::PasswordPlace::Keyring;
    return UserDefaults::stringForKey(password).isEmpty()
               ? UpdaterStatus::PasswordPlace::None
               : UpdaterStatus::PasswordPlace::SettingsFile;
}

// The record counts only while the updater that wrote it holds the settings.
std::optional<CycleRecord> newestCycleOf(const std::optional<UpdaterLock::Holder>& updater) {
    const auto record = CycleRecords::read();
    if (!record || !updater || updater->pid != record->pid)
        return std::nullopt;
    return record;
}

} // namespace

UpdaterStatus currentUpdaterStatus() {
    UpdaterStatus status;
    status.settingsFile = UpdaterLock::settingsFile();
    status.unreadable = unreadable(status.settingsFile);
    if (status.unreadable)
        return status;
    status.setUp = getConfigurationBoolean(saved);
    status.username = getConfigurationString(username);
    status.group = getConfigurationString(location);
    status.password = passwordPlace();
    status.updateIPv4 = getConfigurationBoolean(updateIPv4Address);
    status.updateIPv6 = getConfigurationBoolean(updateIPv6Address);
    status.recordedIPv4 = getConfigurationString(updatedipv4);
    status.recordedIPv6 = getConfigurationString(updatedipv6);
    status.updater = UpdaterLock().holder();
    status.newestCycle = newestCycleOf(status.updater);
    return status;
}
