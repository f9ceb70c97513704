#pragma once

#include "update/IPUpdateThread.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <stdexcept>

// A reply the cycle cannot read (not a JSON object, no text status, an address that is
// neither text nor null): the cycle guard ends the cycle silently.
class UnreadableReply : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The cycle's request-and-reply stage: announces the cycle in the log, discovers both
// public addresses, sends the client-update request and interprets the reply.
void requestClientUpdate(const UpdateCycleInputs& inputs);

// The request the stage sends for the discovered addresses.
QString clientUpdateUrl(const UpdateCycleInputs& inputs, const QString& discoveredIPv4,
                        const QString& discoveredIPv6);

struct RememberedAddresses {
    QString ipv4;
    QString ipv6;
};

// What the body of a status-200 reply means for the cycle, worked out without acting on it.
struct ReplyMeaning {
    QString status;       // the reply's status; empty when the body had none to read
    QStringList lines;    // the outcome for the log, without the empty line that closes the block
    bool readable = true; // false: the cycle ends, silently, once the lines are logged
    std::optional<QString> toolTip; // after an accepted update
    // The addresses to remember from now on (empty to forget them); none: left as they are.
    std::optional<RememberedAddresses> remembered;
    // Why the host names may no longer point here, in a few words; none after "good" or
    // "no change".
    std::optional<QString> failure;
};

ReplyMeaning replyMeaning(const UpdateCycleInputs& inputs, const std::optional<QString>& body);

// Acts on the reply's meaning: logs the outcome, sets the tooltip and stores or empties the
// remembered addresses. Throws UnreadableReply where the reply cannot be read.
void interpretServerReply(const UpdateCycleInputs& inputs, const std::optional<QString>& body);
