#include "update/ReplyOutcome.h"

#include "log/ActivityLog.h"

#include <utility>

namespace {

// Statuses compared whole, ignoring case, with what went wrong; "good..." and "no change"
// are the two that leave the host names pointing here.
const std::pair<const char*, const char*> failingStatuses[] = {
    {"dns error", "fault on the service's side"},
    {"911", "the service is under maintenance"},
    {"not fully qualified domain name", "host name not fully qualified"},
    {"abuse", "updates blocked for abuse"},
    {"no host", "no host names found"},
    {"too many hosts", "too many hosts in one update"},
    {"not member", "option only for members"},
    {"bad authentication", "user name or password rejected"},
    {"old version", "this client version is outdated"},
};

bool succeeded(const QString& status) {
    return status.toLower().startsWith(QLatin1String("good")) ||
           status.compare(QLatin1String("no change"), Qt::CaseInsensitive) == 0;
}

QString failureReason(const QString& status) {
    for (const auto& [keyword, reason] : failingStatuses)
        if (status.compare(QLatin1String(keyword), Qt::CaseInsensitive) == 0)
            return QString(reason);
    return QStringLiteral("unexpected reply from the service");
}

} // namespace

void reportReplyOutcome(const QString& status) {
    if (succeeded(status))
        MyFunctions::reportCycleSucceeded();
    else
        MyFunctions::reportCycleFailed(failureReason(status));
}
