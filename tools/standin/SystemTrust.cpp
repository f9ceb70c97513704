#include "SystemTrust.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <sched.h>
#include <sys/mount.h>

namespace {

const QString hashedFolder = "/etc/ssl/certs";
const QString localAuthorities = "/usr/local/share/ca-certificates";

bool run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(60'000) && process.exitCode() == 0;
}

} // namespace

SystemTrust::SystemTrust(const QByteArray& authorityPem) {
    // A mount namespace of this thread's own: the machine's store, and every other process
    // and thread, never see the authority.
    static QTemporaryDir copy;
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        !run("cp", {"-a", hashedFolder + "/.", copy.path()}) ||
        ::mount(QFile::encodeName(copy.path()), QFile::encodeName(hashedFolder), nullptr, MS_BIND,
                nullptr) != 0 ||
        ::mount("none", QFile::encodeName(localAuthorities), "tmpfs", 0, nullptr) != 0)
        qFatal("no private copy of the certificate store");
    // None of the hooks: they write other stores (Java's) outside this namespace's copy.
    const QTemporaryDir hooks;
    QFile file(localAuthorities + "/vorlin-standin-test-authority.crt");
    if (!file.open(QIODevice::WriteOnly) || file.write(authorityPem) != authorityPem.size() ||
        (file.close(), !run("update-ca-certificates", {"--hooksdir", hooks.path()})))
        qFatal("cannot add the stand-in's authority");
}
