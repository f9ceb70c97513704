#pragma once

#include <QString>
#include <optional>

namespace MyFunctions {

// Asks the provider whether the user name, password and group (may be empty) belong
// together. False when no usable reply came; otherwise true, with the verdict in result
// and the provider's explanation in message (none when it sent no text).
bool getClientProfileWithGroup(const QString& username, const QString& somePassword,
                               const QString& someLocation, bool& result,
                               std::optional<QString>& message);

// What the profile check makes of a status-200 reply body: false when it cannot be read
// far enough for a verdict; otherwise true, with the verdict and the message.
bool readProfileReply(const std::optional<QString>& body, bool& result,
                      std::optional<QString>& message);

// The profile reply's wrapping: Base64 with "|" for "=", around UTF-16LE text. No text when
// the Base64 or the UTF-16 is broken.
std::optional<QString> base64Decode(const QString& text);

} // namespace MyFunctions
