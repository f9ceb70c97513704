// Runs the stand-in provider until it is stopped, for the demo and for trying the client by
// hand. Prints the endpoints and the file of the certificate authority to trust.
//
//   vorlin-standin [--account USER:PASSWORD[:GROUP,...]]... [--ca-file PATH]
//                  [--ports API,IPV4,IPV6] [--addresses API,IPV4,IPV6] [--names HOST,...]
//
// With the provider's own host names in the certificate and on loopback addresses of their
// own (which the hosts file names), it stands in for the provider as a program built with the
// real hosts sees it.

#include "StandInProvider.h"
#include "update/ProcessSignals.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>

namespace {

// "api,ipv4,ipv6", or nothing for free ports.
std::optional<StandInProvider::Ports> portsFrom(const QString& text) {
    StandInProvider::Ports ports{};
    if (text.isEmpty())
        return ports;
    const QStringList parts = text.split(',');
    if (parts.size() != int(ports.size()))
        return std::nullopt;
    for (size_t i = 0; i < ports.size(); ++i) {
        bool isNumber = false;
        ports[i] = parts[int(i)].toUShort(&isNumber);
        if (!isNumber)
            return std::nullopt;
    }
    return ports;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption account("account", "An account the stand-in knows.",
                                     "user:password[:group,...]");
    const QCommandLineOption caFile("ca-file", "Where to write the CA certificate (PEM).", "path");
    const QCommandLineOption ports("ports", "The hosts' loopback ports (default: free ones).",
                                   "api,ipv4,ipv6");
    const QCommandLineOption addresses(
        "addresses", "The hosts' loopback addresses (default: 127.0.0.1).", "api,ipv4,ipv6");
    const QCommandLineOption names("names", "The certificate's host names (default: localhost).",
                                   "host,...");
    parser.addOptions({account, caFile, ports, addresses, names});
    parser.process(application);

    const std::optional<StandInProvider::Ports> chosenPorts = portsFrom(parser.value(ports));
    const QStringList chosenAddresses = parser.value(addresses).split(',', Qt::SkipEmptyParts);
    if (!chosenPorts || (parser.isSet(addresses) && chosenAddresses.size() != 3)) {
        std::fprintf(stderr, "vorlin-standin: bad --ports or --addresses\n");
        return 2;
    }
    StandInProvider::Addresses listenOn;
    std::copy(chosenAddresses.begin(), chosenAddresses.end(), listenOn.begin());
    StandInProvider provider(parser.isSet(names) ? parser.value(names).split(',')
                                                 : QStringList{"localhost"},
                             *chosenPorts, listenOn);
    for (const QString& text : parser.values(account)) {
        const QStringList parts = text.split(':');
        if (parts.size() < 2) {
            std::fprintf(stderr, "vorlin-standin: bad --account %s\n", qPrintable(text));
            return 2;
        }
        provider.addAccount({parts[0], parts[1], parts.value(2).split(',', Qt::SkipEmptyParts)});
    }

    QTemporaryDir folder;
    const QString caPath =
        parser.isSet(caFile) ? parser.value(caFile) : folder.filePath("standin-ca.pem");
    QFile pem(caPath);
    if (!pem.open(QIODevice::WriteOnly) || pem.write(provider.authority()) < 0) {
        std::fprintf(stderr, "vorlin-standin: cannot write %s\n", qPrintable(caPath));
        return 1;
    }
    pem.close();

    const ServiceEndpoints endpoints = provider.endpoints();
    QTextStream out(stdout);
    out << "api=" << endpoints.apiHost << "\nipv4=" << endpoints.ipv4Host
        << "\nipv6=" << endpoints.ipv6Host << "\nca=" << caPath << Qt::endl;
    quitOnTerminationSignals({SIGTERM, SIGINT}); // so that the authority's folder goes
    return application.exec();
}
