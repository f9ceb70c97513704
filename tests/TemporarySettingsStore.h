#pragma once

#include "settings/Settings.h"
#include "settings/UserDefaults.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

// Points the per-user settings store at an empty folder of its own for as long as it
// lives, so a test starts from a first run and never touches the user's real settings.
class TemporarySettingsStore {
public:
    TemporarySettingsStore() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, directory_.path());
    }
    QString filePath() const { return directory_.filePath("Vorlin/IPUpdateClient.conf"); }

    // What a successful Save leaves for the worker.
    static void saveAccount(const QString& name, const QString& password, const QString& group,
                            bool ipv4 = true, bool ipv6 = true) {
        UserDefaults::setBool(SettingsKeys::saved, true);
        UserDefaults::setObject(SettingsKeys::username, name);
        MyFunctions::setConfigurationString(SettingsKeys::password, password);
        UserDefaults::setObject(SettingsKeys::location, group);
        UserDefaults::setBool(SettingsKeys::updateIPv4Address, ipv4);
        UserDefaults::setBool(SettingsKeys::updateIPv6Address, ipv6);
    }

    // From now on the store cannot be written, even by root: a regular file stands where
    // its folder should be.
    void makeUnwritable() {
        QFile blocker(directory_.filePath("blocked"));
        blocker.open(QIODevice::WriteOnly);
        blocker.close();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, blocker.fileName());
    }
    void makeWritable() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, directory_.path());
    }

private:
    QTemporaryDir directory_;
};
