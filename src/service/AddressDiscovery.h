#pragma once

#include <QString>

namespace MyFunctions {

// The computer's public addresses as the provider's address checks see them, or "" when
// none could be learned.
QString getIPv4Address();
QString getIPv6Address();

} // namespace MyFunctions
