#include "settings/Settings.h"

#include "settings/PasswordCipher.h"
#include "settings/UserDefaults.h"

namespace MyFunctions {

QString getConfigurationString(const QString& key) {
    QString value = UserDefaults::stringForKey(key);
    if (key == SettingsKeys::password)
        return decryptString(value).value_or(QString());
    return value;
}

qint32 getConfigurationInteger(const QString& key) {
    return static_cast<qint32>(UserDefaults::integerForKey(key));
}

bool getConfigurationBoolean(const QString& key) {
    return UserDefaults::boolForKey(key);
}

void setConfigurationString(const QString& key, const QString& someValue) {
    UserDefaults::setValues({{key, storedConfigurationString(key, someValue)}});
}

QVariant storedConfigurationString(const QString& key, const QString& someValue) {
    if (key != SettingsKeys::password)
        return someValue;
    // A password that cannot be enciphered must not rest in the store in plain text.
    if (const auto enciphered = encryptString(someValue))
        return *enciphered;
    return {};
}

void setConfigurationInteger(const QString& key, qint32 someValue) {
    UserDefaults::setInteger(key, someValue);
}

void setConfigurationBoolean(const QString& key, bool someValue) {
    UserDefaults::setBool(key, someValue);
}

} // namespace MyFunctions
