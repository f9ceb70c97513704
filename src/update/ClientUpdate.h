#pragma once

#include "update/IPUpdateThread.h"

#include <QString>
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

// What the stage does with the body of a status-200 reply: logs the outcome, stores or
// empties the remembered addresses and sets the tooltip after an accepted update. Throws
// UnreadableReply where the reply cannot be read.
void interpretServerReply(const UpdateCycleInputs& inputs, const std::optional<QString>& body);
