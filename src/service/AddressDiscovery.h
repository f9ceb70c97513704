#pragma once

#include <QString>
#include <optional>

namespace MyFunctions {

// The computer's public addresses as the provider's address checks see them, or "" when
// none could be learned.
QString getIPv4Address();
QString getIPv6Address();

// The address in the body of an address check's status-200 reply: what follows "ip", as it
// is; "" for any other body.
QString addressFromCheckReply(const std::optional<QString>& body);

} // namespace MyFunctions
