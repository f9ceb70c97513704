#pragma once

#include <QString>
#include <QVariant>

// The per-user defaults store, one call per operation. Start-up and Save use these
// directly: unlike the MyFunctions accessors, they neither encipher the password nor
// turn an absent value into "".
namespace UserDefaults {

inline constexpr auto organizationName = "Vorlin";
inline constexpr auto applicationName = "IPUpdateClient";

QVariant objectForKey(const QString& key); // invalid when the key is absent
QString stringForKey(const QString& key);  // "" when the key is absent
qint64 integerForKey(const QString& key);  // 0 when absent or not a number
bool boolForKey(const QString& key);       // false when absent

void setObject(const QString& key, const QString& value);
void setInteger(const QString& key, qint64 value);
void setBool(const QString& key, bool value);
void removeObject(const QString& key);

// Writes every pending change to disk; false when the store could not be written.
bool synchronize();

} // namespace UserDefaults
