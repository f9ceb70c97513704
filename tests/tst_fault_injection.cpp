#include "CycleDriver.h"
#include "LocalProvider.h"
#include "TemporarySettingsStore.h"

#include <QtTest>
#include <memory>

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
        ServiceClient::configure(provider_->endpoints(), provider_->authority());
        store_ = std::make_unique<TemporarySettingsStore>();
        ActivityLog::create();
        TemporarySettingsStore::saveAccount("alice2024", "s3cret!Pw", "home");
    }
    void cleanup() { store_.reset(); }
    void cleanupTestCase() { provider_.reset(); }

    void failedUpdateRequestLeavesTheCycleAfterItsAnnouncement_data() {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<QString>("apiHost"); // empty: the stand-in's own
        QTest::addColumn<int>("updateRequests");

        Reply resetAtOnce;
        resetAtOnce.silent = true;
        resetAtOnce.endWithReset = true;
        Reply resetInBody =
            LocalProvider::raw("HTTP/1.1 200 OK\r\nContent-Length: 200\r\n\r\n" + goodReply);
        resetInBody.endWithReset = true;
        Reply endless = LocalProvider::reply(200);
        endless.endless = true;
        QTest::newRow("connection reset before the reply") << resetAtOnce << QString() << 1;
        QTest::newRow("connection reset in the body") << resetInBody << QString() << 1;
        QTest::newRow("endless body, cut at 1 MiB") << endless << QString() << 1;
        QTest::newRow("host name that does not resolve") << Reply() << "api.vorlin.invalid" << 0;
    }
    void failedUpdateRequestLeavesTheCycleAfterItsAnnouncement() {
        QFETCH(Reply, reply);
        QFETCH(QString, apiHost);
        QFETCH(int, updateRequests);
        const ServiceEndpoints standIn = provider_->endpoints();
        qsizetype requestsBefore = 0;
        qsizetype requestsInFaultyCycle = 0;
        const auto updateRequestsSoFar = [&] {
            return provider_->requestLines().filter("/nic/clientupdate?").size();
        };
        const auto cycles = CycleDriver::run(3, [&](int done) {
            ServiceEndpoints endpoints = standIn;
            if (done == 1 && !apiHost.isEmpty())
                endpoints.apiHost = apiHost;
            ServiceClient::configure(endpoints, provider_->authority());
            if (done == 1) {
                if (apiHost.isEmpty())
                    provider_->scriptReply("/nic/clientupdate", reply);
                requestsBefore = updateRequestsSoFar();
            }
            if (done == 2)
                requestsInFaultyCycle = updateRequestsSoFar() - requestsBefore;
        });

        QCOMPARE(cycles[0].block.value(3), QString("[good] IP address updated."));
        QCOMPARE(cycles[1].block, (QStringList{"IP address update initiated.",
                                               "Updating IP address for username alice2024 and "
                                               "group home."}));
        QCOMPARE(requestsInFaultyCycle, updateRequests);
        QCOMPARE(cycles[1].rememberedIPv4, QString("203.0.113.7"));
        QCOMPARE(cycles[1].rememberedIPv6, QString("2001:db8::7"));
        QCOMPARE(cycles[2].block.value(2), QString("Server response: no change"));
        QVERIFY(!provider_->requestLines().filter("/nic/clientupdate?").last().contains("uin="));
    }
};

QTEST_GUILESS_MAIN(FaultInjectionTest)
#include "tst_fault_injection.moc"
