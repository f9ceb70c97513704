#include "service/AddressDiscovery.h"

#include "service/ServiceEndpoints.h"
#include "service/ServiceQuery.h"
#include "service/Transport.h"

namespace MyFunctions {
namespace {

QString addressFromCheck(const QString& host) {
    std::optional<QString> httpResult;
    if (!urlExecute("https://" + host + "/ipcheck.asp", httpResult))
        return QString("");
    return addressFromCheckReply(httpResult);
}

} // namespace

QString getIPv4Address() {
    return addressFromCheck(ServiceClient::endpoints().ipv4Host);
}

QString getIPv6Address() {
    return addressFromCheck(ServiceClient::endpoints().ipv6Host);
}

QString addressFromCheckReply(const std::optional<QString>& body) {
    const QString text = cleanse(body);
    if (text.size() < 3 || !text.startsWith(QLatin1String("ip")))
        return QString("");
    return text.mid(2);
}

} // namespace MyFunctions
