#include "DataRow.h"
#include "service/ServiceEndpoints.h"
#include "update/ClientUpdate.h"

#include <QtTest>

using Lines = QStringList;
using Body = std::optional<QString>;

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
const QString unreadable = "the service's reply could not be read";

// A reply of the keyword with both addresses: the keyword's line (none when empty), whether
// the addresses are adopted, and the failure the tray shows (none when empty).
void keyword(const char* name, const QString& group, const QString& status, const QString& line,
             bool adopted, const QString& failure) {
    const Lines lines = Lines{sr + status} + (line.isEmpty() ? Lines() : Lines{line}) +
                        (adopted ? current : Lines());
    row(name, group, Body(reply(status, both)), lines, adopted ? bothRemembered : forgotten,
        QString(), failure, true);
}

} // namespace

class ClientUpdateTest : public QObject {
    Q_OBJECT

private slots:
    void replyMeaning_data() {
        QTest::addColumn<QString>("group");
        QTest::addColumn<Body>("body");
        QTest::addColumn<Lines>("lines");
        QTest::addColumn<Lines>("remembered"); // empty: left as they are
        QTest::addColumn<QString>("toolTip");  // null: none
        QTest::addColumn<QString>("failure");  // null: none
        QTest::addColumn<bool>("readable");
        const QString none;
        keyword("DNS Error", "home", "DNS Error",
                "[dnserr] IP update rescheduled due to fault on server side.", false,
                "fault on the service's side");
        keyword("911", "home", "911",
                "[911] IP update suspended temporarily due to scheduled maintenance on server "
                "side.",
                false, "the service is under maintenance");
        keyword("notfqdn", "home", "not fully qualified domain name",
                "[notfqdn] Domain name is not a fully qualified hostname.", true,
                "host name not fully qualified");
        keyword("abuse", "home", "abuse",
                "[abuse] IP address was not updated due to abusive IP update behaviour.", false,
                "updates blocked for abuse");
        keyword("no host, group of 2", "ab", "no host",
                "[nohost] No hostnames with group ab found.", true, "no host names found");
        keyword("no host, group of 1", "a", "No Host", "[nohost] No hostnames without group found.",
                true, "no host names found");
        keyword("too many hosts", "home", "too many hosts",
                "[numhost] Too many hosts (more than 20) specified in an update.", false,
                "too many hosts in one update");
        keyword("not member", "home", "not member",
                "[!donator] This option is only available for members.", false,
                "option only for members");
        keyword("bad authentication, group", "home", "bad authentication",
                "[badauth] Username alice2024, group home or password is invalid! Please check "
                "the settings and try again.",
                false, "user name or password rejected");
        keyword("Bad Authentication, no group", "", "Bad Authentication",
                "[badauth] Username alice2024 or password is invalid! Please check the settings "
                "and try again.",
                false, "user name or password rejected");
        keyword("old version", "home", "old version",
                "This version of Vorlin IP Update Client is outdated. Please visit " +
                    webPageUrl("") + " to obtain the current version.",
                false, "this client version is outdated");
        keyword("nochg matches nothing", "home", "nochg", "", false,
                "unexpected reply from the service");
        row("good", QString("home"), Body(reply("good", both)), Lines{sr + "good", good} + current,
            bothRemembered,
            online + "\r\nIPv4 Address -> 203.0.113.7\r\nIPv6 Address -> 2001:db8::7", none, true);
        row("GOOD and more text, IPv6 null", QString("home"),
            Body(reply("GOOD, 2 hosts",
                       R"(,"updatedIPv4Address":"203.0.113.7","updatedIPv6Address":null)")),
            Lines{sr + "GOOD, 2 hosts", good, current[0]}, Lines{"203.0.113.7", ""},
            online + "\r\nIPv4 Address -> 203.0.113.7", none, true);
        row("good, empty and absent addresses", QString("home"),
            Body(reply("good", R"(,"updatedIPv4Address":"")")), Lines{sr + "good", good}, forgotten,
            online, none, true);
        row("No Change, short IPv4 kept, not shown", QString("home"),
            Body(reply("No Change", R"(,"updatedIPv4Address":"1234")")),
            Lines{sr + "No Change", "[nochg] IP address was not updated due to no change."},
            Lines{"1234", ""}, none, none, true);
        row("empty body", QString("home"), Body(""), Lines(), untouched, none, unreadable, true);
        row("body not UTF-8", QString("home"), Body(), Lines(), untouched, none, unreadable, true);
        row("plain text", QString("home"), Body("OK"), Lines(), untouched, none, unreadable, false);
        row("statusCode a number", QString("home"), Body(R"({"statusCode":1})"), Lines(), untouched,
            none, unreadable, false);
        row("good, address a number", QString("home"),
            Body(reply("good", R"(,"updatedIPv4Address":42)")), Lines{sr + "good", good}, untouched,
            none, unreadable, false);
        row("no change, IPv6 an object", QString("home"),
            Body(reply("no change",
                       R"(,"updatedIPv4Address":"203.0.113.7","updatedIPv6Address":{})")),
            Lines{sr + "no change", "[nochg] IP address was not updated due to no change.",
                  current[0]},
            untouched, none, unreadable, false);
    }
    void replyMeaning() {
        QFETCH(QString, group);
        QFETCH(Body, body);
        QFETCH(Lines, lines);
        QFETCH(Lines, remembered);
        QFETCH(QString, toolTip);
        QFETCH(QString, failure);
        QFETCH(bool, readable);
        const UpdateCycleInputs inputs = {"alice2024", "s3cret!Pw", group, true, true, false};
        const ReplyMeaning meaning = ::replyMeaning(inputs, body);
        QCOMPARE(meaning.lines, lines);
        QCOMPARE(meaning.readable, readable);
        QCOMPARE(meaning.toolTip.value_or(QString()), toolTip);
        QCOMPARE(meaning.failure.value_or(QString()), failure);
        QCOMPARE(meaning.remembered.has_value(), !remembered.isEmpty());
        if (meaning.remembered)
            QCOMPARE((Lines{meaning.remembered->ipv4, meaning.remembered->ipv6}), remembered);
    }
};

QTEST_GUILESS_MAIN(ClientUpdateTest)
#include "tst_client_update.moc"
