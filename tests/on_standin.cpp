#include "service/ServiceEndpoints.h"
#include ON_STANDIN_HEADER

#include <QFile>

// The client or the companion as built (ON_STANDIN_RUN), against a stand-in provider that a
// test started: the test hands over the stand-in's hosts and authority in STANDIN_HOSTS
// ("api ipv4 ipv6") and STANDIN_CA (a file).
int main(int argc, char* argv[]) {
    const QStringList hosts = qEnvironmentVariable("STANDIN_HOSTS").split(' ');
    QFile authority(qEnvironmentVariable("STANDIN_CA"));
    if (hosts.size() != 3 || !authority.open(QIODevice::ReadOnly))
        qFatal("STANDIN_HOSTS and STANDIN_CA name no stand-in");
    ServiceClient::configure({hosts[0], hosts[1], hosts[2], hosts[0]}, authority.readAll());
    return ON_STANDIN_RUN(argc, argv);
}
