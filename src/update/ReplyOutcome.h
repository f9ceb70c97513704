#pragma once

#include <QString>

// Why an update cycle failed, in the few words the status item's tooltip shows.
namespace FailureReasons {
inline const QString noReply = QStringLiteral("no reply from the service");
inline const QString unreadableReply = QStringLiteral("the service's reply could not be read");
} // namespace FailureReasons

// Tells the status display how the reply with this status ended the cycle: "good" and
// "no change" succeed, every other status fails with a reason of its own.
void reportReplyOutcome(const QString& status);
