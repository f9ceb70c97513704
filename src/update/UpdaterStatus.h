#pragma once

#include "update/CycleRecord.h"
#include "update/UpdaterLock.h"

#include <QString>
#include <optional>

// What status tells of the settings in use, gathered once for each of its outputs. Texts are
// as stored: those from the service's replies may hold anything, and each output makes them
// safe in its own way.
struct UpdaterStatus {
    enum class PasswordPlace { None, SettingsFile, Keyring };

    QString settingsFile;
    // Why the settings cannot be read; none when they can, or do not exist yet. Then nothing
    // below was read.
    std::optional<QString> unreadable;
    bool setUp = false;
    QString username;
    QString group; // empty for none
    PasswordPlace password = PasswordPlace::None;
    bool updateIPv4 = false, updateIPv6 = false;
    QString recordedIPv4, recordedIPv6; // as the service reported them back; empty for none
    std::optional<UpdaterLock::Holder> updater;
    std::optional<CycleRecord> newestCycle; // of the running updater alone
};

UpdaterStatus currentUpdaterStatus();
