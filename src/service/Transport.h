#pragma once

#include <QString>
#include <optional>

namespace MyFunctions {

// One HTTPS GET of the given URL, sent once over a connection of its own and waited for on the
// calling thread, which it blocks. It offers the TLS session that an earlier exchange of the
// last day had with that host under the same trust. True exactly when a complete reply with status
// 200 arrived; httpResult then holds its body decoded as UTF-8, or no text when the bytes are not
// UTF-8. Any other outcome (another status, a redirect, a failed TLS check, more than the service
// client's bound (10 seconds) for the whole exchange with its name lookup, a body over 1 MiB) gives
// false and the empty text.
bool urlExecute(const QString& url, std::optional<QString>& httpResult);

// A reply body as text: its bytes decoded as UTF-8, or no text when they are not UTF-8.
std::optional<QString> replyBodyText(const QByteArray& bytes);

} // namespace MyFunctions
