#pragma once

#include <QSslCertificate>
#include <QSslKey>
#include <QStringList>

// A certificate authority made afresh on every start, and a server certificate it signed
// for the given DNS names, valid for a week from an hour ago or expired yesterday. Nothing is
// read from or kept on disk.
struct TestCertificates {
    enum class Validity { Current, Expired };

    QSslCertificate authority;
    QSslCertificate server;
    QSslKey serverKey;

    static TestCertificates generate(const QStringList& serverDnsNames,
                                     Validity serverValidity = Validity::Current);
};
