#include "CycleDriver.h"
#include "LocalProvider.h"
#include "TemporarySettingsStore.h"

#include <QtTest>
#include <memory>

using Host = StandInProvider::Host;
using Reply = StandInProvider::ScriptedReply;

Q_DECLARE_METATYPE(StandInProvider::ScriptedReply)

namespace {

const QByteArray goodReply =
    R"({"statusCode":"good","updatedIPv4Address":"203.0.113.7","updatedIPv6Address":"2001:db8::7"})";

} // namespace

// Every way the update request can fail on the wire, in the second of three cycles: the
// cycle ends after its announcement, the remembered addresses stay, the next cycle runs.
class FaultInjectionTest : public QObject {
    Q_OBJECT

    std::unique_ptr<LocalProvider> provider_;
    std::unique_ptr<TemporarySettingsStore> store_;

private slots:
    void initTestCase() {
        provider_ = std::make_unique<LocalProvider>();
        provider_->addAccount({"alice2024", "s3cret!Pw", {"home"}});
    }
    void init() {
        provider_->reset();
        ServiceClient::configure(provider_->endpoints(), {provider_->authority()});
        store_ = std::make_unique<TemporarySettingsStore>();
        ActivityLog::create();
        TemporarySettingsStore::saveAccount("alice2024", "s3cret!Pw", "home");
    }
    void cleanup() { store_.reset(); }
    void cleanupTestCase() { provider_.reset(); }

    void failedUpdateRequestLeavesTheCycleAfterItsAnnouncement_data() {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<QString>("apiHost"); // empty: the stand-in's own
        const QString port = provider_->endpoints().apiHost.section(':', 1);

        Reply reset = LocalProvider::reply(200, goodReply);
        reset.resetAfterBodyBytes = 20;
        QTest::newRow("connection reset in the body") << reset << QString();
        QTest::newRow("TLS handshake fails: certificate for another name")
            << Reply() << "127.0.0.1:" + port;
        QTest::newRow("host name that does not resolve") << Reply() << "api.vorlin.invalid";
        QTest::newRow("malformed status line")
            << LocalProvider::raw("HTTP/1.1 OK\r\nContent-Length: 2\r\n\r\n{}") << QString();
        QTest::newRow("body announced longer than sent")
            << LocalProvider::raw("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + goodReply)
            << QString();
        Reply endless = LocalProvider::reply(200);
        endless.endless = true;
        QTest::newRow("endless body, cut at 1 MiB") << endless << QString();
        Reply dripping = LocalProvider::reply(200, QByteArray(200, ' ') + goodReply);
        dripping.dripIntervalMilliseconds = 100;
        QTest::newRow("dripping body, cut at 10 s") << dripping << QString();
    }
    void failedUpdateRequestLeavesTheCycleAfterItsAnnouncement() {
        QFETCH(Reply, reply);
        QFETCH(QString, apiHost);
        const ServiceEndpoints standIn = provider_->endpoints();
        const auto cycles = CycleDriver::run(3, [&](int done) {
            ServiceEndpoints endpoints = standIn;
            if (done == 1 && !apiHost.isEmpty())
                endpoints.apiHost = apiHost;
            ServiceClient::configure(endpoints, {provider_->authority()});
            // A fault that lasts: Qt's HTTP layer sends a request again, up to three times,
            // when the connection fails before a whole status line came.
            if (done == 1 && apiHost.isEmpty())
                for (int attempt = 0; attempt < 4; ++attempt)
                    provider_->scriptReply("/nic/clientupdate", reply);
            if (done == 2)
                provider_->reset(); // and then it is over
        });

        QCOMPARE(cycles[0].block.value(3), QString("[good] IP address updated."));
        QCOMPARE(cycles[1].block, (QStringList{"IP address update initiated.",
                                               "Updating IP address for username alice2024 and "
                                               "group home."}));
        QCOMPARE(cycles[1].rememberedIPv4, QString("203.0.113.7"));
        QCOMPARE(cycles[1].rememberedIPv6, QString("2001:db8::7"));
        QCOMPARE(cycles[2].block.value(2), QString("Server response: no change"));
        QVERIFY(!provider_->requestLines().filter("/nic/clientupdate?").last().contains("uin="));
    }

    void redirectToAnotherHostIsNotFollowed() {
        Reply redirect = LocalProvider::reply(301);
        redirect.headers = {{"Location", "https://" + provider_->endpoints().ipv4Host.toLatin1() +
                                             "/nic/clientupdate?username=alice2024"}};
        provider_->scriptReply("/nic/clientupdate", redirect);
        const auto cycles = CycleDriver::run(2);
        QCOMPARE(cycles[0].block.size(), 2);
        QCOMPARE(cycles[1].block.value(3), QString("[good] IP address updated."));
        // The other host saw its address checks only.
        QCOMPARE(provider_->requestLines(Host::IPv4Check),
                 QStringList(2, "GET /ipcheck.asp HTTP/1.1"));
    }
};

QTEST_GUILESS_MAIN(FaultInjectionTest)
#include "tst_fault_injection.moc"
