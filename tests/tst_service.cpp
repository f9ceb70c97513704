#include "CycleDriver.h"
#include "LocalProvider.h"
#include "TemporarySettingsStore.h"
#include "service/AccountVerification.h"
#include "service/AddressDiscovery.h"
#include "service/ServiceQuery.h"
#include "service/Transport.h"

#include <QElapsedTimer>
#include <QtTest>
#include <memory>
#include <thread>

using namespace MyFunctions;
using Host = StandInProvider::Host;
using Reply = StandInProvider::ScriptedReply;
using Text = std::optional<QString>;

Q_DECLARE_METATYPE(StandInProvider::ScriptedReply)

namespace {

Reply withReset(Reply reply) {
    reply.endWithReset = true;
    return reply;
}

} // namespace

// The exchanges with the provider's hosts, from one HTTPS request up to a whole update cycle.
class ServiceTest : public QObject {
    Q_OBJECT

    std::unique_ptr<LocalProvider> provider_;

private slots:
    void initTestCase() {
        provider_ = std::make_unique<LocalProvider>();
        provider_->addAccount({"alice2024", "s3cret!Pw", {"home"}});
    }
    void init() {
        provider_->reset();
        ServiceClient::configure(provider_->endpoints(), provider_->authority());
    }
    void cleanupTestCase() { provider_.reset(); }

    // Whatever the server does, the request goes out once: a fault is never retried.
    void onlyACompleteStatus200IsASuccess_data() {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<bool>("verdict");
        QTest::addColumn<Text>("body");
        const Text empty = QString("");
        Reply silent;
        silent.silent = true;
        Reply endless = LocalProvider::reply(200);
        endless.endless = true;
        Reply redirect = LocalProvider::reply(301);
        redirect.headers = {
            {"Location", "https://" + provider_->endpoints().ipv4Host.toLatin1() + "/ipcheck.asp"}};
        const QByteArray mebibyte(1024 * 1024, 'a');

        QTest::newRow("200") << LocalProvider::reply(200, "ip1.2.3.4") << true << Text("ip1.2.3.4");
        QTest::newRow("200, empty body") << LocalProvider::reply(200) << true << empty;
        QTest::newRow("200, ends inside a UTF-8 character")
            << LocalProvider::reply(200, "ip1.2.3.4\xec") << true << Text();
        QTest::newRow("200, exactly 1 MiB")
            << LocalProvider::reply(200, mebibyte) << true << Text(QString(mebibyte));
        QTest::newRow("200, 1 MiB and a byte")
            << LocalProvider::reply(200, mebibyte + 'a') << false << empty;
        QTest::newRow("200, endless body") << endless << false << empty;
        QTest::newRow("201") << LocalProvider::reply(201, "created") << false << empty;
        QTest::newRow("301 to another host") << redirect << false << empty;
        QTest::newRow("500 with an address")
            << LocalProvider::reply(500, "ip1.2.3.4") << false << empty;
        QTest::newRow("200, body shorter than announced")
            << LocalProvider::raw("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nip1.2.3.4")
            << false << empty;
        QTest::newRow("garbled status line")
            << LocalProvider::raw("HTTP/1.1 abc\r\n\r\nip1.2.3.4") << false << empty;
        QTest::newRow("closed without a reply") << LocalProvider::raw("\r\n") << false << empty;
        QTest::newRow("reset before the status line") << withReset(silent) << false << empty;
        QTest::newRow("reset in the body")
            << withReset(LocalProvider::raw("HTTP/1.1 200 OK\r\nContent-Length: 20\r\n\r\nip1."))
            << false << empty;
    }
    void onlyACompleteStatus200IsASuccess() {
        QFETCH(Reply, reply);
        QFETCH(bool, verdict);
        QFETCH(Text, body);
        provider_->scriptReply("/probe", reply);
        Text httpResult;
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
        Text httpResult;
        QVERIFY(!urlExecute("https://" + host + ':' + port + "/nic/clientupdate?password=x",
                            httpResult));
        QCOMPARE(httpResult, Text(""));
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
        Text httpResult;
        QVERIFY(urlExecute(provider_->apiUrl("/nic/groupcheck"), httpResult));
        QCOMPARE(provider_->proxyTargets(),
                 throughProxy ? QStringList{provider_->endpoints().apiHost} : QStringList());
        QCOMPARE(provider_->requests().size(), 1);
    }

    // A body that keeps coming, a byte at a time, still ends the exchange at 10 s: the bound
    // is on the whole exchange, not on each wait for data (and so on a silent server too).
    void exchangeEndsAfterTenSecondsWhateverTheServerDoes() {
        Reply dripping = LocalProvider::reply(200, QByteArray(100, 'x'));
        dripping.dripIntervalMilliseconds = 200; // 20 s for the whole body
        provider_->scriptReply("/slow", dripping);
        QElapsedTimer clock;
        clock.start();
        Text httpResult;
        QVERIFY(!urlExecute(provider_->apiUrl("/slow"), httpResult));
        QVERIFY2(clock.elapsed() >= 9'900 && clock.elapsed() < 11'500,
                 qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(httpResult, Text(""));
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
        Text workerResult, mainResult;
        std::thread worker([&] { urlExecute(provider_->apiUrl("/first"), workerResult); });
        urlExecute(provider_->apiUrl("/second"), mainResult);
        worker.join();
        QCOMPARE(workerResult, Text("ipfirst"));
        QCOMPARE(mainResult, Text("ipsecond"));
        QVERIFY2(clock.elapsed() < 1'100, qPrintable(QString::number(clock.elapsed())));
    }

    void addressIsWhatFollowsIp_data() {
        QTest::addColumn<Text>("body");
        QTest::addColumn<QString>("address");
        QTest::newRow("address") << Text("ip203.0.113.7") << "203.0.113.7";
        QTest::newRow("not checked as an address") << Text("ipx") << "x";
        QTest::newRow("ip alone") << Text("ip") << "";
        QTest::newRow("capital IP") << Text("IP203.0.113.7") << "";
        QTest::newRow("not UTF-8") << Text() << "";
    }
    void addressIsWhatFollowsIp() {
        QFETCH(Text, body);
        QFETCH(QString, address);
        QCOMPARE(addressFromCheckReply(body), address);
    }

    void eachFamilyAsksItsOwnHost() {
        provider_->setPublicAddresses("198.51.100.4", "2001:db8::4");
        QCOMPARE(getIPv4Address(), QString("198.51.100.4"));
        QCOMPARE(getIPv6Address(), QString("2001:db8::4"));
        provider_->scriptReply("/ipcheck.asp", LocalProvider::reply(500, "ip198.51.100.4"),
                               Host::IPv4Check);
        QCOMPARE(getIPv4Address(), QString(""));
        QCOMPARE(provider_->requestLines(Host::IPv6Check),
                 QStringList{"GET /ipcheck.asp HTTP/1.1"});
    }

    void md5HashIsLowerCaseHexOfUtf8() {
        QCOMPARE(md5Hash(""), QString(""));
        QCOMPARE(md5Hash("pässword"), QString("8e1843033a0f6ee52e2f618aa8ebbef4"));
    }

    void queryCarriesEachValueInItsOwnField_data() {
        QTest::addColumn<QString>("username");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("query");
        QTest::newRow("admitted values go verbatim")
            << "Alice2024"
            << "p&ss=w?rd#1"
            << "Home01"
            << "username=Alice2024&password=edfea67857a98694f00600d6685da37f&group=Home01";
        QTest::newRow("delimiters in a stored value are encoded")
            << "a&group=x#"
            << "password"
            << "g?h i"
            << "username=a%26group%3Dx%23&password=5f4dcc3b5aa765d61d8327deb882cf99"
               "&group=g%3Fh%20i";
    }
    void queryCarriesEachValueInItsOwnField() {
        QFETCH(QString, username);
        QFETCH(QString, password);
        QFETCH(QString, group);
        QFETCH(QString, query);
        bool result = true;
        Text message;
        getClientProfileWithGroup(username, password, group, result, message);
        QCOMPARE(provider_->requestLines(),
                 QStringList{"GET /nic/getclientprofilewithgroup?" + query + " HTTP/1.1"});
    }

    void profileReplyOutcomes_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<bool>("result");
        QTest::addColumn<Text>("message");
        const Text empty = QString(""), none;
        const auto wrapped = &StandInProvider::profileReplyBody;
        QByteArray middleBar = wrapped(R"({"result":true})");
        middleBar[4] = '|';
        QTest::newRow("empty body") << QByteArray() << false << false << empty;
        QTest::newRow("not Base64") << QByteArray("not base64!") << false << false << empty;
        QTest::newRow("bar in the middle") << middleBar << false << false << empty;
        QTest::newRow("odd byte count: not UTF-16")
            << QByteArray("YWJj") << false << false << empty;
        QTest::newRow("decoded text is not JSON") << wrapped("Welcome!") << true << false << none;
        QTest::newRow("array") << wrapped(R"([{"result":true}])") << false << false << empty;
        QTest::newRow("no result")
            << wrapped(R"({"message":"Wait."})") << true << false << Text("Wait.");
        QTest::newRow("result true") << wrapped(R"({"result":true})") << true << true << none;
        QTest::newRow("result null")
            << wrapped(R"({"result":null,"message":"m"})") << false << false << Text("m");
        QTest::newRow("result 1") << wrapped(R"({"result":1})") << true << true << none;
        QTest::newRow("result \" +007\"")
            << wrapped(R"({"result":" +007"})") << true << true << none;
        QTest::newRow("result \"0.9\"") << wrapped(R"({"result":"0.9"})") << true << false << none;
        QTest::newRow("message a number")
            << wrapped(R"({"result":false,"message":42})") << true << false << none;
    }
    void profileReplyOutcomes() {
        QFETCH(QByteArray, body);
        QFETCH(bool, answered);
        QFETCH(bool, result);
        QFETCH(Text, message);
        bool actualResult = false; // as the caller presets them
        Text actualMessage = QString("");
        QCOMPARE(readProfileReply(QString::fromUtf8(body), actualResult, actualMessage), answered);
        QCOMPARE(actualResult, result);
        QCOMPARE(actualMessage, message);
    }

    void groupCheckTakesOnlyTheTwoWords_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<bool>("verdict");
        QTest::newRow("TRUE") << 200 << QByteArray("TRUE") << true << true;
        QTest::newRow("False") << 200 << QByteArray("False") << true << false;
        QTest::newRow("yes") << 200 << QByteArray("yes") << false << false;
        QTest::newRow("true and a line break") << 200 << QByteArray("true\n") << false << false;
        QTest::newRow("status 500") << 500 << QByteArray("true") << false << false;
    }
    void groupCheckTakesOnlyTheTwoWords() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, answered);
        QFETCH(bool, verdict);
        provider_->scriptReply("/nic/groupcheck", LocalProvider::reply(status, body));
        bool actualVerdict = !verdict;
        QCOMPARE(getLocationCheck("alice2024", "secret!", "home", actualVerdict), answered);
        QCOMPARE(actualVerdict, verdict);
        QCOMPARE(provider_->requests().size(), 1);
    }

    void groupCheckWithAnEmptyArgumentSendsNothing() {
        bool verdict = true;
        QVERIFY(!getLocationCheck("alice2024", "secret!", "", verdict));
        QVERIFY(!getLocationCheck("alice2024", "", "home", verdict));
        QVERIFY(!getLocationCheck("", "secret!", "home", verdict));
        QVERIFY(!verdict);
        QCOMPARE(provider_->requests().size(), 0);
    }

    // An update request that fails on the wire, in the second of three cycles: the cycle
    // ends after its announcement, the remembered addresses stay, the next cycle runs.
    void failedUpdateRequestLeavesTheCycleAfterItsAnnouncement_data() {
        QTest::addColumn<QString>("apiHost"); // empty: the stand-in's own, resetting
        QTest::addColumn<int>("updateRequests");
        QTest::newRow("connection reset in the body") << QString() << 1;
        QTest::newRow("host name that does not resolve") << "api.vorlin.invalid" << 0;
    }
    void failedUpdateRequestLeavesTheCycleAfterItsAnnouncement() {
        QFETCH(QString, apiHost);
        QFETCH(int, updateRequests);
        const TemporarySettingsStore store;
        ActivityLog::create();
        TemporarySettingsStore::saveAccount("alice2024", "s3cret!Pw", "home");
        const auto updateRequestsSoFar = [&] {
            return provider_->requestLines().filter("/nic/clientupdate?").size();
        };
        qsizetype requestsBefore = 0, requestsInFaultyCycle = 0;
        const auto cycles = CycleDriver::run(3, [&](int done) {
            ServiceEndpoints endpoints = provider_->endpoints();
            if (done == 1 && !apiHost.isEmpty())
                endpoints.apiHost = apiHost;
            ServiceClient::configure(endpoints, provider_->authority());
            if (done == 1 && apiHost.isEmpty())
                provider_->scriptReply("/nic/clientupdate",
                                       withReset(LocalProvider::raw(
                                           "HTTP/1.1 200 OK\r\nContent-Length: 200\r\n\r\n{")));
            if (done == 1)
                requestsBefore = updateRequestsSoFar();
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

QTEST_GUILESS_MAIN(ServiceTest)
#include "tst_service.moc"
