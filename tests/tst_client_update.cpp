#include "CycleDriver.h"
#include "LocalProvider.h"
#include "RecordingDisplay.h"
#include "TemporarySettingsStore.h"
#include "service/ServiceEndpoints.h"
#include "service/ServiceQuery.h"

#include <QtTest>
#include <memory>

using Host = StandInProvider::Host;
using Lines = QStringList;

namespace {

QString reply(const QString& status, const QString& more = "") {
    return "{\"statusCode\":\"" + status + "\"" + more + "}";
}

const QString both = R"(,"updatedIPv4Address":"203.0.113.7","updatedIPv6Address":"2001:db8::7")";
const QString sr = "Server response: ";
const QString good = "[good] IP address updated.";
const Lines current = {"Current IPv4 Address: 203.0.113.7", "Current IPv6 Address: 2001:db8::7"};
const Lines bothRemembered = {"203.0.113.7", "2001:db8::7"}, forgotten = {"", ""}, untouched;
const QString online = "Vorlin Dynamic DNS Online!\r\n";
const QString bothShown = online + "\r\nIPv4 Address -> 203.0.113.7\r\nIPv6 Address -> 2001:db8::7";

UpdateCycleInputs account(const QString& group) {
    return {"alice2024", "s3cret!Pw", group, true, true, false};
}

} // namespace

class ClientUpdateTest : public QObject {
    Q_OBJECT

private slots:
    void replyMeaning_data() {
        QTest::addColumn<QString>("group");
        QTest::addColumn<std::optional<QString>>("body");
        QTest::addColumn<Lines>("lines");
        QTest::addColumn<Lines>("remembered"); // empty: left as they are
        QTest::addColumn<QString>("toolTip");  // null: none
        QTest::addColumn<bool>("readable");
        const auto row = [](const char* name, const QString& group, std::optional<QString> body,
                            const Lines& lines, const Lines& remembered,
                            const QString& toolTip = {}, bool readable = true) {
            QTest::newRow(name) << group << body << lines << remembered << toolTip << readable;
        };
        const auto nullIPv6 = R"(,"updatedIPv4Address":"203.0.113.7","updatedIPv6Address":null)";
        row("good", "home", reply("good", both), Lines{sr + "good", good} + current, bothRemembered,
            bothShown);
        row("GOOD, IPv6 null", "home", reply("GOOD", nullIPv6), {sr + "GOOD", good, current[0]},
            {"203.0.113.7", ""}, online + "\r\nIPv4 Address -> 203.0.113.7");
        row("good and more text", "", reply("Good, 2 hosts", both),
            Lines{sr + "Good, 2 hosts", good} + current, bothRemembered, bothShown);
        row("good, empty and absent addresses", "home",
            reply("good", R"(,"updatedIPv4Address":"")"), {sr + "good", good}, forgotten, online);
        row("nochg matches nothing", "home", reply("nochg", both), {sr + "nochg"}, forgotten);
        row("DNS Error", "home", reply("DNS Error", both),
            {sr + "DNS Error", "[dnserr] IP update rescheduled due to fault on server side."},
            forgotten);
        row("911", "home", reply("911", both),
            {sr + "911", "[911] IP update suspended temporarily due to scheduled maintenance on "
                         "server side."},
            forgotten);
        row("notfqdn", "home", reply("not fully qualified domain name", both),
            Lines{sr + "not fully qualified domain name",
                  "[notfqdn] Domain name is not a fully qualified hostname."} +
                current,
            bothRemembered);
        row("No Change, short IPv4 kept, not shown", "home",
            reply("No Change", R"(,"updatedIPv4Address":"1234")"),
            {sr + "No Change", "[nochg] IP address was not updated due to no change."},
            {"1234", ""});
        row("abuse", "home", reply("abuse", both),
            {sr + "abuse",
             "[abuse] IP address was not updated due to abusive IP update behaviour."},
            forgotten);
        row("no host, group of 2", "ab", reply("no host", both),
            Lines{sr + "no host", "[nohost] No hostnames with group ab found."} + current,
            bothRemembered);
        row("no host, group of 1", "a", reply("no host"),
            {sr + "no host", "[nohost] No hostnames without group found."}, forgotten);
        row("too many hosts", "home", reply("too many hosts", both),
            {sr + "too many hosts",
             "[numhost] Too many hosts (more than 20) specified in an update."},
            forgotten);
        row("not member", "home", reply("not member", both),
            {sr + "not member", "[!donator] This option is only available for members."},
            forgotten);
        row("bad authentication, group", "home", reply("bad authentication"),
            {sr + "bad authentication", "[badauth] Username alice2024, group home or password "
                                        "is invalid! Please check the settings and try again."},
            forgotten);
        row("Bad Authentication, no group", "", reply("Bad Authentication"),
            {sr + "Bad Authentication", "[badauth] Username alice2024 or password is invalid! "
                                        "Please check the settings and try again."},
            forgotten);
        row("old version", "home", reply("old version", both),
            {sr + "old version", "This version of Vorlin IP Update Client is outdated. Please "
                                 "visit " +
                                     webPageUrl("") + " to obtain the current version."},
            forgotten);
        row("empty body", "home", QString(""), {}, untouched);
        row("body not UTF-8", "home", std::nullopt, {}, untouched);
        row("plain text", "home", "OK", {}, untouched, {}, false);
        row("JSON array", "home", R"(["good"])", {}, untouched, {}, false);
        row("statusCode a number", "home", R"({"statusCode":1})", {}, untouched, {}, false);
        row("good, address a number", "home", reply("good", R"(,"updatedIPv4Address":42)"),
            {sr + "good", good}, untouched, {}, false);
        row("no change, IPv6 an object", "home",
            reply("no change", R"(,"updatedIPv4Address":"203.0.113.7","updatedIPv6Address":{})"),
            {sr + "no change", "[nochg] IP address was not updated due to no change.", current[0]},
            untouched, {}, false);
    }
    void replyMeaning() {
        QFETCH(QString, group);
        QFETCH(std::optional<QString>, body);
        QFETCH(Lines, lines);
        QFETCH(Lines, remembered);
        QFETCH(QString, toolTip);
        QFETCH(bool, readable);
        const ReplyMeaning meaning = ::replyMeaning(account(group), body);
        QCOMPARE(meaning.lines, lines);
        QCOMPARE(meaning.readable, readable);
        QCOMPARE(meaning.toolTip.value_or(QString()), toolTip);
        QCOMPARE(meaning.remembered.has_value(), !remembered.isEmpty());
        if (meaning.remembered)
            QCOMPARE((Lines{meaning.remembered->ipv4, meaning.remembered->ipv6}), remembered);
    }

    // A whole cycle over HTTPS per kind of outcome; the cycle before it was accepted.
    void cycleActsOnTheReply_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("body");
        QTest::addColumn<Lines>("block"); // after the announcement
        QTest::addColumn<bool>("firstUpdateNext");
        QTest::addColumn<int>("toolTips");
        QTest::newRow("accepted") << 200 << reply("good", both)
                                  << Lines{sr + "good", good} + current + Lines{""} << false << 2;
        QTest::newRow("not adopted")
            << 200 << reply("abuse")
            << Lines{sr + "abuse",
                     "[abuse] IP address was not updated due to abusive IP update behaviour.", ""}
            << true << 1;
        QTest::newRow("HTTP 500") << 500 << reply("good", both) << Lines{} << false << 1;
        QTest::newRow("empty body") << 200 << "" << Lines{""} << false << 1;
        QTest::newRow("unreadable") << 200 << "OK" << Lines{} << false << 1;
    }
    void cycleActsOnTheReply() {
        QFETCH(int, status);
        QFETCH(QString, body);
        QFETCH(Lines, block);
        QFETCH(bool, firstUpdateNext);
        QFETCH(int, toolTips);
        LocalProvider provider;
        provider.addAccount({"alice2024", "s3cret!Pw", {"home"}});
        TemporarySettingsStore store;
        RecordingDisplay display;
        ActivityLog::create();
        ActivityLog::setDisplay(&display);
        TemporarySettingsStore::saveAccount("alice2024", "s3cret!Pw", "home", false, true);
        provider.scriptReply("/nic/clientupdate",
                             LocalProvider::reply(200, reply("good", both).toUtf8()));
        provider.scriptReply("/nic/clientupdate", LocalProvider::reply(status, body.toUtf8()));
        // The third cycle only shows whether the second left a first update behind.
        provider.scriptReply("/nic/clientupdate", LocalProvider::reply(200, "{}"));

        // Each cycle's tooltip reaches the display before the next cycle begins.
        const auto cycles = CycleDriver::run(3, [](int) { QCoreApplication::processEvents(); });
        const Lines announcement = {"IP address update initiated.",
                                    "Updating IP address for username alice2024 and group home."};
        QCOMPARE(cycles[1].block, announcement + block);
        QCOMPARE(cycles[1].rememberedIPv4, firstUpdateNext ? "" : "203.0.113.7");
        QCOMPARE(cycles[1].rememberedIPv6, firstUpdateNext ? "" : "2001:db8::7");
        const Lines requests = provider.requestLines().filter("/nic/clientupdate?");
        // IPv4 not reported, IPv6 reported, first update after start-up.
        QCOMPARE(requests[0], "GET /nic/clientupdate?username=alice2024&password=" +
                                  MyFunctions::md5Hash("s3cret!Pw") +
                                  "&location=home&myipv4=no&myipv6=2001:db8::7&uin=1 HTTP/1.1");
        QCOMPARE(requests[2].contains("&uin=1"), firstUpdateNext);
        // Both addresses are looked up whatever the families reported.
        QCOMPARE(provider.requestLines(Host::IPv4Check).size(), 3);
        QCoreApplication::processEvents();
        QCOMPARE(display.toolTips.size(), toolTips);
        QCOMPARE(display.toolTips.last(), bothShown);
        ActivityLog::setDisplay(nullptr);
    }
};

QTEST_GUILESS_MAIN(ClientUpdateTest)
#include "tst_client_update.moc"
