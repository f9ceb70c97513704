#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>

// The provider's hosts, each "host" or "host:port".
struct ServiceEndpoints {
    QString apiHost;  // client update, profile and group checks
    QString ipv4Host; // public IPv4 address check
    QString ipv6Host; // public IPv6 address check
    QString webHost;  // the provider's web pages

    // The hosts this copy of the client was built for; defined apart from the core library
    // so that a test build can link other hosts and nothing else different.
    static ServiceEndpoints compiledIn();
};

// "https://<web host><path>": a page of the provider's web site; the home page for "".
QString webPageUrl(const QString& path);

// Which hosts the service client talks to, which certificate authorities (PEM) it trusts
// besides the system's, how long an exchange may take at most, its name lookup included, and
// how long the TLS sessions it resumes serve before every host's certificate is checked again
// in a full handshake. The program keeps the compiled-in hosts, the system's store alone,
// 10 seconds and a day; tests and the demo point the client at a local stand-in of the
// provider before any request is made.
namespace ServiceClient {

inline constexpr std::chrono::milliseconds defaultExchangeBound{10'000};
inline constexpr std::chrono::milliseconds defaultSessionLifetime = std::chrono::hours(24);

void configure(const ServiceEndpoints& endpoints, const QByteArray& extraCaCertificatesPem = {},
               std::chrono::milliseconds exchangeBound = defaultExchangeBound,
               std::chrono::milliseconds sessionLifetime = defaultSessionLifetime);
ServiceEndpoints endpoints();
QByteArray extraCaCertificatesPem();
std::chrono::milliseconds exchangeBound();
std::chrono::milliseconds sessionLifetime();

} // namespace ServiceClient
