// The profile check's reply, from the bytes of a status-200 body to the verdict.
#include "FuzzEnvironment.h"
#include "service/AccountVerification.h"
#include "service/Transport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = (setUpFuzzEnvironment(), true);
    (void)ready;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // Preset as the profile check presets them before its request.
    bool result = false;
    std::optional<QString> message = QString("");
    const bool answered =
        MyFunctions::readProfileReply(MyFunctions::replyBodyText(bytes), result, message);
    FUZZ_CHECK(answered || !result); // no verdict is never a "yes"
    return 0;
}
