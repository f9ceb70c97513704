#include "service/ServiceEndpoints.h"

#include <mutex>

ServiceEndpoints ServiceEndpoints::compiledIn() {
    return {QStringLiteral(VORLIN_API_HOST), QStringLiteral(VORLIN_IPV4_HOST),
            QStringLiteral(VORLIN_IPV6_HOST), QStringLiteral(VORLIN_WEB_HOST)};
}

QString webPageUrl(const QString& path) {
    return "https://" + ServiceClient::endpoints().webHost + path;
}

namespace ServiceClient {
namespace {

struct Configuration {
    ServiceEndpoints endpoints = ServiceEndpoints::compiledIn();
    QList<QSslCertificate> extraCaCertificates;
};

// Read by the GUI and the worker thread alike.
std::mutex configurationMutex;
Configuration configuration;

} // namespace

void configure(const ServiceEndpoints& endpoints,
               const QList<QSslCertificate>& extraCaCertificates) {
    const std::lock_guard lock(configurationMutex);
    configuration = {endpoints, extraCaCertificates};
}

ServiceEndpoints endpoints() {
    const std::lock_guard lock(configurationMutex);
    return configuration.endpoints;
}

QList<QSslCertificate> extraCaCertificates() {
    const std::lock_guard lock(configurationMutex);
    return configuration.extraCaCertificates;
}

} // namespace ServiceClient
