#include "LocalProvider.h"
#include "service/Transport.h"

#include <QTcpServer>
#include <QTcpSocket>
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

// A request through an HTTP/2 front end of the stand-in's API host: the client speaks
// HTTP/2 wherever the server offers it.
class Http2Test : public QObject {
    Q_OBJECT

private slots:
    void requestsGoOutOverHttp2() {
        LocalProvider provider;
        provider.scriptReply("/probe", LocalProvider::reply(200, "ip203.0.113.7"));
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

        std::optional<QString> body;
        QVERIFY(
            MyFunctions::urlExecute(QString("https://localhost:%1/probe").arg(frontPort), body));
        QCOMPARE(body, std::optional<QString>("ip203.0.113.7"));
        frontEnd.terminate();
        QVERIFY(frontEnd.waitForFinished(5000));

        QFile log(accessLog);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines, QStringList{"h2 GET /probe HTTP/2"});
    }
};

QTEST_GUILESS_MAIN(Http2Test)
#include "tst_http2.moc"
