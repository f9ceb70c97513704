#include "service/ServiceEndpoints.h"

#include <mutex>

QString webPageUrl(const QString& path) {
    return "https://" + ServiceClient::endpoints().webHost + path;
}

namespace ServiceClient {
namespace {

struct Configuration {
    ServiceEndpoints endpoints = ServiceEndpoints::compiledIn();
    QByteArray extraCaCertificatesPem;
    std::chrono::milliseconds exchangeBound = defaultExchangeBound;
    std::chrono::milliseconds sessionLifetime = defaultSessionLifetime;
};

// Read by the GUI and the worker thread alike.
std::mutex configurationMutex;
Configuration configuration;

} // namespace

void configure(const ServiceEndpoints& endpoints, const QByteArray& extraCaCertificatesPem,
               std::chrono::milliseconds exchangeBound, std::chrono::milliseconds sessionLifetime) {
    const std::lock_guard lock(configurationMutex);
    configuration = {endpoints, extraCaCertificatesPem, exchangeBound, sessionLifetime};
}

ServiceEndpoints endpoints() {
    const std::lock_guard lock(configurationMutex);
    return configuration.endpoints;
}

QByteArray extraCaCertificatesPem() {
    const std::lock_guard lock(configurationMutex);
    return configuration.extraCaCertificatesPem;
}

std::chrono::milliseconds exchangeBound() {
    const std::lock_guard lock(configurationMutex);
    return configuration.exchangeBound;
}

std::chrono::milliseconds sessionLifetime() {
    const std::lock_guard lock(configurationMutex);
    return configuration.sessionLifetime;
}

} // namespace ServiceClient
