#pragma once

#include <QString>
#include <QVariant>

// The ten keys of the client's settings.
namespace SettingsKeys {
inline const QString saved = QStringLiteral("saved");
inline const QString username = QStringLiteral("username");
inline const QString password = QStringLiteral("password");
inline const QString location = QStringLiteral("location");
inline const QString updateIPv4Address = QStringLiteral("updateIPv4Address");
inline const QString updateIPv6Address = QStringLiteral("updateIPv6Address");
inline const QString updatedipv4 = QStringLiteral("updatedipv4");
inline const QString updatedipv6 = QStringLiteral("updatedipv6");
// On: the password is kept in the desktop's keyring, and "password" is empty.
inline const QString passwordInKeyring = QStringLiteral("passwordInKeyring");
// On: that keyring entry is these settings' own; off, it is the one that earlier versions kept
// under the user name alone.
inline const QString keyringEntryPerSettings = QStringLiteral("keyringEntryPerSettings");
} // namespace SettingsKeys

// Typed accessors over the defaults store. The value of "password" is enciphered on
// the way in and deciphered on the way out; no accessor flushes the store.
namespace MyFunctions {

QString getConfigurationString(const QString& key); // "" when absent or undecipherable
qint32 getConfigurationInteger(const QString& key);
bool getConfigurationBoolean(const QString& key);

void setConfigurationString(const QString& key, const QString& someValue);
// What setConfigurationString stores for the value; invalid (no value) for a password that
// cannot be enciphered.
QVariant storedConfigurationString(const QString& key, const QString& someValue);
void setConfigurationInteger(const QString& key, qint32 someValue);
void setConfigurationBoolean(const QString& key, bool someValue);

} // namespace MyFunctions
