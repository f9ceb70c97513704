// The meaning of a client-update reply, from the bytes of a status-200 body: log lines,
// addresses to remember, tooltip.
#include "FuzzEnvironment.h"
#include "service/Transport.h"
#include "update/ClientUpdate.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

// The status a readable reply carries; none when the cycle must not act on the reply.
std::optional<QString> readableStatus(const QByteArray& bytes) {
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    const QJsonValue status = document.object().value("statusCode");
    if (!document.isObject() || !status.isString())
        return std::nullopt;
    return status.toString();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const UpdateCycleInputs inputs{"alice2024", "s3cret!Pw", size % 2 ? "home" : "", true, true,
                                   {},          {}};
    const std::optional<QString> body = MyFunctions::replyBodyText(bytes);
    const ReplyMeaning meaning = replyMeaning(inputs, body);

    const bool empty = !body || body->isEmpty();
    const std::optional<QString> status = empty ? std::nullopt : readableStatus(bytes);
    // An unreadable reply says nothing and changes nothing that lasts.
    if (!empty && !status)
        FUZZ_CHECK(!meaning.readable && meaning.lines.isEmpty());
    if (!meaning.readable || empty)
        FUZZ_CHECK(!meaning.remembered);
    else
        FUZZ_CHECK(meaning.remembered && meaning.lines.first() == "Server response: " + *status);
    // Success is reported, and the tooltip set, for a status beginning with "good" only.
    const bool accepted = status && status->toLower().startsWith("good");
    if (meaning.lines.contains("[good] IP address updated.") || meaning.toolTip)
        FUZZ_CHECK(accepted);
    if (accepted && meaning.readable)
        FUZZ_CHECK(meaning.toolTip && meaning.toolTip->startsWith("Vorlin Dynamic DNS Online!"));
    return 0;
}
