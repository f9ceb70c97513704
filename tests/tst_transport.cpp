#include "LocalProvider.h"
#include "service/Transport.h"

#include <QElapsedTimer>
#include <QtTest>
#include <memory>
#include <thread>

using MyFunctions::urlExecute;
using Reply = StandInProvider::ScriptedReply;

Q_DECLARE_METATYPE(StandInProvider::ScriptedReply)

namespace {

Reply withReset(Reply reply) {
    reply.endWithReset = true;
    return reply;
}

} // namespace

class TransportTest : public QObject {
    Q_OBJECT

    std::unique_ptr<LocalProvider> provider_;

private slots:
    void initTestCase() { provider_ = std::make_unique<LocalProvider>(); }
    void init() {
        provider_->reset();
        ServiceClient::configure(provider_->endpoints(), provider_->authority());
    }
    void cleanupTestCase() { provider_.reset(); }

    // Whatever the server does, the request goes out once: a fault is never retried.
    void onlyACompleteStatus200IsASuccess_data() {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<bool>("verdict");
        QTest::addColumn<std::optional<QString>>("body");
        const std::optional<QString> empty = QString("");
        const std::optional<QString> noText;
        Reply silent;
        silent.silent = true;
        Reply endless = LocalProvider::reply(200);
        endless.endless = true;
        Reply redirect = LocalProvider::reply(301);
        redirect.headers = {
            {"Location", "https://" + provider_->endpoints().ipv4Host.toLatin1() + "/ipcheck.asp"}};

        QTest::newRow("200") << LocalProvider::reply(200, "ip203.0.113.7") << true
                             << std::optional<QString>("ip203.0.113.7");
        QTest::newRow("200, empty body") << LocalProvider::reply(200) << true << empty;
        QTest::newRow("200, not UTF-8")
            << LocalProvider::reply(200, "ip\xff\xfe") << true << noText;
        QTest::newRow("200, ends inside a UTF-8 character")
            << LocalProvider::reply(200, "ip1.2.3.4\xec") << true << noText;
        QTest::newRow("200, exactly 1 MiB")
            << LocalProvider::reply(200, QByteArray(1024 * 1024, 'a')) << true
            << std::optional<QString>(QString(1024 * 1024, 'a'));
        QTest::newRow("200, 1 MiB and a byte")
            << LocalProvider::reply(200, QByteArray(1024 * 1024 + 1, 'a')) << false << empty;
        QTest::newRow("200, endless body") << endless << false << empty;
        QTest::newRow("201") << LocalProvider::reply(201, "created") << false << empty;
        QTest::newRow("204") << LocalProvider::reply(204) << false << empty;
        QTest::newRow("301 to another host") << redirect << false << empty;
        QTest::newRow("404") << LocalProvider::reply(404, "ipx") << false << empty;
        QTest::newRow("500 with an address")
            << LocalProvider::reply(500, "ip1.2.3.4") << false << empty;
        QTest::newRow("200, body shorter than announced")
            << LocalProvider::raw("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nip1.2.3.4")
            << false << empty;
        QTest::newRow("garbled status line")
            << LocalProvider::raw("HTTP/1.1 abc\r\n\r\nip1.2.3.4") << false << empty;
        QTest::newRow("closed without a reply") << LocalProvider::raw("\r\n") << false << empty;
        QTest::newRow("reset before the status line") << withReset(silent) << false << empty;
        QTest::newRow("reset after the status line")
            << withReset(LocalProvider::raw("HTTP/1.1 200 OK\r\n")) << false << empty;
        QTest::newRow("reset in the body")
            << withReset(LocalProvider::raw("HTTP/1.1 200 OK\r\nContent-Length: 20\r\n\r\nip1."))
            << false << empty;
    }
    void onlyACompleteStatus200IsASuccess() {
        QFETCH(Reply, reply);
        QFETCH(bool, verdict);
        QFETCH(std::optional<QString>, body);
        provider_->scriptReply("/probe", reply);
        std::optional<QString> httpResult;
        QCOMPARE(urlExecute(provider_->apiUrl("/probe?a=1"), httpResult), verdict);
        QCOMPARE(httpResult, body);
        QCOMPARE(provider_->requestLines(), QStringList{"GET /probe?a=1 HTTP/1.1"});
        QCOMPARE(provider_->requests().size(), 1); // on no other host either
    }

    void failedCertificateCheckSendsNothing_data() {
        QTest::addColumn<bool>("trustStandInAuthority");
        QTest::addColumn<QString>("host");
        QTest::newRow("certificate from an unknown authority") << false << "localhost";
        QTest::newRow("certificate for another host name") << true << "127.0.0.1";
    }
    void failedCertificateCheckSendsNothing() {
        QFETCH(bool, trustStandInAuthority);
        QFETCH(QString, host);
        ServiceClient::configure(provider_->endpoints(),
                                 trustStandInAuthority ? provider_->authority() : QByteArray());
        const QString port = provider_->endpoints().apiHost.section(':', 1);
        std::optional<QString> httpResult;
        QVERIFY(!urlExecute("https://" + host + ':' + port + "/nic/clientupdate?password=x",
                            httpResult));
        QCOMPARE(httpResult, std::optional<QString>(""));
        QCOMPARE(provider_->requests().size(), 0);
    }

    void proxyFromTheEnvironmentIsUsed_data() {
        QTest::addColumn<QByteArray>("noProxy");
        QTest::addColumn<bool>("throughProxy");
        QTest::newRow("https_proxy set") << QByteArray() << true;
        QTest::newRow("https_proxy set, no_proxy=localhost") << QByteArray("localhost") << false;
    }
    void proxyFromTheEnvironmentIsUsed() {
        QFETCH(QByteArray, noProxy);
        QFETCH(bool, throughProxy);
        const auto restoreEnvironment = qScopeGuard([] {
            qunsetenv("https_proxy");
            qunsetenv("no_proxy");
        });
        qputenv("https_proxy", "http://127.0.0.1:" + QByteArray::number(provider_->proxyPort()));
        qputenv("no_proxy", noProxy);
        std::optional<QString> httpResult;
        QVERIFY(urlExecute(provider_->apiUrl("/nic/groupcheck"), httpResult));
        QCOMPARE(provider_->proxyTargets(),
                 throughProxy ? QStringList{provider_->endpoints().apiHost} : QStringList());
        QCOMPARE(provider_->requests().size(), 1);
    }

    void unreachableHostFails() {
        std::optional<QString> httpResult;
        QVERIFY(!urlExecute("https://localhost:1/ipcheck.asp", httpResult));
        QCOMPARE(httpResult, std::optional<QString>(""));
    }

    // A body that keeps coming, a byte at a time, still ends the exchange at 10 s: the bound
    // is on the whole exchange, not on each wait for data (and so on a silent server too).
    void exchangeEndsAfterTenSecondsWhateverTheServerDoes() {
        Reply dripping = LocalProvider::reply(200, QByteArray(100, 'x'));
        dripping.dripIntervalMilliseconds = 200; // 20 s for the whole body
        provider_->scriptReply("/slow", dripping);
        QElapsedTimer clock;
        clock.start();
        std::optional<QString> httpResult;
        QVERIFY(!urlExecute(provider_->apiUrl("/slow"), httpResult));
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= 9'900 && elapsed < 11'500, qPrintable(QString::number(elapsed)));
        QCOMPARE(httpResult, std::optional<QString>(""));
        QCOMPARE(provider_->requests().size(), 1);
    }

    void callsFromTwoThreadsRunSideBySide() {
        Reply slow = LocalProvider::reply(200, "ipfirst");
        slow.delayMilliseconds = 600;
        provider_->scriptReply("/first", slow);
        slow.body = "ipsecond";
        provider_->scriptReply("/second", slow);

        QElapsedTimer clock;
        clock.start();
        std::optional<QString> workerResult;
        bool workerVerdict = false;
        std::thread worker(
            [&] { workerVerdict = urlExecute(provider_->apiUrl("/first"), workerResult); });
        std::optional<QString> mainResult;
        const bool mainVerdict = urlExecute(provider_->apiUrl("/second"), mainResult);
        worker.join();

        QVERIFY(workerVerdict && mainVerdict);
        QCOMPARE(workerResult, std::optional<QString>("ipfirst"));
        QCOMPARE(mainResult, std::optional<QString>("ipsecond"));
        QVERIFY2(clock.elapsed() < 1'100, qPrintable(QString::number(clock.elapsed())));
    }
};

QTEST_GUILESS_MAIN(TransportTest)
#include "tst_transport.moc"
