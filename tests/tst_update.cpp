#include "CycleDriver.h"
#include "DataRow.h"
#include "RecordingDisplay.h"
#include "TemporarySettingsStore.h"
#include "service/ServiceEndpoints.h"
#include "update/ProcessSignals.h"

#include <QtTest>
#include <chrono>
#include <csignal>
#include <memory>
#include <thread>

using namespace MyFunctions;
using namespace SettingsKeys;
using namespace std::chrono;
using Lines = QStringList;
using Body = std::optional<QString>;

namespace {

constexpr int cycleSeconds = IPUpdateThread::secondsBetweenCycles;

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

// A reply of the status with both addresses, for the group "home" unless given: the line
// it logs (none when empty), whether the addresses are adopted, the failure the tray shows.
void keyword(const QString& status, const QString& line, bool adopted, const QString& failure,
             const QString& group = "home") {
    const Lines lines = Lines{sr + status} + (line.isEmpty() ? Lines() : Lines{line}) +
                        (adopted ? current : Lines());
    const QString name = group == "home"   ? status
                         : group.isEmpty() ? status + ", no group"
                                           : status + ", group of " + QString::number(group.size());
    row(qPrintable(name), group, Body(reply(status, both)), lines,
        adopted ? bothRemembered : forgotten, QString(), failure, true);
}

// Runs the worker for 200 s with the trigger on clocks of its own, applying the script's
// events ("<second>:<event>"); the seconds at which cycles began, "?" where the network counted
// as down.
QString cycleStarts(const QString& script) {
    const auto wait = std::make_shared<SteppedWait>();
    const auto trigger =
        std::make_shared<EarlyCycleTrigger>(wait->clocks(), [wait] { wait->ring(); });
    QStringList starts;
    const auto apply = [&](int second) {
        for (const QString& event : script.split(' ', Qt::SkipEmptyParts)) {
            const QString what = event.section(':', 1);
            if (event.section(':', 0, 0).toInt() != second)
                continue;
            if (what == "offline" || what == "online")
                trigger->reachabilityChanged(what == "online");
            else if (what == "suspend")
                wait->sinceBoot += 1h;
            else if (what == "resume") // as logind reports it
                trigger->resumed();
            else if (what == "nap") // asleep for less than a resume takes
                wait->sinceBoot += 3s;
            else if (what == "save")
                KeepSnoozing = 0;
        }
    };
    apply(0); // as the program starts
    runWorker(
        [&](const UpdateCycleInputs&) {
            starts << QString::number(wait->awake / 1s) + (trigger->networkDown() ? "?" : "");
        },
        200, apply, trigger, wait);
    return starts.join(' ');
}

} // namespace

// The update worker's loop and the reading of the service's replies.
class UpdateTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TemporarySettingsStore> store_;

private slots:
    void init() {
        store_ = std::make_unique<TemporarySettingsStore>();
        TemporarySettingsStore::saveAccount("alice2024", "secret!", "home");
        ActivityLog::create();
        KeepSnoozing = 1;
    }
    void cleanup() { store_.reset(); }

    // The program's own wait ends at its time, or when set-account's signal rings.
    void signalEndsTheSystemWait() {
        SystemWait wait;
        wakeWorkerOnSignals();
        wait.until(wait.clocks().sinceBoot()); // due already: it takes any earlier ring along
        QElapsedTimer clock;
        clock.start();
        wait.until(wait.clocks().sinceBoot() + 200ms);
        QVERIFY(clock.elapsed() >= 199); // both clocks in whole milliseconds
        std::thread signaller([] {
            std::this_thread::sleep_for(100ms);
            ::raise(SIGUSR1);
        });
        snooze(30, wait);
        signaller.join();
        QVERIFY(clock.elapsed() < 10'000);
        QCOMPARE(int(KeepSnoozing.load()), 1);
    }

    // The tray learns of it: "not set up" unsaved or out of the keyring's reach, else a failure.
    void cycleWithoutUsableSettingsSendsAndLogsNothing_data() {
        columns<QString, QString, QString>(); // stored as, user name, password
        row("never saved", QString("never saved"), QString("alice2024"), QString("secret!"));
        row("user name of 3", QString("saved"), QString("ali"), QString("secret!"));
        row("password of 3", QString("saved"), QString("alice2024"), QString("abc"));
        row("keyring out of reach", QString("in a keyring"), QString("alice2024"), QString());
    }
    void cycleWithoutUsableSettingsSendsAndLogsNothing() {
        const auto [storedAs, username, password] = fetch<QString, QString, QString>();
        TemporarySettingsStore::saveAccount(username, password, "home");
        UserDefaults::setBool(saved, storedAs != "never saved");
        UserDefaults::setBool(passwordInKeyring, storedAs == "in a keyring");
        RecordingDisplay display;
        ActivityLog::setDisplay(&display);
        int stageCalls = 0;
        runWorker([&](const UpdateCycleInputs&) { ++stageCalls; }, 3 * cycleSeconds);
        QCoreApplication::processEvents(); // the display takes the newest of every cycle's
        ActivityLog::setDisplay(nullptr);
        QVERIFY(stageCalls == 0 && ActivityLog::text().isEmpty() && display.outcomes.size() == 1);
        QVERIFY(display.outcomes.last().setUp == (storedAs == "saved") &&
                !display.outcomes.last().succeeded);
    }

    // Addresses an earlier run left are forgotten as the worker starts; a cycle is a first
    // update while both are forgotten, and not while one is remembered.
    void firstUpdateFollowsTheRememberedAddresses_data() {
        columns<QString>(); // what an earlier run remembered
        row("an IPv4 address", updatedipv4);
        row("an IPv6 address alone", updatedipv6);
    }
    void firstUpdateFollowsTheRememberedAddresses() {
        const auto [remembered] = fetch<QString>();
        setConfigurationString(remembered, "198.51.100.7");
        QList<bool> firstUpdates;
        const auto stage = [&](const UpdateCycleInputs& inputs) {
            firstUpdates << inputs.firstUpdate();
            setConfigurationString(updatedipv6, firstUpdates.size() == 1 ? "2001:db8::7" : "");
        };
        runWorker(stage, 2 * cycleSeconds + 1); // a cycle every 120 s exactly: the third at the end
        QCOMPARE(firstUpdates, (QList<bool>{true, false, true}));
    }

    // Network changes and resumes end the wait early, yet no sooner than 30 s after a cycle.
    void earlyCycles_data() {
        columns<QString, QString>();
        row("nothing: the usual rhythm", "", "0 120");
        row("network back", "40:offline 50:online", "0 50 170");
        row("online without being offline", "50:online", "0 120");
        row("back 10 s after a cycle", "5:offline 10:online", "0 30 150");
        row("two changes 5 s apart: one cycle", "3:offline 5:online 8:offline 10:online",
            "0 30 150");
        row("resume, network back", "60:suspend 65:online", "0 65 185");
        row("resume, no report", "60:suspend", "0 75 195");
        row("resume told, no report", "60:resume", "0 75 195");
        row("start while connecting", "0:offline 8:online", "8 128");
        row("start while connecting, no report", "0:offline", "15? 135?");
        // On the clock that counts time asleep, which the nap moves on.
        row("a short nap is no resume", "60:nap", "0 117");
        row("Save is not held back", "5:save 20:offline 25:online", "0 5 35 155");
        row("Save while connecting: no fallback cycle after it", "0:offline 5:save", "5? 125?");
    }
    void earlyCycles() {
        const auto [script, starts] = fetch<QString, QString>();
        QCOMPARE(cycleStarts(script), starts);
    }

    // Each address goes out while its family is chosen, "no" in its place otherwise.
    void requestSendsTheChosenFamilies_data() {
        columns<bool, bool, QString>(); // IPv4 chosen, IPv6 chosen, what the request holds
        row("both", true, true, QString("&myipv4=203.0.113.7&myipv6=2001:db8::7&"));
        row("IPv4 alone", true, false, QString("&myipv4=203.0.113.7&myipv6=no&"));
        row("IPv6 alone", false, true, QString("&myipv4=no&myipv6=2001:db8::7&"));
        row("neither", false, false, QString("&myipv4=no&myipv6=no&"));
    }
    void requestSendsTheChosenFamilies() {
        const auto [ipv4, ipv6, sent] = fetch<bool, bool, QString>();
        const UpdateCycleInputs inputs = {"alice2024", "s3cret!Pw", "home", ipv4, ipv6, {}, {}};
        const QString url = clientUpdateUrl(inputs, "203.0.113.7", "2001:db8::7");
        QVERIFY2(url.contains(sent), qPrintable(url));
    }

    void replyMeaning_data() {
        // group, body; lines, addresses remembered (empty: left), tooltip, failure, goes on
        columns<QString, Body, Lines, Lines, QString, QString, bool>();
        const QString none;
        const QString badauth = " or password is invalid! Please check the settings and try again.";
        keyword("DNS Error", "[dnserr] IP update rescheduled due to fault on server side.", false,
                "fault on the service's side");
        keyword(
            "911",
            "[911] IP update suspended temporarily due to scheduled maintenance on server side.",
            false, "the service is under maintenance");
        keyword("too many hosts", "[numhost] Too many hosts (more than 20) specified in an update.",
                false, "too many hosts in one update");
        keyword("old version",
                "This version of Vorlin IP Update Client is outdated. Please visit " +
                    webPageUrl("") + " to obtain the current version.",
                false, "this client version is outdated");
        keyword("not fully qualified domain name",
                "[notfqdn] Domain name is not a fully qualified hostname.", true,
                "host name not fully qualified");
        keyword("no host", "[nohost] No hostnames with group ab found.", true,
                "no host names found", "ab");
        keyword("No Host", "[nohost] No hostnames without group found.", true,
                "no host names found", "a");
        keyword("not member", "[!donator] This option is only available for members.", false,
                "option only for members");
        keyword("bad authentication", "[badauth] Username alice2024, group home" + badauth, false,
                "user name or password rejected");
        keyword("Bad Authentication", "[badauth] Username alice2024" + badauth, false,
                "user name or password rejected", "");
        keyword("nochg", "", false, "unexpected reply from the service");
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
        const auto [group, body, lines, remembered, toolTip, failure, readable] =
            fetch<QString, Body, Lines, Lines, QString, QString, bool>();
        const UpdateCycleInputs inputs = {"alice2024", "s3cret!Pw", group, true, true, {}, {}};
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

QTEST_GUILESS_MAIN(UpdateTest)
#include "tst_update.moc"
