#include "CycleDriver.h"
#include "DataRow.h"
#include "LocalProvider.h"
#include "StandardErrorCapture.h"
#include "TemporarySettingsStore.h"
#include "account/SaveSettings.h"
#include "update/ClientUpdate.h"

#include <QtTest>

using namespace SettingsKeys;
using StoredState = QMap<QString, QString>;

namespace {

const QStringList savedLines = {"Settings have been saved.", ""};
const QString refusal = "Invalid username or password.";

// One Save: the entries, the profile check's reply and what the Save leaves.
struct SaveCase {
    QString name, secret, group;
    int profileStatus = 0; // 0: the stand-in answers for its accounts
    QByteArray profileJson;
    SaveOutcome outcome;
    QStringList logged;
    StoredState changed; // the keys that differ from the earlier Save's
    bool requestSent = false;
    bool workerRunning = false; // the Save comes between two of its cycles
};

} // namespace

Q_DECLARE_METATYPE(SaveCase)

// Save, the one operation behind the window's button and the companion's set-account.
class AccountTest : public QObject {
    Q_OBJECT

    LocalProvider provider_;

private slots:
    void initTestCase() { provider_.addAccount({"alice2024", "s3cret!Pw", {"home"}}); }

    // After an earlier Save of other settings. Only an accepted Save changes the account.
    void saveOutcomes_data() {
        columns<SaveCase>();
        const QString badName = "Please enter a valid username. [4-20 characters (0-9, a-z, A-Z)]";
        const QString badPassword = "Please enter a valid password. [4-20 characters "
                                    "(0-9a-zA-Z`~!@#$%^&*(){}[]-_=+|\\;:'\"<>,.?/)]";
        const QString badGroup = "home#1 is an invalid group! Please enter a valid group. "
                                 "[1-50 characters (0-9, a-z, A-Z)]";
        const QString pw = "s3cret!Pw", failed = "Authentication failed!";
        StoredState stored = {{username, "alice2024"},
                              {password, "enciphered:s3cret!Pw"},
                              {location, "home"},
                              {updatedipv4, ""},
                              {updatedipv6, ""}};
        using enum SaveOutcome;
        const auto save = [](const char* name, const SaveCase& values) { row(name, values); };
        save("name and password invalid",
             {"abc", "abc", "home", 0, "", InvalidUsername, QStringList{badName}, {}});
        save("password invalid",
             {"alice2024", "P\u00e4sswort1", "home", 0, "", InvalidPassword, {badPassword}, {}});
        save("group invalid", {"alice2024", pw, "home#1", 0, "", InvalidGroup, {badGroup}, {}});
        save("no answer", {"alice2024", pw, "home", 500, "", Unanswered,
                           QStringList{"Unable to authenticate!"}, StoredState(), true});
        save("refused with an empty message",
             {"alice2024", pw, "home", 200, R"({"result":false,"message":""})", Refused,
              QStringList{failed}, StoredState(), true});
        save("refused, no group, the worker running",
             {"alice2024", "wrong-pw", "", 0, "", Refused, {refusal}, StoredState(), true, true});
        save("saved", {"alice2024", pw, "home", 0, "", Saved, savedLines, stored, true});
        stored[location] = "";
        save("saved without a group",
             {"alice2024", pw, "", 0, "", Saved, savedLines, stored, true});
    }
    void saveOutcomes() {
        const auto [save] = fetch<SaveCase>();
        const TemporarySettingsStore store;
        provider_.reset();
        ActivityLog::create();
        KeepSnoozing = 1;
        TemporarySettingsStore::saveAccount("olduser1", "OldPass1", "oldgroup", false, false);
        MyFunctions::setConfigurationString(updatedipv4, "198.51.100.1");
        MyFunctions::setConfigurationString(updatedipv6, "2001:db8::1");
        if (save.profileStatus != 0)
            provider_.scriptReply(
                "/nic/getclientprofilewithgroup",
                LocalProvider::reply(save.profileStatus,
                                     StandInProvider::profileReplyBody(save.profileJson)));
        const auto saveAndCheck = [&] {
            StoredState expected = TemporarySettingsStore::state();
            expected.insert(save.changed);
            expected.insert(updateIPv4Address, "true"); // the choices are stored whatever comes
            const qsizetype entriesBefore = logEntries().size();
            QCOMPARE(saveSettings({save.name, save.secret, save.group, true, false}), save.outcome);
            QCOMPARE(logEntries().mid(entriesBefore), save.logged);
            QCOMPARE(TemporarySettingsStore::state(), expected);
            QCOMPARE(int(KeepSnoozing.load()), save.outcome == SaveOutcome::Saved ? 0 : 1);
        };
        if (!save.workerRunning)
            saveAndCheck();
        else
            runCycles(2, [&](int cyclesDone) {
                if (cyclesDone == 1)
                    saveAndCheck();
            });
        // A reply to a request sent before the Save keeps no addresses: the Save forgot the one it
        // was sent with (IPv4, then IPv6), or stored another group after a first update.
        const QStringList sentWith =
            save.group == "home" ? QStringList{"198.51.100.1", "2001:db8::1"} : QStringList{"", ""};
        for (int family = 0; save.outcome == SaveOutcome::Saved && family < 2; ++family) {
            interpretServerReply({"alice2024", save.secret, "home", true, true,
                                  family == 0 ? sentWith[0] : "", family == 1 ? sentWith[1] : ""},
                                 R"({"statusCode":"good","updatedIPv4Address":"203.0.113.7"})");
            QCOMPARE(UserDefaults::stringForKey(updatedipv4), "");
        }
        const QStringList checks =
            provider_.requestLines().filter("/nic/getclientprofilewithgroup");
        QCOMPARE(checks.size(), save.requestSent ? 1 : 0);
        // The account's fields in this order, the password as the MD5 digest of its bytes.
        QVERIFY(save.outcome != SaveOutcome::Saved || save.group.isEmpty() ||
                checks[0] == "GET /nic/getclientprofilewithgroup?username=alice2024&password="
                             "515e2fbbd31c992aedf690f205398f4d&group=home HTTP/1.1");
        // The worker goes on with the account it had: the same user name, digest and group.
        const QStringList updates = provider_.requestLines().filter("/nic/clientupdate");
        const auto account = [&](int cycle) { return updates.value(cycle).section('&', 0, 2); };
        QVERIFY(!save.workerRunning || (updates.size() == 2 && account(1) == account(0)));
        // After the first cycle every exchange resumes its host's TLS session, the Save's too.
        const QList<StandInProvider::Request> sent = provider_.requests();
        const auto resumed = [](const StandInProvider::Request& request) {
            return request.resumed;
        };
        QVERIFY(!save.workerRunning ||
                (sent.size() == 7 && std::all_of(sent.begin() + 3, sent.end(), resumed)));
    }

    // The journal's copy of a refusal hides a group as long as a password, as a word alone.
    void refusalCopyHidesOnlyTheGroupAsAWord_data() {
        columns<QString, QString, QString>(); // the group, the provider's message, its copy
        row("shorter than a password", QString("or"), refusal, refusal);
        row("a word, and inside one", QString("home"), QString("No group home in homes."),
            QString("No group <group> in homes."));
    }
    void refusalCopyHidesOnlyTheGroupAsAWord() {
        const auto [group, message, copy] = fetch<QString, QString, QString>();
        const TemporarySettingsStore store;
        provider_.reset();
        provider_.scriptReply("/nic/getclientprofilewithgroup",
                              LocalProvider::reply(200, StandInProvider::profileReplyBody(
                                                            "{\"result\":false,\"message\":\"" +
                                                            message.toUtf8() + "\"}")));
        StandardErrorCapture capture;
        QCOMPARE(saveSettings({"alice2024", "s3cret!Pw", group, true, true}), SaveOutcome::Refused);
        QVERIFY(capture.finish().endsWith(' ' + copy + "\r\n"));
    }
};

QTEST_MAIN(AccountTest)
#include "tst_account.moc"
