#pragma once

#include <QJsonValue>
#include <QList>
#include <QPair>
#include <QString>
#include <optional>

using QueryFields = QList<QPair<QString, QString>>;

// "https://<API host><path>?key=value&..." with the fields in the order given. Each value is
// percent-encoded, so no value can add, drop or reorder fields; letters, digits and the
// characters of IP addresses pass unchanged.
QString apiRequestUrl(const QString& path, const QueryFields& fields);

namespace MyFunctions {

// The password as every query carries it: 32 lower-case hexadecimal digits of its MD5
// digest; "" for an empty password.
QString md5Hash(const QString& text);

// An absent body becomes "".
QString cleanse(const std::optional<QString>& text);
// A missing member or JSON null becomes ""; any other value comes back unchanged.
QJsonValue cleanse(const QJsonValue& value);

} // namespace MyFunctions
