// The address check's reply, from the bytes of a status-200 body to the address.
#include "FuzzEnvironment.h"
#include "service/AddressDiscovery.h"
#include "service/Transport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<QString> body = MyFunctions::replyBodyText(bytes);
    const QString address = MyFunctions::addressFromCheckReply(body);
    // Either nothing, or exactly what follows the "ip" of a long enough body.
    FUZZ_CHECK(address.isEmpty() || (body && body->startsWith("ip") && body->mid(2) == address));
    return 0;
}
