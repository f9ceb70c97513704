#pragma once

#include <QByteArray>
#include <QString>

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

// Which hosts the service client talks to and which certificate authorities (PEM) it trusts
// besides the system's. The program keeps the compiled-in hosts and the system's store
// alone; tests and the demo point the client at a local stand-in of the provider before any
// request is made.
namespace ServiceClient {

void configure(const ServiceEndpoints& endpoints, const QByteArray& extraCaCertificatesPem = {});
ServiceEndpoints endpoints();
QByteArray extraCaCertificatesPem();

} // namespace ServiceClient
