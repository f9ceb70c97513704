#include "companion/StatusFormats.h"
#include "log/ActivityLog.h"

#include <QStringList>

namespace {

// Each sample: its labels (in braces) or nothing, and its value.
using Samples = QList<QPair<QString, QString>>;

// One gauge: its name, what it means and its samples. A value not known has no sample.
struct Gauge {
    QString name;
    QString help;
    Samples samples;
};

// A label value as the format requires: backslash, double quote and line feed escaped.
QString labelValue(QString value) {
    value = ActivityLog::terminalSafe(value); // another user's names, read on root's terminal
    value.replace('\\', "\\\\").replace('"', "\\\"").replace('\n', "\\n");
    return '"' + value + '"';
}

QString labels(const QList<QPair<QString, QString>>& pairs) {
    QStringList joined;
    for (const auto& [name, value] : pairs)
        joined << name + '=' + labelValue(value);
    return '{' + joined.join(',') + '}';
}

QString flag(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

std::optional<QString> seconds(const QDateTime& time) {
    if (!time.isValid())
        return std::nullopt;
    return QString::number(time.toSecsSinceEpoch());
}

Samples unlabelled(const std::optional<QString>& value) {
    return value ? Samples{{QString(), *value}} : Samples();
}

QList<Gauge> gauges(const UpdaterStatus& status) {
    const QString program = status.updater ? status.updater->program : QString();
    const std::optional<CycleRecord>& cycle = status.newestCycle;
    return {
        {"vorlin_ipupdate_info",
         "The account and the program that updates it (empty when none); always 1.",
         {{labels({{"username", status.username}, {"group", status.group}, {"updater", program}}),
           "1"}}},
        {"vorlin_ipupdate_address_family_updated",
         "Whether the address family is kept updated: 1 yes, 0 no.",
         {{labels({{"family", "ipv4"}}), flag(status.updateIPv4)},
          {labels({{"family", "ipv6"}}), flag(status.updateIPv6)}}},
        {"vorlin_ipupdate_last_cycle_success",
         "Whether the running updater's newest cycle went through: 1 yes, 0 no; no sample "
         "before its first cycle.",
         unlabelled(cycle ? std::optional(flag(cycle->succeeded)) : std::nullopt)},
        {"vorlin_ipupdate_last_cycle_timestamp_seconds",
         "When the running updater's newest cycle ended, in seconds since the epoch; no sample "
         "before its first cycle.",
         unlabelled(cycle ? seconds(cycle->time) : std::nullopt)},
        {"vorlin_ipupdate_last_success_timestamp_seconds",
         "When a cycle of the running updater last went through, in seconds since the epoch; "
         "no sample until one has since it started.",
         unlabelled(cycle ? seconds(cycle->lastSuccess) : std::nullopt)},
    };
}

} // namespace

namespace StatusFormats {

QByteArray prometheus(const UpdaterStatus& status) {
    QString text;
    for (const Gauge& gauge : gauges(status)) {
        text += "# HELP " + gauge.name + ' ' + gauge.help + '\n';
        text += "# TYPE " + gauge.name + " gauge\n";
        for (const auto& [labels, value] : gauge.samples)
            text += gauge.name + labels + ' ' + value + '\n';
    }
    return text.toUtf8();
}

} // namespace StatusFormats
