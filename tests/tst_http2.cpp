#include "CycleDriver.h"
#include "LocalProvider.h"
#include "TemporarySettingsStore.h"

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {

QString writeFile(const QTemporaryDir& folder, const QString& name, const QByteArray& content) {
    QFile file(folder.filePath(name));
    file.open(QIODevice::WriteOnly);
    file.write(content);
    return file.fileName();
}

quint16 freeLoopbackPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

bool accepts(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(100);
}

} // namespace

// An update cycle through an HTTP/2 front end of the stand-in's API host: the client speaks
// HTTP/2 wherever the server offers it.
class Http2Test : public QObject {
    Q_OBJECT

private slots:
    void requestsGoOutOverHttp2() {
        LocalProvider provider;
        provider.addAccount({"alice2024", "s3cret!Pw", {"home"}});
        const TemporarySettingsStore store;
        ActivityLog::create();
        TemporarySettingsStore::saveAccount("alice2024", "s3cret!Pw", "home");

        const QTemporaryDir folder;
        const QString accessLog = folder.filePath("access.log");
        const quint16 frontPort = freeLoopbackPort();
        const QString backPort = provider.endpoints().apiHost.section(':', 1);
        QProcess frontEnd;
        frontEnd.start("nghttpx",
                       {"--frontend=127.0.0.1," + QString::number(frontPort),
                        "--backend=127.0.0.1," + backPort + ";;tls;sni=localhost",
                        "--cacert=" + writeFile(folder, "ca.pem", provider.authority()),
                        "--workers=1", "--accesslog-file=" + accessLog,
                        "--accesslog-format=$alpn $request",
                        writeFile(folder, "key.pem", provider.serverKey()),
                        writeFile(folder, "certificate.pem", provider.serverCertificate())});
        QTRY_VERIFY_WITH_TIMEOUT(accepts(frontPort), 5000);

        ServiceEndpoints endpoints = provider.endpoints();
        endpoints.apiHost = "localhost:" + QString::number(frontPort);
        ServiceClient::configure(endpoints, provider.authority());
        QCOMPARE(CycleDriver::run(1)[0].block.value(3), QString("[good] IP address updated."));
        frontEnd.terminate();
        QVERIFY(frontEnd.waitForFinished(5000));

        QFile log(accessLog);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(
            QRegularExpression("^h2 GET /nic/clientupdate\\?.* HTTP/2$").match(lines[0]).hasMatch(),
            qPrintable(lines[0]));
    }
};

QTEST_GUILESS_MAIN(Http2Test)
#include "tst_http2.moc"
