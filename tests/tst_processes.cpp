#include "CycleDriver.h"
#include "DataRow.h"
#include "Files.h"
#include "LocalProvider.h"
#include "NotificationServer.h"
#include "StandardErrorCapture.h"
#include "SystemTrust.h"
#include "XDisplay.h"
#include "account/SaveSettings.h"
#include "service/Transport.h"

#include <QtDBus>
#include <QtTest>
#include <csignal>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

const QString prompt = "Please enter your username and password.";
const StandInProvider::Account account{"alice2024", "s3cret!Pw", {"home"}};

// A running copy of one of the programs, with a config folder of its own.
class RunningClient {
public:
    RunningClient(const QString& program, const QStringList& arguments, const QString& home,
                  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment(),
                  const XDisplay* display = nullptr) {
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        if (display)
            environment = display->environment(environment);
        environment.insert("XDG_CONFIG_HOME", home + "/config");
        environment.insert("SSLKEYLOGFILE", home + "/tls-keys"); // never to be written
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
    }
    ~RunningClient() {
        process.kill();
        process.waitForFinished();
    }

    // What the copy has logged so far: its log goes to standard error.
    const QString& logged() {
        errors += QString::fromUtf8(process.readAllStandardError());
        return errors;
    }

    // Whether the signal ends the copy normally, with status 0, within the time.
    bool endsOn(int signal, int milliseconds) {
        QElapsedTimer clock;
        clock.start();
        ::kill(process.processId(), signal);
        return process.waitForFinished(milliseconds) && clock.elapsed() < milliseconds &&
               process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    QProcess process;
    QString errors;
};

class Companion {
public:
    Companion(const StandInProvider& provider, const QString& folder) : folder_(folder) {
        QDir().mkpath(folder);
        const ServiceEndpoints hosts = provider.endpoints();
        environment_.insert("STANDIN_HOSTS",
                            hosts.apiHost + ' ' + hosts.ipv4Host + ' ' + hosts.ipv6Host);
        environment_.insert("STANDIN_CA",
                            writeFile(authority_.filePath("ca.pem"), provider.authority()));
        ::chmod(qPrintable(authority_.path()), 0755); // for another user's commands too
    }

    // Starts `run`, its standard error a file it takes for the journal; its process id.
    // Orphaned, its parent never reaps it.
    qint64 startRun(QProcess& process, const QString& errorFile,
                    const QString& program = COMPANION_PROGRAM, bool orphaned = false) const {
        writeFile(errorFile, {});
        struct stat error = {};
        ::stat(QFile::encodeName(errorFile), &error);
        QProcessEnvironment environment = environment_;
        environment.insert("JOURNAL_STREAM", QString("%1:%2").arg(error.st_dev).arg(error.st_ino));
        process.setProcessEnvironment(environment);
        process.setStandardErrorFile(errorFile, QIODevice::Append);
        const QStringList arguments = {"--settings-dir", folder_, "run"};
        if (!orphaned) {
            process.start(program, arguments);
            return process.processId();
        }
        process.start("sh", QStringList{"-c", "\"$0\" \"$@\" & echo $!; exec sleep 600", program} +
                                arguments);
        process.waitForReadyRead();
        return process.readAllStandardOutput().trimmed().toLongLong();
    }

    // Runs a command to its end (through a runner such as setpriv, when given): its exit status
    // and what it wrote (or printed, when told; nothing when its output goes to a file).
    QPair<int, QString> finish(const QStringList& arguments, const QByteArray& input = {},
                               QProcess::ProcessChannelMode channels = QProcess::MergedChannels,
                               const QString& output = {}, const QStringList& runner = {}) const {
        QProcess process;
        process.setProcessEnvironment(environment_);
        process.setProcessChannelMode(channels);
        if (!output.isEmpty())
            process.setStandardOutputFile(output);
        const QStringList command =
            runner + QStringList{COMPANION_PROGRAM, "--settings-dir", folder_} + arguments;
        process.start(command.first(), command.mid(1));
        process.write(input);
        process.closeWriteChannel();
        process.waitForFinished(20'000);
        return {process.exitCode(), QString::fromUtf8(process.readAll())};
    }

    const QProcessEnvironment& environment() const { return environment_; }
    const QString& folder() const { return folder_; }
    int status() const { return finish({"status"}).first; }
    int saveAccount() const {
        return finish({"set-account", "--username", account.username}, "s3cret!Pw\n").first;
    }

private:
    QString folder_;
    QTemporaryDir authority_; // beside the settings, wherever they are
    QProcessEnvironment environment_ = QProcessEnvironment::systemEnvironment();
};

// A home, an X display (with a tray or without), the stand-in that knows the account, and the
// companion on the home's settings.
struct Scene {
    explicit Scene(bool tray) : display(tray) { provider.addAccount(account); }
    QTemporaryDir home;
    XDisplay display;
    StandInProvider provider;
    Companion companion{provider, home.filePath("config")};
};

// The lines a program wrote to a file (the last may be in part, and empty ones are left out).
QStringList linesOf(const QString& path) {
    return QString::fromUtf8(readFile(path)).split('\n', Qt::SkipEmptyParts);
}

// The samples that python3-prometheus-client's parser reads (see the script).
QString parsedMetrics(const QString& exposition) {
    QProcess parser;
    parser.start("/usr/bin/python3", {PARSE_METRICS, exposition});
    parser.waitForFinished();
    return QString::fromUtf8(parser.readAllStandardOutput()).trimmed();
}

// What status should write there: the account's labels when set up, the updater, the cycle's.
QString metrics(bool setUp, const QString& updater, const QString& cycle = {}) {
    const QString on = setUp ? "1.0" : "0.0", family = "; address_family_updated{family=ipv";
    return "info{group=,updater=" + updater + ",username=" + (setUp ? account.username : "") +
           "} 1.0" + family + "4} " + on + family + "6} " + on + cycle;
}

// Whether the JSON value holds each member named in the expected one, "recent" a time with its
// offset within five minutes of now.
bool holds(const QJsonValue& value, const QJsonValue& expected) {
    const QStringList names = expected.toObject().keys();
    if (expected.isObject())
        return std::all_of(names.begin(), names.end(), [&](const QString& name) {
            return value.toObject().contains(name) && holds(value[name], expected[name]);
        });
    const QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODate);
    return expected == "recent" ? time.timeSpec() != Qt::LocalTime &&
                                      qAbs(time.secsTo(QDateTime::currentDateTime())) < 300
                                : value == expected;
}

} // namespace

// The tests that start other programs, which ThreadSanitizer cannot follow.
class ProcessesTest : public QObject {
    Q_OBJECT

    QTemporaryDir home_;

    // Save as the window does it, with IPv4 alone reported.
    static SaveOutcome saveAccount() {
        ActivityLog::create();
        return saveSettings(
            {account.username, account.password, account.groups.first(), true, false});
    }

private slots:
    void initTestCase() {
        // The settings store's real place, in a home of the test's own.
        qputenv("HOME", home_.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", home_.filePath(".config").toUtf8());
    }

    // The program as installed, with loopback hosts, trusts the system's store alone: nothing
    // goes to the stand-in until its authority is there. On a thread of the test's own mount
    // namespace, the store is first emptied (standard error says why nothing works, once), then
    // a private copy of it holds the authority.
    void installedProgramTrustsTheSystemStore() {
        if (geteuid() != 0)
            QSKIP("Needs root: changes the certificate store in a mount namespace of its own.");
        QCOMPARE(ServiceClient::endpoints().apiHost, QString("localhost:47441"));
        QVERIFY(ServiceClient::extraCaCertificatesPem().isEmpty());
        StandInProvider provider({"localhost"}, StandInProvider::Ports{47441, 47442, 47443});
        provider.addAccount(account);
        StandardErrorCapture capture;
        QCOMPARE(saveAccount(), SaveOutcome::Unanswered); // the authorities there: nothing said
        QCOMPARE(provider.requests().size(), 0);
        SaveOutcome trusted = SaveOutcome::Abandoned;
        QStringList cycle;
        std::thread([&] {
            if (::unshare(CLONE_NEWNS) == 0 &&
                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                ::mount("none", "/etc/ssl/certs", "tmpfs", 0, nullptr) == 0)
                saveAccount(), saveAccount();
            const SystemTrust trust(provider.authority());
            trusted = saveAccount();
            ActivityLog::create();
            cycle = runCycles(1).value(0);
        }).join();
        QCOMPARE(capture.finish().count("install ca-certificates"), 1);
        QCOMPARE(trusted, SaveOutcome::Saved);
        QVERIFY2(cycle.contains("[good] IP address updated."), qPrintable(cycle.join('|')));
    }

    // On an X display with or without a tray: the window where the user needs it, Close leaves
    // the program updating, a later start (through a linked folder, also without a lock) brings
    // it back, set-account wakes it, SIGHUP ends it, and readable settings are made private.
    void startUpWithAndWithoutTray_data() {
        columns<bool, bool, bool>(); // a tray host, settings saved before, the lock can be made
        row("tray, saved before", true, true, true);
        row("tray, first run", true, false, true);
        row("no tray, saved before", false, true, true);
        row("no tray, saved before, no lock", false, true, false);
    }
    void startUpWithAndWithoutTray() {
        const auto [withTray, savedBefore, lockable] = fetch<bool, bool, bool>();
        Scene scene(withTray);
        auto& [home, display, provider, companion] = scene;
        const QTemporaryDir links;
        QVERIFY(display.ready && QFile::link(home.path(), links.filePath("home")));
        const QString settings = home.filePath("config/Vorlin/IPUpdateClient.conf");
        const QString lock = QString(settings).replace(".conf", ".updater.lock");
        QVERIFY(lockable || QDir().mkpath(lock)); // a folder in its place
        if (savedBefore) {
            QCOMPARE(companion.saveAccount(), 0);
            QFile::setPermissions(settings,
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        }
        RunningClient client(CLIENT_PROGRAM, {}, home.path(), companion.environment(), &display);
        const auto shown = [&] {
            return display
                .xdotool({"search", "--maxdepth", "1", "--onlyvisible", "--pid",
                          QString::number(client.process.processId())})
                .split('\n', Qt::SkipEmptyParts);
        };
        // Offscreen: a second start only asks the running copy.
        const auto startAgain = [&](const QStringList& arguments = {}) {
            RunningClient second(CLIENT_PROGRAM, arguments, links.filePath("home"),
                                 companion.environment());
            return second.process.waitForFinished(5000) && second.process.exitCode() == 0;
        };
        // Once something of the program shows (the tray's icon, the window), its start is over.
        const QString pid = QString::number(client.process.processId());
        QTRY_VERIFY_WITH_TIMEOUT(
            !display.xdotool({"search", "--onlyvisible", "--pid", pid}).isEmpty(), 10'000);
        QTRY_COMPARE(shown().size(), savedBefore && withTray ? 0 : 1);
        QVERIFY(QFile::exists(lock)); // held on fresh settings too
        if (!savedBefore)
            return;
        QVERIFY(startAgain());
        QTRY_COMPARE(shown().size(), 1);
        QCOMPARE(QFile::permissions(settings) & ~(QFile::ReadUser | QFile::WriteUser),
                 QFile::ReadOwner | QFile::WriteOwner);

        // Close, reached through the window's own tab order from its first field.
        display.xdotool({"windowfocus", "--sync", shown().value(0), "key", "Tab", "Tab", "Tab",
                         "Tab", "Tab", "Tab", "space"});
        QTRY_COMPARE(shown().size(), 0);
        QVERIFY(startAgain({"--background"})); // as at login: the running copy stays hidden
        QTest::qWait(300);                     // nor does a tray's balloon show
        QCOMPARE(shown().size(), 0);
        QCOMPARE(client.process.state(), QProcess::Running);
        QVERIFY(startAgain());
        QTRY_COMPARE(shown().size(), 1);
        if (!lockable) // set-account finds the updater by its lock
            return;

        // set-account wakes it for a cycle, whose reply drips in; SIGHUP neither waits for it
        // nor takes the part that came, and the lock does not outlive the clean exit.
        StandInProvider::ScriptedReply dripping =
            StandInProvider::reply(200, R"({"statusCode":"good"})");
        dripping.dripIntervalMilliseconds = 300;
        provider.scriptReply("/nic/clientupdate", dripping);
        const qsizetype before = provider.requestLines().filter("/nic/clientupdate").size();
        QCOMPARE(companion.saveAccount(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(provider.requestLines().filter("/nic/clientupdate").size(),
                                  before + 1, 3000);
        QTest::qWait(100); // the reply's head has come, its body drips
        const qsizetype beforeSignal = client.logged().size();
        QVERIFY(client.endsOn(SIGHUP, 1000));
        QVERIFY(!client.logged().mid(beforeSignal).contains("Server response"));
        // Nor is there a key log from which a capture's exchanges could be read.
        QVERIFY(!QFile::exists(lock) && !QFile::exists(home.filePath("tls-keys")));
    }

    // Starts from the desktop's menu (no terminal): a launch's startup notification ends where no
    // window shows, a later launch's reaches the running copy's window. A start that gives way
    // says why where the user looks: while the running copy hangs (in a message box where no
    // notification service answers), and while run updates with the settings (at login once).
    void startsFromTheDesktopsMenu() {
        Scene scene(false);
        auto& [home, display, provider, companion] = scene;
        QVERIFY(display.ready);
        StartupMessages messages(display);
        QCOMPARE(companion.saveAccount(), 0);
        QProcessEnvironment launched = companion.environment();
        launched.insert("DESKTOP_STARTUP_ID", "first_TIME1");
        launched.insert("PATH", QFileInfo(CLIENT_PROGRAM).path() + ':' + qgetenv("PATH"));
        {
            RunningClient client(CLIENT_PROGRAM, {"--background"}, home.path(), launched, &display);
            const QString pid = QString::number(client.process.processId());
            QTRY_VERIFY(messages.received("remove: ID=first_TIME1")); // no window shows
            RunningClient launcher("/usr/bin/python3", {GIO_LAUNCH, DESKTOP_ENTRY, "menu_TIME2"},
                                   home.path(), launched, &display);
            QTRY_VERIFY(messages.received("remove: ID=menu_TIME2"));
            const QString window = display.xdotool({"search", "--onlyvisible", "--pid", pid});
            QVERIFY(display.xdotool({"-id", window, "_NET_STARTUP_ID"}, "xprop").contains("menu_"));
            ::kill(pid.toInt(), SIGSTOP);
            RunningClient second(CLIENT_PROGRAM, {}, home.path(), launched, &display);
            QTRY_VERIFY(!display.xdotool({"search", "--name", "answer"}).isEmpty());
            display.xdotool(
                {"search", "--name", "answer", "windowfocus", "--sync", "key", "Return"});
            QVERIFY(second.process.waitForFinished(5000) && second.process.exitCode() == 1);
        }
        NotificationServer notifications;
        QProcess run;
        const QString holder = QString("vorlin-ipupdated (process %1) already updates with ")
                                   .arg(companion.startRun(run, home.filePath("journal")));
        QTRY_COMPARE_WITH_TIMEOUT(companion.status(), 0, 10'000);
        launched.insert("DESKTOP_STARTUP_ID", "refused_TIME3");
        for (const QStringList& arguments : {QStringList(), {"--background"}, {"--background"}}) {
            RunningClient refused(CLIENT_PROGRAM, arguments, home.path(), launched, &display);
            QTRY_VERIFY(refused.process.state() == QProcess::NotRunning);
            QCOMPARE(refused.process.exitCode(), 1);
        }
        QVERIFY(messages.received("remove: ID=refused_TIME3"));
        QCOMPARE(notifications.bodies.size(), 2); // at login once
        QVERIFY(notifications.bodies.value(1).startsWith(holder));
    }

    // The README's demo, against its own stand-in or one it is given: it saves the demo account,
    // whose first update goes through at once; a termination signal ends it.
    void demoUpdatesThroughTheStandIn_data() {
        columns<bool>(); // a stand-in given
        row("its own stand-in, as the README runs it", false);
        row("a stand-in given", true);
    }
    void demoUpdatesThroughTheStandIn() {
        const auto [given] = fetch<bool>();
        Scene scene(false);
        auto& [home, display, provider, companion] = scene;
        provider.addAccount({"demo2026", "Demo-pass1", {"home"}});
        const ServiceEndpoints hosts = provider.endpoints(); // the authority: the companion's
        const QStringList standIn = {
            "--api",  hosts.apiHost,  "--ipv4", hosts.ipv4Host,
            "--ipv6", hosts.ipv6Host, "--ca",   companion.environment().value("STANDIN_CA")};
        RunningClient demo(DEMO_PROGRAM,
                           QStringList{"--settings", home.filePath("demo")} +
                               (given ? standIn : QStringList()),
                           home.path(), companion.environment());
        QTRY_VERIFY_WITH_TIMEOUT(demo.logged().contains("[good] IP address updated."), 10'000);
        QVERIFY(demo.endsOn(SIGTERM, 1000));
        QCOMPARE(provider.requestLines().filter("/nic/clientupdate").size(), given ? 1 : 0);
    }

    // The companion's commands, and one updater per settings file: whichever starts second
    // gives way; set-account wakes run, also after an upgrade replaced its program; status tells
    // the newest cycle; the kernel tells who holds the lock, whatever the file names.
    void oneUpdaterPerSettingsFileWokenBySetAccount() {
        StandInProvider provider;
        provider.addAccount(account);
        const QString config = home_.filePath("config"); // the desktop program's settings
        const Companion companion(provider, config);
        // A file others may read, as the umask has it.
        const QString store = writeFile(config + "/Vorlin/IPUpdateClient.conf", {});
        QCOMPARE(companion.status(), 2);
        QCOMPARE(QFile::permissions(store) & ~(QFile::ReadUser | QFile::WriteUser),
                 QFile::ReadOwner | QFile::WriteOwner);
        const auto [usage, usageErrors] = companion.finish({"set-account"}, "s3cret!Pw\n");
        QVERIFY2(usage == 2 && usageErrors.contains("set-account takes --username NAME"),
                 qPrintable(usageErrors));
        const auto [refused, errors] =
            companion.finish({"set-account", "--username", account.username, "--group", "s3cret!Pw",
                              "--no-ipv4", "--no-ipv6"},
                             "s3cret!Pw\n");
        QVERIFY2(refused == 1 && errors.contains("<invalid group> is an invalid group!"),
                 qPrintable(errors));
        QCOMPARE(readFile(store), QByteArray()); // a refusal changes nothing
        QProcessEnvironment busless = companion.environment();
        busless.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
        const auto runs = [&](const QString& home, bool bus = true) { // rather than give way
            auto desktop = std::make_unique<RunningClient>(CLIENT_PROGRAM, QStringList(), home,
                                                           bus ? companion.environment() : busless);
            return QTest::qWaitFor([&] { return desktop->logged().contains(prompt); }, 10'000)
                       ? std::move(desktop)
                       : nullptr;
        };
        { // a copy holds the lock but no name (as while it starts): a start waits until it may run
            auto holder = runs(home_.path(), false);
            RunningClient waiting(CLIENT_PROGRAM, {}, home_.path(), companion.environment());
            QTest::qWait(500);
            holder.reset();
            QTRY_VERIFY_WITH_TIMEOUT(waiting.logged().contains(prompt), 5000);
            RunningClient unreachable(CLIENT_PROGRAM, {}, home_.path(), busless); // asks nothing
            QVERIFY(unreachable.process.waitForFinished(5000) &&
                    unreachable.process.exitCode() == 0);
        }
        for (int start = 0; start < 2; ++start) { // a copy killed outright leaves its name free
            const auto desktop = runs(home_.path());
            QVERIFY(desktop);
            const QTemporaryDir other;
            QVERIFY(start > 0 || runs(other.path())); // a copy with other settings runs beside
            const auto [status, errors] = companion.finish({"run"});
            QCOMPARE(status, 1);
            QVERIFY2(errors.contains("vorlin-ipupdate (process "), qPrintable(errors));
        } // killed outright on leaving

        const QString journal = home_.filePath("journal"),
                      program = home_.filePath("vorlin-ipupdated");
        QVERIFY(QFile::copy(COMPANION_PROGRAM, program));
        QProcess run;
        const QString holder =
            QString("vorlin-ipupdated (process %1)").arg(companion.startRun(run, journal, program));
        QTRY_VERIFY_WITH_TIMEOUT(
            linesOf(journal).contains("Not set up yet. Set up the account with: vorlin-ipupdated "
                                      "--settings-dir " +
                                      config + " set-account --username NAME"),
            5000);
        // An upgrade puts a new file in place of the running program's.
        QVERIFY(QFile::copy(COMPANION_PROGRAM, program + ".new") &&
                ::rename(qPrintable(program + ".new"), qPrintable(program)) == 0);
        const auto [second, secondErrors] = companion.finish({"run"});
        QVERIFY2(second == 1 && secondErrors.contains(holder), qPrintable(secondErrors));

        QCOMPARE(companion.saveAccount(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(linesOf(journal).contains("[good] IP address updated."), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(companion.status(), 0, 5000);
        run.terminate();
        QVERIFY(run.waitForFinished(1000) && run.exitCode() == 0);
        QCOMPARE(companion.status(), 3); // saved, and the record went with it
        {                                // the desktop program keeps no record: status names it
            RunningClient desktop(CLIENT_PROGRAM, {}, home_.path(), companion.environment());
            QTRY_VERIFY_WITH_TIMEOUT(
                companion.finish({"status"})
                    .second.contains("Newest cycle: none recorded yet (vorlin-ipupdate (process"),
                10'000);
            QCOMPARE(companion.status(), 3);
        }

        // The desktop's keyring keeps the password: run says how to store it for the service,
        // which set-account does.
        QSettings(store, QSettings::IniFormat).setValue("passwordInKeyring", true);
        companion.startRun(run, journal, program);
        const QString keyringLine = "The password is kept in a desktop keyring, which this service "
                                    "cannot reach. Store it for the service with: vorlin-ipupdated "
                                    "--settings-dir " +
                                    config + " set-account --username " + account.username;
        QTRY_VERIFY_WITH_TIMEOUT(linesOf(journal).contains(keyringLine), 5000);
        QVERIFY(companion.finish({"status"}).second.contains("Password: " + keyringLine + '\n'));
        const auto [stored, told] =
            companion.finish({"set-account", "--username", account.username}, "s3cret!Pw\n");
        QVERIFY2(stored == 0 && told.contains("The desktop's keyring may still hold the password "
                                              "for alice2024: this program cannot reach it"),
                 qPrintable(told));
        QTRY_VERIFY_WITH_TIMEOUT(linesOf(journal).contains("[good] IP address updated."), 5000);
        run.terminate();
        QVERIFY(run.waitForFinished(1000));

        QProcess bystander; // SIGUSR1 ends it
        bystander.start("sleep", {"600"});
        QVERIFY(bystander.waitForStarted());
        writeFile(config + "/Vorlin/IPUpdateClient.updater.lock",
                  QByteArray::number(bystander.processId()) + "\nsleep\n\n");
        QCOMPARE(companion.saveAccount(), 0);
        QProcess orphaning;
        const qint64 updater = companion.startRun(orphaning, journal, program, true);
        QTRY_COMPARE_WITH_TIMEOUT(companion.status(), 0, 5000);
        ::kill(pid_t(updater), SIGKILL);
        QTRY_COMPARE(companion.status(), 3);
        QCOMPARE(bystander.state(), QProcess::Running);
        // An updater of an earlier version took flock alone (here run's runner holds it).
        const QStringList earlier{"flock", config + "/Vorlin/IPUpdateClient.updater.lock"};
        QCOMPARE(companion.finish({"run"}, {}, {}, {}, earlier).first, 1);
        for (QProcess* process : {&bystander, &orphaning}) {
            process->kill();
            process->waitForFinished();
        }
    }

    // status, for scripts read by real parsers, after the updater's cycles (the first starts it),
    // not set up, with the password in a keyring and unreadable.
    void statusForScripts_data() {
        // settings, replies (empty: HTTP 500), exit, JSON the output holds, the parsed exposition
        columns<QString, QByteArrayList, int, QString, QString>();
        const QByteArray odd = R"({"statusCode":"good\u0007\u0022\u007f\u0085\u005c\n",)"
                               R"("updatedIPv4Address":"\u001bc203.0.113.7"})",
                         rejected = R"({"statusCode":"bad authentication"})";
        const QString program = "vorlin \"ipupdated\\\\x1b",
                      success = "; last_success_timestamp_seconds{} recent",
                      cycle = "; last_cycle_success{} %1; last_cycle_timestamp_seconds{} recent";
        row("went through", QString("saved"), QByteArrayList{odd}, 0,
            R"({"version":1,"settingsError":null,"setUp":true,"username":"alice2024","group":null,
                "password":{"stored":true,"where":"settings file"},"updater":{"program":
                "vorlin \u0022ipupdated\u005c\u001b"},"addressFamilies":{"ipv4":true,"ipv6":true},
                "recordedAddresses":{"ipv4":"\u001bc203.0.113.7","ipv6":null},"newestCycle":{"time":
                "recent","wentThrough":true,"statusWord":"good\u0007\u0022\u007f\u0085\u005c\n",
                "failureNote":null,"lastSuccessTime":"recent"}})",
            metrics(true, program, cycle.arg("1.0") + success));
        row("failed after a success", QString("saved"), QByteArrayList{odd, rejected}, 1,
            R"({"recordedAddresses":{"ipv4":null},"newestCycle":{"wentThrough":false,
                "statusWord":"bad authentication","lastSuccessTime":"recent"}})",
            metrics(true, program, cycle.arg("0.0") + success));
        row("failed since it started", QString("saved"), QByteArrayList{QByteArray()}, 1,
            R"({"newestCycle":{"wentThrough":false,"statusWord":null,"lastSuccessTime":null}})",
            metrics(true, program, cycle.arg("0.0")));
        row("not set up", QString(), QByteArrayList(), 2,
            R"({"setUp":false,"username":null,"password":{"stored":false,"where":null},
                "updater":null,"newestCycle":null})",
            metrics(false, ""));
        row("keyring", QString("keyring"), QByteArrayList(), 2,
            R"({"setUp":true,"password":{"stored":true,"where":"keyring"},"newestCycle":null})",
            metrics(true, ""));
        row("unreadable", QString("unreadable"), QByteArrayList(), 4,
            R"({"settingsError":"Too many levels of symbolic links","setUp":null,"username":null,
                "password":null,"addressFamilies":null,"updater":null,"newestCycle":null})",
            QString());
    }
    void statusForScripts() {
        const auto [settings, replies, exit, json, exposition] =
            fetch<QString, QByteArrayList, int, QString, QString>();
        Scene scene(false);
        auto& [home, display, provider, companion] = scene;
        const QString file = companion.folder() + "/Vorlin/IPUpdateClient.conf";
        QVERIFY(settings != "unreadable" || (QDir().mkpath(companion.folder() + "/Vorlin") &&
                                             QFile::link("IPUpdateClient.conf", file)));
        if (settings == "saved" || settings == "keyring")
            QCOMPARE(companion.saveAccount(), 0);
        if (settings == "keyring")
            QSettings(file, QSettings::IniFormat).setValue("passwordInKeyring", true);
        const QString program = home.filePath("vorlin \"ipupdated\\\x1b"); // and an ESC
        QVERIFY(QFile::copy(COMPANION_PROGRAM, program));
        QProcess run;
        for (const QByteArray& reply : replies) {
            provider.scriptReply("/nic/clientupdate",
                                 StandInProvider::reply(reply.isEmpty() ? 500 : 200, reply));
            QVERIFY(run.state() == QProcess::NotRunning
                        ? companion.startRun(run, home.filePath("journal"), program) > 0
                        : companion.saveAccount() == 0);
            QTRY_COMPARE_WITH_TIMEOUT(companion.status(), reply.contains("good") ? 0 : 1, 10'000);
        }
        const QString forPeople = companion.finish({"status"}).second; // safe on a terminal
        const QStringList newest = {"went through at ", "failed at "};
        QVERIFY2(!forPeople.contains(QChar(27)) &&
                     (exit > 1 || forPeople.contains("\nNewest cycle: " + newest[exit])),
                 qPrintable(forPeople));
        const auto [jsonExit, written] =
            companion.finish({"status", "--json"}, {}, QProcess::SeparateChannels);
        QVERIFY2(jsonExit == exit && !written.contains(QChar(0x7f)) &&
                     !written.contains(QChar(0x85)) &&
                     holds(QJsonDocument::fromJson(written.toUtf8()).object(),
                           QJsonDocument::fromJson(json.toUtf8()).object()),
                 qPrintable(written));
        QCOMPARE(companion.finish({"status", "--json"}, {}, {}, "/dev/full").first,
                 74); // cut short
        const auto [metricsExit, metrics] =
            companion.finish({"status", "--prometheus"}, {}, QProcess::SeparateChannels);
        QCOMPARE(metricsExit, exit == 4 ? 4 : 0);
        QCOMPARE(parsedMetrics(metrics), exposition);
        run.kill(), run.waitForFinished();
    }

    // set-account at a terminal, with its address options: the password is asked for without
    // echo, and echo is back afterwards (after a refusal and Ctrl+C too); the choices as stored
    // and as status tells them.
    void setAccountAtATerminal_data() {
        // options, typed, exit status (a signal: negative), what "Kept updated" says if stored
        columns<QByteArrayList, QByteArray, int, QString>();
        const QByteArray password = "s3cret!Pw\n";
        row("accepted", QByteArrayList(), password, 0, QString("IPv4, IPv6"));
        row("no IPv4", QByteArrayList{"--no-ipv4"}, password, 0, QString("IPv6"));
        row("no IPv6", QByteArrayList{"--no-ipv6"}, password, 0, QString("IPv4"));
        row("neither", QByteArrayList{"--no-ipv4", "--no-ipv6"}, password, 0, QString("none"));
        row("refused", QByteArrayList(), QByteArray("s3cret!Px\n"), 1, QString());
        row("Ctrl+C", QByteArrayList(), QByteArray("s3cret\x03"), -SIGINT, QString());
    }
    void setAccountAtATerminal() {
        auto [options, typed, exit, kept] = fetch<QByteArrayList, QByteArray, int, QString>();
        Scene scene(false);
        for (const char* name : {"STANDIN_HOSTS", "STANDIN_CA"}) // for the child
            qputenv(name, scene.companion.environment().value(name).toUtf8());
        options =
            QByteArrayList{COMPANION_PROGRAM, "--settings-dir", scene.companion.folder().toUtf8(),
                           "set-account",     "--username",     "alice2024"} +
            options;
        std::vector<char*> command;
        for (QByteArray& word : options)
            command.push_back(word.data());
        command.push_back(nullptr);
        int terminal = -1;
        const pid_t child = ::forkpty(&terminal, nullptr, nullptr, nullptr);
        if (child == 0) {
            ::execv(command[0], command.data());
            ::_exit(127);
        }
        QByteArray shown;
        char chunk[256];
        pollfd output{terminal, POLLIN, 0};
        bool silent = false; // for 10 s: the child hangs, and is ended
        for (ssize_t length; !(silent = ::poll(&output, 1, 10'000) <= 0) &&
                             (length = ::read(terminal, chunk, sizeof chunk)) > 0;) {
            shown.append(chunk, length);
            if (shown.endsWith("Password: ")) [[maybe_unused]]
                const auto written = ::write(terminal, typed, typed.size());
        }
        if (silent)
            ::kill(child, SIGKILL);
        int status = 0;
        struct termios after = {};
        const bool read = ::tcgetattr(terminal, &after) == 0;
        ::close(terminal);
        QVERIFY(::waitpid(child, &status, 0) == child && read && !silent);
        QCOMPARE(WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status), exit);
        QVERIFY2(!shown.contains("s3cret") && (after.c_lflag & ECHO), shown.constData());
        QVERIFY(kept.isEmpty() ||
                scene.companion.finish({"status"}).second.contains("Kept updated: " + kept + '\n'));
    }

    // As root, with a second user: root acts only where nobody else can steer the path to the
    // settings, and then as their owner.
    void rootActsOnlyWhereNobodyElseSteers_data() {
        // how the other user can steer; status's exit and what it says; set-account's exit
        columns<QString, int, QString, int>();
        // What they name reaches root's terminal escaped.
        const QString changed = "theirs\\x1b]0;PWNED\\x07 can be changed by users other than root,";
        row("owns a folder on the way", QString("owned folder"), 4, changed, 1);
        row("made a link in a shared folder", QString("link"), 4, changed, 1);
        row("put a link where the file goes", QString("link as the file"), 2,
            QString("Not set up yet"), 1); // through the link, nothing can be stored
        row("has a file of root's in their folder", QString("unreadable"), 4,
            QString("Cannot read the settings: Permission denied"), 1);
        row("owns the settings' folder", QString("their folder"), 2, QString("Not set up yet"), 0);
        row("owns the folder that root's absolute link names", QString("absolute link"), 4, changed,
            1);
        row("may write a folder through its group", QString("group-writable"), 4, changed, 1);
        row("made a loop of links", QString("loop"), 4, QString("cannot follow the path to"), 1);
    }
    void rootActsOnlyWhereNobodyElseSteers() {
        const auto [steering, statusExit, told, saveExit] = fetch<QString, int, QString, int>();
        const passwd* other = ::getpwnam("nobody");
        if (::geteuid() != 0 || !other)
            QSKIP("Needs root and a second user, nobody.");
        QTemporaryDir home; // which the other user may enter
        StandInProvider provider;
        provider.addAccount(account);
        const QString rootsFile = writeFile(home.filePath("roots"), "root's own\n");
        const QString mine = home.filePath("mine\x1b[2J"),
                      theirs = home.filePath("theirs\x1b]0;PWNED\a");
        QVERIFY(::chmod(qPrintable(home.path()), 0755) == 0 &&
                ::chmod(qPrintable(rootsFile), 0644) == 0 &&
                QDir().mkpath(mine + "/settings/Vorlin") && QDir().mkdir(theirs));
        QString settings = theirs + "/settings";
        if (steering == "link") {
            QVERIFY(::chmod(qPrintable(theirs), 01777) == 0 &&
                    ::symlink(qPrintable(mine + "/settings"), qPrintable(settings)) == 0 &&
                    ::lchown(qPrintable(settings), other->pw_uid, other->pw_gid) == 0);
        } else if (steering == "owned folder" || steering == "absolute link") {
            QVERIFY(::chown(qPrintable(theirs), other->pw_uid, other->pw_gid) == 0 &&
                    QDir().mkpath(settings + "/Vorlin") && // a pipe would hang root's read
                    ::mkfifo(qPrintable(settings + "/Vorlin/IPUpdateClient.conf"), 0600) == 0 &&
                    ::symlink(qPrintable(settings), qPrintable(mine + "/link")) == 0);
            if (steering == "absolute link") // followed from the root, not from mine
                settings = mine + "/link";
        } else if (steering == "group-writable" || steering == "loop") {
            QVERIFY(::chmod(qPrintable(theirs), 0775) == 0 &&
                    ::symlink("loop", qPrintable(mine + "/loop")) == 0);
            if (steering == "loop")
                settings = mine + "/loop/settings";
        } else {
            settings = mine + "/settings";
            const QString file = settings + "/Vorlin/IPUpdateClient.conf";
            if (steering == "unreadable")
                QVERIFY(::chmod(qPrintable(writeFile(file, {})), 0600) == 0);
            else if (steering == "link as the file")
                QVERIFY(::symlink(qPrintable(rootsFile), qPrintable(file)) == 0);
            // Root's group: the owner's own is another.
            QVERIFY(::chown(qPrintable(settings + "/Vorlin"), other->pw_uid, 0) == 0);
        }
        const Companion companion(provider, settings);
        const QDir folder(settings + "/Vorlin");
        const QStringList before = folder.entryList(QDir::AllEntries | QDir::System);
        const auto [status, output] = companion.finish({"status"});
        QVERIFY2(status == statusExit && output.contains(told), qPrintable(output));
        QCOMPARE(companion.saveAccount(), saveExit);
        if (told.contains("can be changed")) { // refused: nothing made there
            QCOMPARE(companion.finish({"run"}).first, 4);
            QCOMPARE(folder.entryList(QDir::AllEntries | QDir::System), before);
        }
        QVERIFY(!output.contains('\x1b'));
        if (saveExit == 0) { // root's run keeps none of root's groups; its owner learns its name
            QVERIFY(::setgroups(2, std::array<gid_t, 2>{0, 4}.data()) == 0); // root's, say
            const auto restore = qScopeGuard([] { ::setgroups(0, nullptr); });
            QProcess run;
            const qint64 updater = companion.startRun(run, home_.filePath("journal"));
            QTRY_VERIFY(linesOf(home_.filePath("journal")).contains("[good] IP address updated."));
            const QString status = readFile(QString("/proc/%1/status").arg(updater));
            QVERIFY2(!status.contains(QRegularExpression("\nGroups:.*\\b[04]\\b")),
                     qPrintable(status));
            const QStringList asOwner{"setpriv", "--clear-groups", // the kernel tells it nothing
                                      "--reuid=" + QString::number(other->pw_uid),
                                      "--regid=" + QString::number(other->pw_gid)};
            QVERIFY(companion.finish({"run"}, {}, QProcess::MergedChannels, {}, asOwner)
                        .second.contains(QString("vorlin-ipupdated (process %1)").arg(updater)));
            run.terminate();
            QVERIFY(run.waitForFinished(5000));
        }
        struct stat stored = {};
        QVERIFY(saveExit != 0 ||
                (::stat(qPrintable(settings + "/Vorlin/IPUpdateClient.conf"), &stored) == 0 &&
                 stored.st_uid == other->pw_uid && stored.st_gid == other->pw_gid));
        struct stat roots = {};
        QVERIFY(::stat(qPrintable(rootsFile), &roots) == 0 && (roots.st_mode & 07777) == 0644);
        QCOMPARE(linesOf(rootsFile), QStringList{"root's own"});
    }
};

QTEST_MAIN(ProcessesTest)
#include "tst_processes.moc"
