#include "companion/StatusFormats.h"
#include "log/ActivityLog.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

constexpr int schemaVersion = 1;

QJsonValue textOrNull(const QString& text) {
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

// In local time, with its offset from UTC.
QJsonValue timeOrNull(const QDateTime& time) {
    if (!time.isValid())
        return QJsonValue::Null;
    const QDateTime local = time.toLocalTime();
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

QJsonObject password(UpdaterStatus::PasswordPlace place) {
    static const QJsonValue where[] = {QJsonValue::Null, "settings file", "keyring"};
    return {{"stored", place != UpdaterStatus::PasswordPlace::None}, {"where", where[int(place)]}};
}

QJsonValue updater(const std::optional<UpdaterLock::Holder>& holder) {
    if (!holder)
        return QJsonValue::Null;
    return QJsonObject{{"program", textOrNull(holder->program)},
                       {"pid", holder->pid > 0 ? QJsonValue(holder->pid) : QJsonValue::Null}};
}

QJsonValue newestCycle(const std::optional<CycleRecord>& cycle) {
    if (!cycle)
        return QJsonValue::Null;
    return QJsonObject{{"time", timeOrNull(cycle->time)},
                       {"wentThrough", cycle->succeeded},
                       {"statusWord", textOrNull(cycle->statusWord)},
                       {"failureNote", textOrNull(cycle->failureNote)},
                       {"lastSuccessTime", timeOrNull(cycle->lastSuccess)}};
}

QJsonObject facts(const UpdaterStatus& status) {
    return {
        {"setUp", status.setUp},
        {"username", textOrNull(status.username)},
        {"group", textOrNull(status.group)},
        {"password", password(status.password)},
        {"addressFamilies", QJsonObject{{"ipv4", status.updateIPv4}, {"ipv6", status.updateIPv6}}},
        {"recordedAddresses", QJsonObject{{"ipv4", textOrNull(status.recordedIPv4)},
                                          {"ipv6", textOrNull(status.recordedIPv6)}}},
        {"updater", updater(status.updater)},
        {"newestCycle", newestCycle(status.newestCycle)}};
}

// Unreadable settings: every fact is there, as unknown.
QJsonObject unknown(QJsonObject object) {
    for (auto value = object.begin(); value != object.end(); ++value)
        *value = QJsonValue::Null;
    return object;
}

// Qt escapes the controls below U+0020 in strings, and those left are the layout's: DEL, the
// C1 controls, format characters and line separators go as \u escapes too, which every JSON
// reader turns back into the text.
QByteArray withControlsEscaped(const QByteArray& json) {
    QString escaped;
    for (const char32_t c : QString::fromUtf8(json).toUcs4()) {
        const QString character = QString::fromUcs4(&c, 1);
        if (c < 0x20 || !ActivityLog::needsEscaping(c)) {
            escaped += character;
            continue;
        }
        for (const QChar unit : character)
            escaped += QStringLiteral("\\u%1").arg(unit.unicode(), 4, 16, QChar(u'0'));
    }
    return escaped.toUtf8();
}

} // namespace

namespace StatusFormats {

QByteArray json(const UpdaterStatus& status) {
    QJsonObject object = status.unreadable ? unknown(facts(status)) : facts(status);
    object.insert("version", schemaVersion);
    object.insert("settingsFile", status.settingsFile);
    object.insert("settingsError", status.unreadable ? QJsonValue(*status.unreadable)
                                                     : QJsonValue(QJsonValue::Null));
    return withControlsEscaped(QJsonDocument(object).toJson(QJsonDocument::Indented));
}

} // namespace StatusFormats
