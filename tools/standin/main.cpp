// Runs the stand-in provider until it is stopped, for the demo and for trying the client by
// hand. Prints the endpoints and the file of the certificate authority to trust.
//
//   vorlin-standin [--account USER:PASSWORD[:GROUP,...]]... [--ca-file PATH]

#include "StandInProvider.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption account("account", "An account the stand-in knows.",
                                     "user:password[:group,...]");
    const QCommandLineOption caFile("ca-file", "Where to write the CA certificate (PEM).", "path");
    parser.addOptions({account, caFile});
    parser.process(application);

    StandInProvider provider;
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
    return application.exec();
}
