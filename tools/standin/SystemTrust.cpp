#include "SystemTrust.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace {

const QString authorityPath = "/usr/local/share/ca-certificates/vorlin-standin-test-authority.crt";
const QString hashedFolder = "/etc/ssl/certs";
const QString authorityLink = hashedFolder + "/vorlin-standin-test-authority.pem";

void updateStore() {
    QProcess update;
    update.start("update-ca-certificates", {});
    update.waitForFinished(60'000);
}

} // namespace

SystemTrust::SystemTrust(const QByteArray& authorityPem) {
    QFile file(authorityPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(authorityPem) != authorityPem.size())
        qFatal("cannot write %s", qPrintable(authorityPath));
    file.close();
    updateStore();
}

SystemTrust::~SystemTrust() {
    QFile::remove(authorityPath);
    // The update takes it out of the bundle but leaves its links in the hashed folder, which
    // a --fresh update would rebuild whole, at three times the cost.
    updateStore();
    for (const QFileInfo& entry : QDir(hashedFolder).entryInfoList(QDir::Files | QDir::System))
        if (entry.symLinkTarget() == authorityLink)
            QFile::remove(entry.filePath());
    QFile::remove(authorityLink);
}
