#include "service/ServiceQuery.h"

#include "service/ServiceEndpoints.h"

#include <QCryptographicHash>
#include <QStringList>
#include <QUrl>

QString apiRequestUrl(const QString& path, const QueryFields& fields) {
    QStringList query;
    for (const auto& [key, value] : fields)
        query << key + '=' + QString::fromLatin1(QUrl::toPercentEncoding(value, ":"));
    return "https://" + ServiceClient::endpoints().apiHost + path + '?' + query.join('&');
}

namespace MyFunctions {

QString md5Hash(const QString& text) {
    if (text.isEmpty())
        return QString("");
    return QString::fromLatin1(
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex());
}

QString cleanse(const std::optional<QString>& text) {
    return text.value_or(QString(""));
}

QJsonValue cleanse(const QJsonValue& value) {
    if (value.isUndefined() || value.isNull())
        return QString("");
    return value;
}

} // namespace MyFunctions
