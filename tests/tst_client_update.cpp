#include "CycleDriver.h"
#include "LocalProvider.h"
#include "RecordingDisplay.h"
#include "TemporarySettingsStore.h"
#include "service/ServiceQuery.h"
#include "settings/Settings.h"
#include "settings/UserDefaults.h"

#include <QtTest>
#include <chrono>
#include <memory>
#include <thread>

using namespace MyFunctions;
using namespace SettingsKeys;
using Host = StandInProvider::Host;

namespace {

const QString passwordDigest = md5Hash("s3cret!Pw");

QStringList announcement(const QString& group) {
    return {"IP address update initiated.",
            group.isEmpty()
                ? "Updating IP address for username alice2024."
                : "Updating IP address for username alice2024 and group " + group + "."};
}

QByteArray reply(const QByteArray& status, const QByteArray& more = {}) {
    return "{\"statusCode\":\"" + status + "\"" + more + "}";
}

const QByteArray bothAddresses =
    R"(,"updatedIPv4Address":"203.0.113.7","updatedIPv6Address":"2001:db8::7")";

} // namespace

class ClientUpdateTest : public QObject {
    Q_OBJECT

    std::unique_ptr<LocalProvider> provider_;
    std::unique_ptr<TemporarySettingsStore> store_;
    std::unique_ptr<RecordingDisplay> display_;

    static void saveAccount(const QString& group, bool ipv4 = true, bool ipv6 = true) {
        TemporarySettingsStore::saveAccount("alice2024", "s3cret!Pw", group, ipv4, ipv6);
    }

    QStringList updateRequests() const {
        return provider_->requestLines().filter("/nic/clientupdate?");
    }

private slots:
    void initTestCase() {
        provider_ = std::make_unique<LocalProvider>();
        provider_->addAccount({"alice2024", "s3cret!Pw", {"home", "ab", "a"}});
    }
    void init() {
        provider_->reset();
        store_ = std::make_unique<TemporarySettingsStore>();
        display_ = std::make_unique<RecordingDisplay>();
        ActivityLog::create();
        ActivityLog::setDisplay(display_.get());
        KeepSnoozing = 1;
    }
    void cleanup() {
        ActivityLog::setDisplay(nullptr);
        display_.reset();
        store_.reset();
    }
    void cleanupTestCase() { provider_.reset(); }

    void everyReplyKeyword_data() {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("outcome"); // after the announcement
        QTest::addColumn<QString>("rememberedIPv4");
        QTest::addColumn<QString>("rememberedIPv6");
        QTest::addColumn<QStringList>("toolTips");
        const QString online = "Vorlin Dynamic DNS Online!\r\n";
        const QString bothShown =
            online + "\r\nIPv4 Address -> 203.0.113.7\r\nIPv6 Address -> 2001:db8::7";
        const QStringList current = {"Current IPv4 Address: 203.0.113.7",
                                     "Current IPv6 Address: 2001:db8::7", ""};
        const QStringList none;

        QTest::newRow("good") << "home" << reply("good", bothAddresses)
                              << QStringList{"Server response: good",
                                             "[good] IP address updated."} +
                                     current
                              << "203.0.113.7"
                              << "2001:db8::7" << QStringList{bothShown};
        QTest::newRow("GOOD, IPv6 null")
            << "home"
            << reply("GOOD", R"(,"updatedIPv4Address":"203.0.113.7","updatedIPv6Address":null)")
            << QStringList{"Server response: GOOD", "[good] IP address updated.",
                           "Current IPv4 Address: 203.0.113.7", ""}
            << "203.0.113.7"
            << "" << QStringList{online + "\r\nIPv4 Address -> 203.0.113.7"};
        QTest::newRow("good with more text")
            << "" << reply("Good, 2 hosts updated", bothAddresses)
            << QStringList{"Server response: Good, 2 hosts updated", "[good] IP address updated."} +
                   current
            << "203.0.113.7"
            << "2001:db8::7" << QStringList{bothShown};
        QTest::newRow("good, empty and absent addresses")
            << "home" << reply("good", R"(,"updatedIPv4Address":"")")
            << QStringList{"Server response: good", "[good] IP address updated.", ""} << ""
            << "" << QStringList{online};
        QTest::newRow("nochg matches nothing") << "home" << reply("nochg", bothAddresses)
                                               << QStringList{"Server response: nochg", ""} << ""
                                               << "" << none;
        QTest::newRow("unknown word") << "home" << reply("whatever", bothAddresses)
                                      << QStringList{"Server response: whatever", ""} << ""
                                      << "" << none;
        QTest::newRow("dns error")
            << "home" << reply("DNS Error", bothAddresses)
            << QStringList{"Server response: DNS Error",
                           "[dnserr] IP update rescheduled due to fault on server side.", ""}
            << ""
            << "" << none;
        QTest::newRow("911") << "home" << reply("911", bothAddresses)
                             << QStringList{"Server response: 911",
                                            "[911] IP update suspended temporarily due to "
                                            "scheduled maintenance on server side.",
                                            ""}
                             << ""
                             << "" << none;
        QTest::newRow("not fully qualified domain name")
            << "home" << reply("not fully qualified domain name", bothAddresses)
            << QStringList{"Server response: not fully qualified domain name",
                           "[notfqdn] Domain name is not a fully qualified hostname."} +
                   current
            << "203.0.113.7"
            << "2001:db8::7" << none;
        QTest::newRow("No Change, short IPv4 kept but not shown")
            << "home" << reply("No Change", R"(,"updatedIPv4Address":"1234")")
            << QStringList{"Server response: No Change",
                           "[nochg] IP address was not updated due to no change.", ""}
            << "1234"
            << "" << none;
        QTest::newRow("abuse")
            << "home" << reply("abuse", bothAddresses)
            << QStringList{"Server response: abuse",
                           "[abuse] IP address was not updated due to abusive IP update behaviour.",
                           ""}
            << ""
            << "" << none;
        QTest::newRow("no host, group of 2")
            << "ab" << reply("no host", bothAddresses)
            << QStringList{"Server response: no host",
                           "[nohost] No hostnames with group ab found."} +
                   current
            << "203.0.113.7"
            << "2001:db8::7" << none;
        QTest::newRow("no host, group of 1")
            << "a" << reply("no host")
            << QStringList{"Server response: no host", "[nohost] No hostnames without group found.",
                           ""}
            << ""
            << "" << none;
        QTest::newRow("too many hosts")
            << "home" << reply("too many hosts", bothAddresses)
            << QStringList{"Server response: too many hosts",
                           "[numhost] Too many hosts (more than 20) specified in an update.", ""}
            << ""
            << "" << none;
        QTest::newRow("not member")
            << "home" << reply("not member", bothAddresses)
            << QStringList{"Server response: not member",
                           "[!donator] This option is only available for members.", ""}
            << ""
            << "" << none;
        QTest::newRow("bad authentication, with group")
            << "home" << reply("bad authentication")
            << QStringList{"Server response: bad authentication",
                           "[badauth] Username alice2024, group home or password is invalid! "
                           "Please check the settings and try again.",
                           ""}
            << ""
            << "" << none;
        QTest::newRow("bad authentication, without group")
            << "" << reply("Bad Authentication")
            << QStringList{"Server response: Bad Authentication",
                           "[badauth] Username alice2024 or password is invalid! Please check the "
                           "settings and try again.",
                           ""}
            << ""
            << "" << none;
        QTest::newRow("old version")
            << "home" << reply("old version", bothAddresses)
            << QStringList{"Server response: old version",
                           "This version of Vorlin IP Update Client is outdated. Please visit "
                           "https://@web@ to obtain the current version.",
                           ""}
            << ""
            << "" << none;
    }
    void everyReplyKeyword() {
        QFETCH(QString, group);
        QFETCH(QByteArray, body);
        QFETCH(QStringList, outcome);
        QFETCH(QString, rememberedIPv4);
        QFETCH(QString, rememberedIPv6);
        QFETCH(QStringList, toolTips);
        saveAccount(group);
        provider_->scriptReply("/nic/clientupdate", LocalProvider::reply(200, body));
        // The second cycle only shows whether the first one left a first update behind.
        provider_->scriptReply("/nic/clientupdate", LocalProvider::reply(200, reply("nochg")));
        outcome.replaceInStrings("@web@", provider_->endpoints().webHost);

        const auto cycles = CycleDriver::run(2);
        QCOMPARE(cycles[0].block, announcement(group) + outcome);
        QCOMPARE(cycles[0].rememberedIPv4, rememberedIPv4);
        QCOMPARE(cycles[0].rememberedIPv6, rememberedIPv6);
        QCoreApplication::processEvents();
        QCOMPARE(display_->toolTips, toolTips);

        const QStringList requests = updateRequests();
        QCOMPARE(requests.size(), 2);
        const bool firstUpdateNext = rememberedIPv4.isEmpty() && rememberedIPv6.isEmpty();
        QCOMPARE(requests[1].endsWith("&uin=1 HTTP/1.1"), firstUpdateNext);
    }

    void unreadableRepliesEndTheBlockEarly_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("outcome"); // after the announcement
        QTest::newRow("HTTP 500") << 500 << reply("good", bothAddresses) << QStringList{};
        QTest::newRow("plain text") << 200 << QByteArray("OK") << QStringList{};
        QTest::newRow("JSON array") << 200 << QByteArray(R"(["good"])") << QStringList{};
        QTest::newRow("no statusCode")
            << 200 << QByteArray(R"({"status":"good"})") << QStringList{};
        QTest::newRow("statusCode a number")
            << 200 << QByteArray(R"({"statusCode":1})") << QStringList{};
        QTest::newRow("empty body") << 200 << QByteArray() << QStringList{""};
        QTest::newRow("body not UTF-8") << 200 << QByteArray("\xff{}") << QStringList{""};
        QTest::newRow("good, address a number")
            << 200 << reply("good", R"(,"updatedIPv4Address":42)")
            << QStringList{"Server response: good", "[good] IP address updated."};
        QTest::newRow("no change, address an object")
            << 200 << reply("no change", R"(,"updatedIPv6Address":{})")
            << QStringList{"Server response: no change",
                           "[nochg] IP address was not updated due to no change."};
    }
    void unreadableRepliesEndTheBlockEarly() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QStringList, outcome);
        saveAccount("home");
        // The first cycle's update is accepted; the second gets the scripted reply.
        provider_->scriptReply("/nic/clientupdate",
                               LocalProvider::reply(200, reply("good", bothAddresses)));
        provider_->scriptReply("/nic/clientupdate", LocalProvider::reply(status, body));

        const auto cycles = CycleDriver::run(3);
        QCOMPARE(cycles[1].block, announcement("home") + outcome);
        QCOMPARE(cycles[1].rememberedIPv4, QString("203.0.113.7"));
        const QStringList requests = updateRequests();
        QCOMPARE(requests.size(), 3);
        QVERIFY(!requests[2].contains("uin=")); // the remembered addresses were left alone
    }

    void requestLineFollowsTheSettings_data() {
        QTest::addColumn<bool>("ipv4");
        QTest::addColumn<bool>("ipv6");
        QTest::addColumn<QString>("group");
        QTest::addColumn<bool>("ipv4DiscoveryFails");
        QTest::addColumn<QString>("query");
        const QString account = "username=alice2024&password=" + passwordDigest;
        QTest::newRow("both families")
            << true << true << "home" << false
            << account + "&location=home&myipv4=203.0.113.7&myipv6=2001:db8::7&uin=1";
        QTest::newRow("IPv4 off") << false << true << "home" << false
                                  << account + "&location=home&myipv4=no&myipv6=2001:db8::7&uin=1";
        QTest::newRow("IPv6 off") << true << false << "home" << false
                                  << account + "&location=home&myipv4=203.0.113.7&myipv6=no&uin=1";
        QTest::newRow("empty group")
            << true << true << "" << false
            << account + "&location=&myipv4=203.0.113.7&myipv6=2001:db8::7&uin=1";
        QTest::newRow("IPv4 discovery failed")
            << true << true << "home" << true
            << account + "&location=home&myipv4=&myipv6=2001:db8::7&uin=1";
        QTest::newRow("IPv4 off, its discovery failed")
            << false << true << "home" << true
            << account + "&location=home&myipv4=no&myipv6=2001:db8::7&uin=1";
    }
    void requestLineFollowsTheSettings() {
        QFETCH(bool, ipv4);
        QFETCH(bool, ipv6);
        QFETCH(QString, group);
        QFETCH(bool, ipv4DiscoveryFails);
        QFETCH(QString, query);
        saveAccount(group, ipv4, ipv6);
        if (ipv4DiscoveryFails)
            provider_->scriptReply("/ipcheck.asp", LocalProvider::reply(500), Host::IPv4Check);

        CycleDriver::run(1);
        QCOMPARE(updateRequests(), QStringList{"GET /nic/clientupdate?" + query + " HTTP/1.1"});
        // Both address checks run whatever the families chosen.
        QCOMPARE(provider_->requestLines(Host::IPv4Check).size(), 1);
        QCOMPARE(provider_->requestLines(Host::IPv6Check).size(), 1);
    }

    void wakeUpDuringTheWaitStartsTheNextCycleWithinASecond() {
        using namespace std::chrono;
        saveAccount("home");
        IPUpdateThread worker(requestClientUpdate);
        std::thread thread([&] { worker.process(); });

        QTRY_COMPARE_WITH_TIMEOUT(updateRequests().size(), 1, 5000);
        QTest::qWait(1500); // into the wait
        const auto cleared = steady_clock::now();
        KeepSnoozing = 0;
        QTRY_COMPARE_WITH_TIMEOUT(updateRequests().size(), 2, 3000);
        const auto latency = duration_cast<milliseconds>(steady_clock::now() - cleared);
        worker.setQuit(true);
        KeepSnoozing = 0;
        thread.join();
        QVERIFY2(latency < 1500ms, qPrintable(QString("%1 ms").arg(latency.count())));
    }
};

QTEST_GUILESS_MAIN(ClientUpdateTest)
#include "tst_client_update.moc"
