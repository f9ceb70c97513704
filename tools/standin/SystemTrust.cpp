#include "SystemTrust.h"

#include <QFile>
#include <QProcess>

namespace {

const QString authorityPath = "/usr/local/share/ca-certificates/vorlin-standin-test-authority.crt";

void updateStore(const QStringList& arguments) {
    QProcess update;
    update.start("update-ca-certificates", arguments);
    update.waitForFinished(60'000);
}

} // namespace

SystemTrust::SystemTrust(const QByteArray& authorityPem) {
    QFile file(authorityPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(authorityPem) != authorityPem.size())
        qFatal("cannot write %s", qPrintable(authorityPath));
    file.close();
    updateStore({});
}

SystemTrust::~SystemTrust() {
    QFile::remove(authorityPath);
    updateStore({"--fresh"}); // a plain update leaves the removed authority's links
}
