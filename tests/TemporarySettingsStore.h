#pragma once

#include "Files.h"
#include "settings/PasswordCipher.h"
#include "settings/Settings.h"
#include "settings/UserDefaults.h"

#include <QMap>
#include <QTemporaryDir>

// Points the settings store at an empty folder of its own while it lives: a first run.
class TemporarySettingsStore {
public:
    TemporarySettingsStore() { UserDefaults::useStoreIn(directory_.path()); }
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

    // Every key as text; "-" when absent, "enciphered:<text>" for a password that deciphers.
    static QMap<QString, QString> state() {
        using namespace SettingsKeys;
        QMap<QString, QString> state;
        for (const QString& key : {saved, username, password, location, updateIPv4Address,
                                   updateIPv6Address, updatedipv4, updatedipv6}) {
            const QVariant value = UserDefaults::objectForKey(key);
            state[key] = value.isValid() ? value.toString() : "-";
            if (key == password && value.isValid())
                if (const auto plain = MyFunctions::decryptString(state[key]))
                    state[key] = "enciphered:" + *plain;
        }
        return state;
    }

    // Unwritable even by root from now on: a file stands where its folder should be.
    void makeUnwritable() {
        UserDefaults::useStoreIn(writeFile(directory_.filePath("blocked"), {}));
    }
    void makeWritable() { UserDefaults::useStoreIn(directory_.path()); }

private:
    QTemporaryDir directory_;
};
