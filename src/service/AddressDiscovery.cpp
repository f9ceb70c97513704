#include "service/AddressDiscovery.h"

#include "service/ServiceEndpoints.h"
#include "service/ServiceQuery.h"
#include "service/Transport.h"

namespace MyFunctions {
namespace {

// The reply is "ip" and the address; whatever follows the prefix is taken as it is.
QString addressFromCheck(const QString& host) {
    std::optional<QString> httpResult;
    if (!urlExecute("https://" + host + "/ipcheck.asp", httpResult))
        return QString("");
    const QString body = cleanse(httpResult);
    if (body.size() < 3 || !body.startsWith(QLatin1String("ip")))
        return QString("");
    return body.mid(2);
}

} // namespace

QString getIPv4Address() {
    return addressFromCheck(ServiceClient::endpoints().ipv4Host);
}

QString getIPv6Address() {
    return addressFromCheck(ServiceClient::endpoints().ipv6Host);
}

} // namespace MyFunctions
