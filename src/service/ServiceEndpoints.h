#pragma once

#include <QList>
#include <QSslCertificate>
#include <QString>

// The provider's hosts, each "host" or "host:port".
struct ServiceEndpoints {
    QString apiHost;  // client update, profile and group checks
    QString ipv4Host; // public IPv4 address check
    QString ipv6Host; // public IPv6 address check
    QString webHost;  // the provider's web pages

    // The hosts this copy of the client was built for.
    static ServiceEndpoints compiledIn();
};

// "https://<web host><path>": a page of the provider's web site; the home page for "".
QString webPageUrl(const QString& path);

// Which hosts the service client talks to and which certificate authorities it trusts
// besides the system's. The program keeps the compiled-in hosts; tests and the demo point
// the client at a local stand-in of the provider before any request is made.
namespace ServiceClient {

void configure(const ServiceEndpoints& endpoints,
               const QList<QSslCertificate>& extraCaCertificates = {});
ServiceEndpoints endpoints();
QList<QSslCertificate> extraCaCertificates();

} // namespace ServiceClient
