#pragma once

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

private:
    QTemporaryDir directory_;
};
