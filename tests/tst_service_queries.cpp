#include "LocalProvider.h"
#include "service/AccountVerification.h"
#include "service/AddressDiscovery.h"
#include "service/ServiceQuery.h"

#include <QtTest>
#include <memory>

using namespace MyFunctions;
using Host = StandInProvider::Host;

class ServiceQueriesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<LocalProvider> provider_;

private slots:
    void initTestCase() { provider_ = std::make_unique<LocalProvider>(); }
    void init() { provider_->reset(); }
    void cleanupTestCase() { provider_.reset(); }

    void addressIsWhatFollowsIp_data() {
        QTest::addColumn<std::optional<QString>>("body");
        QTest::addColumn<QString>("address");
        QTest::newRow("address") << std::optional<QString>("ip203.0.113.7") << "203.0.113.7";
        QTest::newRow("not checked as an address") << std::optional<QString>("ipx") << "x";
        QTest::newRow("ip alone") << std::optional<QString>("ip") << "";
        QTest::newRow("capital IP") << std::optional<QString>("IP203.0.113.7") << "";
        QTest::newRow("leading blank") << std::optional<QString>(" ip203.0.113.7") << "";
        QTest::newRow("not UTF-8") << std::optional<QString>() << "";
    }
    void addressIsWhatFollowsIp() {
        QFETCH(std::optional<QString>, body);
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

    void md5HashIsLowerCaseHex_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("digest");
        QTest::newRow("empty: no digest") << QString("") << "";
        QTest::newRow("password") << QString("password") << "5f4dcc3b5aa765d61d8327deb882cf99";
        QTest::newRow("UTF-8 bytes") << QString("pässword") << "8e1843033a0f6ee52e2f618aa8ebbef4";
    }
    void md5HashIsLowerCaseHex() {
        QFETCH(QString, text);
        QFETCH(QString, digest);
        QCOMPARE(md5Hash(text), digest);
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
        std::optional<QString> message;
        getClientProfileWithGroup(username, password, group, result, message);
        QCOMPARE(provider_->requestLines(),
                 QStringList{"GET /nic/getclientprofilewithgroup?" + query + " HTTP/1.1"});
    }

    void profileReplyOutcomes_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<bool>("result");
        QTest::addColumn<std::optional<QString>>("message");
        const std::optional<QString> empty = QString(""), none;
        const auto wrapped = &StandInProvider::profileReplyBody;
        QTest::newRow("empty body") << QByteArray() << false << false << empty;
        QTest::newRow("not Base64") << QByteArray("not base64!") << false << false << empty;
        QTest::newRow("trailing line break") << wrapped(R"({"result":true})") + "\n"
                                             << false << false << empty;
        QTest::newRow("odd byte count: not UTF-16")
            << QByteArray("YWJj") << false << false << empty;
        QTest::newRow("decoded text is not JSON") << wrapped("Welcome!") << true << false << none;
        QTest::newRow("top level is an array")
            << wrapped(R"([{"result":true}])") << false << false << empty;
        QTest::newRow("no result, with message") << wrapped(R"({"message":"Wait."})") << true
                                                 << false << std::optional<QString>("Wait.");
        QTest::newRow("result true, no message")
            << wrapped(R"({"result":true})") << true << true << none;
        QTest::newRow("result false, message") << wrapped(R"({"result":false,"message":"No."})")
                                               << true << false << std::optional<QString>("No.");
        QTest::newRow("result null") << wrapped(R"({"result":null,"message":"m"})") << false
                                     << false << std::optional<QString>("m");
        QTest::newRow("result 1") << wrapped(R"({"result":1})") << true << true << none;
        QTest::newRow("result \"yes\"") << wrapped(R"({"result":"yes"})") << true << true << none;
        QTest::newRow("result \" +007\"")
            << wrapped(R"({"result":" +007"})") << true << true << none;
        QTest::newRow("result \"0.9\"") << wrapped(R"({"result":"0.9"})") << true << false << none;
        QTest::newRow("message a number")
            << wrapped(R"({"result":false,"message":42})") << true << false << none;
        QByteArray middleBar = wrapped(R"({"result":true})");
        middleBar[4] = '|';
        QTest::newRow("bar in the middle") << middleBar << false << false << empty;
    }
    void profileReplyOutcomes() {
        QFETCH(QByteArray, body);
        QFETCH(bool, answered);
        QFETCH(bool, result);
        QFETCH(std::optional<QString>, message);
        bool actualResult = false; // as the caller presets them
        std::optional<QString> actualMessage = QString("");
        QCOMPARE(readProfileReply(QString::fromUtf8(body), actualResult, actualMessage), answered);
        QCOMPARE(actualResult, result);
        QCOMPARE(actualMessage, message);
    }

    void groupCheckTakesOnlyTheTwoWords_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<bool>("verdict");
        QTest::newRow("true") << 200 << QByteArray("true") << true << true;
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
        QCOMPARE(provider_->requestLines(),
                 QStringList{"GET /nic/groupcheck?username=alice2024&password="
                             "dd945ab221b14e3be0d31fd4026f27eb&group=home HTTP/1.1"});
    }

    void groupCheckWithAnEmptyArgumentSendsNothing() {
        bool verdict = true;
        QVERIFY(!getLocationCheck("alice2024", "secret!", "", verdict));
        QVERIFY(!getLocationCheck("alice2024", "", "home", verdict));
        QVERIFY(!getLocationCheck("", "secret!", "home", verdict));
        QVERIFY(!verdict);
        QCOMPARE(provider_->requests().size(), 0);
    }
};

QTEST_GUILESS_MAIN(ServiceQueriesTest)
#include "tst_service_queries.moc"
