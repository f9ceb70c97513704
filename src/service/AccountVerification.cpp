#include "service/AccountVerification.h"

#include "service/ServiceQuery.h"
#include "service/Transport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

namespace MyFunctions {
namespace {

QueryFields accountFields(const QString& username, const QString& password, const QString& group) {
    return {{"username", username}, {"password", md5Hash(password)}, {"group", group}};
}

// A text is true when, after leading blanks, an optional sign and leading zeros, it
// starts with Y, y, T, t or a digit 1 to 9.
bool textTruthValue(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    while (i < text.size() && text[i] == '0')
        ++i;
    return i < text.size() && QStringLiteral("YyTt123456789").contains(text[i]);
}

// The truth value of a "result" member; none for null, arrays and objects, which carry
// no verdict at all.
std::optional<bool> truthValue(const QJsonValue& value) {
    switch (value.type()) {
    case QJsonValue::Undefined:
        return false;
    case QJsonValue::Bool:
        return value.toBool();
    case QJsonValue::Double:
        return value.toDouble() != 0;
    case QJsonValue::String:
        return textTruthValue(value.toString());
    default:
        return std::nullopt;
    }
}

// A "message" that is not text counts as no message.
std::optional<QString> messageText(const QJsonValue& value) {
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

} // namespace

bool getClientProfileWithGroup(const QString& username, const QString& somePassword,
                               const QString& someLocation, bool& result,
                               std::optional<QString>& message) {
    result = false;
    message = QString("");
    std::optional<QString> httpResult;
    if (!urlExecute(apiRequestUrl("/nic/getclientprofilewithgroup",
                                  accountFields(username, somePassword, someLocation)),
                    httpResult))
        return false;
    return readProfileReply(httpResult, result, message);
}

bool readProfileReply(const std::optional<QString>& body, bool& result,
                      std::optional<QString>& message) {
    const QString text = cleanse(body);
    if (text.isEmpty())
        return false;

    const std::optional<QString> decoded = base64Decode(text);
    if (!decoded)
        return false;
    const QJsonDocument reply = QJsonDocument::fromJson(decoded->toUtf8());
    if (reply.isArray())
        return false; // members cannot be read from an array
    if (reply.isNull()) {
        message = std::nullopt; // not JSON: a verdict of "no", without explanation
        return true;
    }
    const QJsonObject members = reply.object();
    message = messageText(members.value("message"));
    const std::optional<bool> verdict = truthValue(members.value("result"));
    if (!verdict)
        return false;
    result = *verdict;
    return true;
}

std::optional<QString> base64Decode(const QString& text) {
    QString padded = text;
    padded.replace('|', '=');
    // Text that is not Base64 gives no text, not "": a reply that cannot be unwrapped is a
    // failed verification ("Unable to authenticate!"), not a refusal by the provider.
    if (padded.size() % 4 != 0)
        return std::nullopt;
    const auto bytes =
        QByteArray::fromBase64Encoding(padded.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!bytes || bytes.decoded.size() % 2 != 0)
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf16LE);
    QString decoded = decoder(bytes.decoded);
    if (decoder.hasError())
        return std::nullopt;
    return decoded;
}

} // namespace MyFunctions
