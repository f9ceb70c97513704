// The client-update reply, from the bytes of a status-200 body through the stage's own
// interpretation: log lines, remembered addresses, tooltip.
#include "FuzzEnvironment.h"
#include "service/Transport.h"
#include "settings/Settings.h"
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
    static const bool ready = (setUpFuzzEnvironment(), true);
    (void)ready;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const UpdateCycleInputs inputs{"alice2024", "s3cret!Pw", size % 2 ? "home" : "",
                                   true,        true,        false};
    ActivityLog::create();
    MyFunctions::setConfigurationString(SettingsKeys::updatedipv4, "198.51.100.1");
    MyFunctions::setConfigurationString(SettingsKeys::updatedipv6, "2001:db8::1");
    try {
        interpretServerReply(inputs, MyFunctions::replyBodyText(bytes));
    } catch (const UnreadableReply&) {
        // The cycle guard's case: what was logged stays, nothing more happens.
    }

    const std::optional<QString> status = readableStatus(bytes);
    const QString log = ActivityLog::text();
    FUZZ_CHECK(log.size() <= ActivityLog::maximumLength);
    // An unreadable reply changes nothing that lasts.
    if (!status)
        FUZZ_CHECK(MyFunctions::getConfigurationString(SettingsKeys::updatedipv4) ==
                       "198.51.100.1" &&
                   !log.contains("Server response: "));
    // Success is reported for a status beginning with "good" only.
    if (log.contains("[good] IP address updated."))
        FUZZ_CHECK(status && status->toLower().startsWith("good"));
    return 0;
}
