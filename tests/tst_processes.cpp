#include "CycleDriver.h"
#include "DataRow.h"
#include "LocalProvider.h"
#include "StandardErrorCapture.h"
#include "SystemTrust.h"
#include "XDisplay.h"
#include "account/SaveSettings.h"
#include "service/Transport.h"

#include <QtDBus>
#include <QtTest>
#include <csignal>
#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString prompt = "Please enter your username and password.";
const QString begun = "IP address update initiated.";
const StandInProvider::Account account{"alice2024", "s3cret!Pw", {"home"}};

// Writes the file whole; returns its path.
QString writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// A running copy of one of the programs, offscreen or on the display, with a config folder of
// its own.
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

// The companion on settings of the test's own, against the test's stand-in.
class Companion {
public:
    Companion(const StandInProvider& provider, const QString& folder) : folder_(folder) {
        QDir().mkpath(folder);
        const ServiceEndpoints hosts = provider.endpoints();
        environment_.insert("STANDIN_HOSTS",
                            hosts.apiHost + ' ' + hosts.ipv4Host + ' ' + hosts.ipv6Host);
        environment_.insert("STANDIN_CA", writeFile(folder + "/ca.pem", provider.authority()));
    }

    // Starts the program's `run` with its standard error in a file that it takes for the
    // journal; its process id. Orphaned, it is the child of a process that never reaps it.
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

    // Runs a command to its end: its exit status and what it wrote.
    QPair<int, QString> finish(const QStringList& arguments, const QByteArray& input = {}) const {
        QProcess process;
        process.setProcessEnvironment(environment_);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(COMPANION_PROGRAM, QStringList{"--settings-dir", folder_} + arguments);
        process.write(input);
        process.closeWriteChannel();
        process.waitForFinished(20'000);
        return {process.exitCode(), QString::fromUtf8(process.readAll())};
    }

    const QProcessEnvironment& environment() const { return environment_; }
    int status() const { return finish({"status"}).first; }
    int saveAccount() const {
        return finish({"set-account", "--username", account.username}, "s3cret!Pw\n").first;
    }

private:
    QString folder_;
    QProcessEnvironment environment_ = QProcessEnvironment::systemEnvironment();
};

// The lines a program wrote to a file, whole lines only.
QStringList linesOf(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    lines.removeLast();
    return lines;
}

// The StatusNotifierItem host's side: the watcher on the session bus, which items register
// with. Qt reads whether a host is there through introspection, so the properties are exported.
class StatusNotifierWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    QString item; // the registered item's service
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }

public slots:
    void RegisterStatusNotifierItem(const QString& service) { item = service; }
    void RegisterStatusNotifierHost(const QString&) {}
};
// What dbus-send prints of a call to the program's tray item: its text holds the values.
QString askItem(const QString& item, const QString& path, const QString& method,
                const QStringList& arguments) {
    QProcess send;
    send.start("dbus-send",
               QStringList{"--session", "--print-reply", "--dest=" + item, path, method} +
                   arguments);
    send.waitForFinished();
    return QString::fromUtf8(send.readAllStandardOutput());
}

QString itemProperty(const QString& item, const QString& name) {
    return askItem(item, "/StatusNotifierItem", "org.freedesktop.DBus.Properties.Get",
                   {"string:org.kde.StatusNotifierItem", "string:" + name});
}

// The item's menu (com.canonical.dbusmenu): its layout, and a click on an entry.
QString askMenu(const QString& item, const QString& method, const QStringList& arguments) {
    static const QRegularExpression path("object path \"([^\"]+)\"");
    return askItem(item, path.match(itemProperty(item, "Menu")).captured(1),
                   "com.canonical.dbusmenu." + method, arguments);
}
QString menuLayout(const QString& item) {
    return askMenu(item, "GetLayout", {"int32:0", "int32:-1", "array:string:"});
}
void quitThroughTheMenu(const QString& item) {
    static const QRegularExpression quit(
        "int32 (\\d+)\\s+array \\[[^\\]]*\"label\"\\s+variant\\s+string \"Quit\"");
    askMenu(item, "Event",
            {"int32:" + quit.match(menuLayout(item)).captured(1), "string:clicked",
             "variant:int32:0", "uint32:0"});
}

} // namespace

// The tests that start other programs, which ThreadSanitizer cannot follow from a threaded
// process: the client and its demo, the companion, update-ca-certificates.
class ProcessesTest : public QObject {
    Q_OBJECT

    QTemporaryDir home_;

    // The demo's arguments for the stand-in, whose authority it is given in a file, with its
    // settings in the folder.
    QStringList demoArguments(const StandInProvider& provider, const QString& settings) const {
        const ServiceEndpoints endpoints = provider.endpoints();
        return {"--settings", settings,
                "--api",      endpoints.apiHost,
                "--ipv4",     endpoints.ipv4Host,
                "--ipv6",     endpoints.ipv6Host,
                "--ca",       writeFile(home_.filePath("ca.pem"), provider.authority())};
    }

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

    // The program as installed, built with loopback hosts and nothing else changed: no extra
    // authority, settings at their real place, the system's certificate store as the only
    // trust. Nothing goes to the stand-in until its authority is there.
    void installedProgramTrustsTheSystemStore() {
        if (geteuid() != 0)
            QSKIP("Needs root: puts the stand-in's authority into a copy of the system's store.");
        QCOMPARE(ServiceClient::endpoints().apiHost, QString("localhost:47441"));
        QVERIFY(ServiceClient::extraCaCertificatesPem().isEmpty());
        StandInProvider provider({"localhost"}, StandInProvider::Ports{47441, 47442, 47443});
        provider.addAccount(account);
        QCOMPARE(saveAccount(), SaveOutcome::Unanswered);
        QCOMPARE(provider.requests().size(), 0);

        // Trusted in a private copy of the store that only a thread of the test sees.
        SaveOutcome trusted = SaveOutcome::Abandoned;
        QStringList cycle;
        std::thread([&] {
            const SystemTrust trust(provider.authority());
            trusted = saveAccount();
            ActivityLog::create();
            cycle = runCycles(1).value(0);
        }).join();
        QCOMPARE(trusted, SaveOutcome::Saved);
        QVERIFY2(cycle.contains("[good] IP address updated."), qPrintable(cycle.join('|')));
    }

    // With no certificate authority on the system, standard error says why nothing can be
    // trusted, once. Only a thread of the test sees the authorities' folder emptied.
    void missingAuthoritiesAreToldOnce() {
        if (geteuid() != 0)
            QSKIP("Needs root: hides the system's certificate authorities from one thread.");
        StandardErrorCapture capture;
        std::optional<QString> body;
        const auto exchange = [&] { MyFunctions::urlExecute("https://127.0.0.1:9/", body); };
        exchange(); // the authorities are there: nothing to say
        std::thread([&] {
            if (::unshare(CLONE_NEWNS) == 0 &&
                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                ::mount("none", "/etc/ssl/certs", "tmpfs", 0, nullptr) == 0)
                exchange(), exchange();
        }).join();
        QCOMPARE(capture.finish().count("install ca-certificates"), 1);
    }

    // The program updates with the account saved before, or the demo saves by itself; the
    // provider sends the reply to the row's request a byte at a time. The quit must neither
    // wait for it nor take the part that came.
    void terminationEndsTheProgramPromptly_data() {
        // path, body, signal, time limit, lines none of which may follow the signal
        columns<QString, QByteArray, int, int, QStringList>();
        const QByteArray good = R"({"statusCode":"good"})";
        const QByteArray accepted = StandInProvider::profileReplyBody(R"({"result":true})");
        QTest::newRow("SIGINT during an update")
            << "/nic/clientupdate" << good << SIGINT << 2000 << QStringList{"Server response"};
        QTest::newRow("SIGTERM during Save's verification")
            << "/nic/getclientprofilewithgroup" << accepted << SIGTERM << 1000
            << QStringList{"Unable to authenticate!", "Authentication failed!",
                           "Settings have been saved.", "could not be stored"};
    }
    void terminationEndsTheProgramPromptly() {
        const auto [path, body, signal, withinMilliseconds, verdicts] =
            fetch<QString, QByteArray, int, int, QStringList>();
        const bool duringSave = path != "/nic/clientupdate";
        const QTemporaryDir home;
        StandInProvider provider;
        provider.addAccount(account);
        provider.addAccount({"demo2026", "Demo-pass1", {"home"}});
        const QString settings = home.filePath("config");
        const Companion companion(provider, settings);
        QVERIFY(duringSave || companion.saveAccount() == 0);
        StandInProvider::ScriptedReply dripping = StandInProvider::reply(200, body);
        dripping.dripIntervalMilliseconds = 6000 / body.size();
        provider.scriptReply(path, dripping);

        RunningClient client(duringSave ? DEMO_PROGRAM : CLIENT_PROGRAM,
                             duringSave ? demoArguments(provider, settings) : QStringList(),
                             home.path(), companion.environment());
        QTRY_COMPARE_WITH_TIMEOUT(provider.requestLines().filter(path + "?").size(), 1, 10'000);
        QTest::qWait(400); // a part of the reply has come
        const qsizetype beforeSignal = client.logged().size();
        QVERIFY(client.endsOn(signal, withinMilliseconds));
        for (const QString& verdict : verdicts)
            QVERIFY2(!client.logged().mid(beforeSignal).contains(verdict), qPrintable(verdict));
        // The lock does not outlive a clean exit.
        QVERIFY(!QFile::exists(settings + "/Vorlin/IPUpdateClient.updater.lock"));
        QVERIFY(
            !QFile::exists(home.filePath("tls-keys"))); // no exchange can be read from a capture
    }

    // The program as it starts, on an X display with a tray host or without: the window
    // shows at once where the user needs it, its Close button leaves the program updating and
    // shows nothing, a later start brings the window back, set-account wakes it and SIGHUP
    // (the session ending) ends it. Settings left readable by an earlier version are made
    // private.
    void startUpWithAndWithoutTray_data() {
        columns<bool, bool>(); // a tray host, settings saved before
        row("tray, saved before", true, true);
        row("tray, first run", true, false);
        row("no tray, saved before", false, true);
    }
    void startUpWithAndWithoutTray() {
        const auto [withTray, savedBefore] = fetch<bool, bool>();
        const QTemporaryDir home;
        const XDisplay display(withTray);
        QVERIFY(display.ready);
        StandInProvider provider;
        provider.addAccount(account);
        const Companion companion(provider, home.filePath("config"));
        const QString settings = home.filePath("config/Vorlin/IPUpdateClient.conf");
        if (savedBefore) {
            QCOMPARE(companion.saveAccount(), 0);
            QFile::setPermissions(settings,
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        }
        RunningClient client(CLIENT_PROGRAM, {}, home.path(), companion.environment(), &display);
        const auto shown = [&] {
            return display.windows({"--pid", QString::number(client.process.processId())});
        };
        const auto startAgain = [&] { // offscreen: it only asks the running copy
            RunningClient second(CLIENT_PROGRAM, {}, home.path(), companion.environment());
            return second.process.waitForFinished(5000) && second.process.exitCode() == 0;
        };
        QTRY_VERIFY_WITH_TIMEOUT(
            client.logged().contains(begun) || client.logged().contains(prompt), 10'000);
        QTest::qWait(300);
        QTRY_COMPARE(shown().size(), savedBefore && withTray ? 0 : 1); // a slow start shows late
        if (!savedBefore)
            return;
        QVERIFY(startAgain());
        QTRY_COMPARE(shown().size(), 1);
        QCOMPARE(QFile::permissions(settings) & ~(QFile::ReadUser | QFile::WriteUser),
                 QFile::ReadOwner | QFile::WriteOwner);

        // A click on the Close button, at the window's bottom right, through the X server.
        display.xdotool({"mousemove", "--window", shown().value(0), "570", "435", "click", "1"});
        QTRY_COMPARE(shown().size(), 0);
        QTest::qWait(300); // nor does a tray's balloon show
        QCOMPARE(shown().size(), 0);
        QCOMPARE(client.process.state(), QProcess::Running);
        QVERIFY(startAgain());
        QTRY_COMPARE(shown().size(), 1);

        const qsizetype before = client.logged().count(begun);
        QCOMPARE(companion.saveAccount(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(client.logged().count(begun), before + 1, 3000);
        QVERIFY(client.endsOn(SIGHUP, 1000));
    }

    // The StatusNotifierItem tray that most desktops have, over D-Bus, with the test as its
    // host: the program's item registers, its icon differs in each look, its tooltip holds the
    // accepted addresses, and its menu holds Preferences and Quit, which ends the program,
    // during Save as well.
    void statusNotifierTray() {
        StatusNotifierWatcher watcher;
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.registerObject("/StatusNotifierWatcher", &watcher,
                                   QDBusConnection::ExportAllSlots |
                                       QDBusConnection::ExportAllProperties) &&
                bus.registerService("org.kde.StatusNotifierWatcher"));
        const auto leave = qScopeGuard([&] {
            bus.unregisterService("org.kde.StatusNotifierWatcher");
            bus.unregisterObject("/StatusNotifierWatcher");
        });
        const QTemporaryDir home;
        const XDisplay display(false);
        QVERIFY(display.ready);
        StandInProvider provider;
        provider.addAccount(account);
        provider.addAccount({"demo2026", "Demo-pass1", {"home"}});
        const Companion companion(provider, home.filePath("config"));
        QSet<QString> looks;
        const auto look = [&] { looks << itemProperty(watcher.item, "IconPixmap"); };
        StandInProvider::ScriptedReply late =
            StandInProvider::reply(200, StandInProvider::profileReplyBody(R"({"result":true})"));
        late.delayMilliseconds = 10'000;
        provider.scriptReply("/nic/getclientprofilewithgroup", late);
        {
            RunningClient demo(DEMO_PROGRAM, demoArguments(provider, home.filePath("demo")),
                               home.path(), companion.environment(), &display);
            QTRY_VERIFY_WITH_TIMEOUT(!watcher.item.isEmpty(), 10'000);
            look(); // not set up
            const QString entries = menuLayout(watcher.item);
            QVERIFY(entries.contains("string \"Preferences...\"") &&
                    entries.contains("string \"Quit\""));
            QTRY_COMPARE_WITH_TIMEOUT(
                provider.requestLines().filter("/nic/getclientprofilewithgroup").size(), 1,
                10'000); // the demo's Save waits for the reply
            quitThroughTheMenu(watcher.item);
            QVERIFY(demo.process.waitForFinished(5000) && demo.process.exitCode() == 0);
            QVERIFY(!demo.logged().contains("Settings have been saved."));
        }
        watcher.item.clear();
        QCOMPARE(companion.saveAccount(), 0);
        RunningClient client(CLIENT_PROGRAM, {}, home.path(), companion.environment(), &display);
        QTRY_VERIFY_WITH_TIMEOUT(!watcher.item.isEmpty(), 10'000);
        QTRY_VERIFY_WITH_TIMEOUT(itemProperty(watcher.item, "ToolTip").contains("203.0.113.7"),
                                 10'000);
        look(); // working
        provider.scriptReply("/nic/clientupdate", StandInProvider::reply(500));
        QCOMPARE(companion.saveAccount(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(itemProperty(watcher.item, "ToolTip").contains("update failed"),
                                 10'000);
        look(); // failing
        QCOMPARE(looks.size(), 3);
        quitThroughTheMenu(watcher.item);
        QVERIFY(client.process.waitForFinished(5000) && client.process.exitCode() == 0);
    }

    // The companion's commands: any of them makes a store that an older desktop program left
    // readable private; set-account tells its refusals on standard error and in its exit
    // status. One updater per settings file: whichever starts second says why and gives way,
    // and a lock left by a copy killed outright is taken over. run, on the journal, waits for
    // an account not set up yet; each set-account wakes it, also after an upgrade replaced its
    // program's file, status tells the newest cycle, and SIGTERM during a request ends it at
    // once. Who holds the lock is the kernel's to tell: a lock file that names another process
    // neither blocks the next updater nor aims a wake-up, and a killed updater left a zombie
    // holds nothing.
    void oneUpdaterPerSettingsFileWokenBySetAccount() {
        StandInProvider provider;
        provider.addAccount(account);
        const QString config = home_.filePath("config"); // the desktop program's settings
        const Companion companion(provider, config);
        QDir().mkpath(config + "/Vorlin"); // a file others may read, as the umask has it
        const QString store = writeFile(config + "/Vorlin/IPUpdateClient.conf", {});
        QCOMPARE(companion.status(), 2);
        QCOMPARE(QFile::permissions(store) & ~(QFile::ReadUser | QFile::WriteUser),
                 QFile::ReadOwner | QFile::WriteOwner);
        const auto [usage, usageErrors] = companion.finish({"set-account"}, "s3cret!Pw\n");
        QVERIFY2(usage == 2 && usageErrors.contains("set-account takes --username NAME"),
                 qPrintable(usageErrors));
        const auto [refused, errors] = companion.finish(
            {"set-account", "--username", account.username, "--group", "s3cret!Pw"}, "s3cret!Pw\n");
        QVERIFY2(refused == 1 && errors.contains("<invalid group> is an invalid group!"),
                 qPrintable(errors));
        const auto runs = [&](const QString& home) { // rather than give way to another copy
            auto desktop = std::make_unique<RunningClient>(CLIENT_PROGRAM, QStringList(), home,
                                                           companion.environment());
            return QTest::qWaitFor([&] { return desktop->logged().contains(prompt); }, 10'000)
                       ? std::move(desktop)
                       : nullptr;
        };
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
        RunningClient desktop(CLIENT_PROGRAM, {}, home_.path(), companion.environment());
        QVERIFY(desktop.process.waitForFinished(10'000));
        QCOMPARE(desktop.process.exitCode(), 1);
        QVERIFY2(desktop.logged().contains(holder), qPrintable(desktop.errors));
        const auto [second, secondErrors] = companion.finish({"run"});
        QVERIFY2(second == 1 && secondErrors.contains(holder), qPrintable(secondErrors));

        // The service's reply reaches the terminal through status, harmless.
        provider.scriptReply(
            "/nic/clientupdate",
            StandInProvider::reply(200, "{\"statusCode\":\"good\",\"updatedIPv4Address\":"
                                        "\"\\u001b[2J1.2.3.4\"}"));
        QCOMPARE(companion.saveAccount(), 0);
        // Without the program's own stamp.
        QTRY_VERIFY_WITH_TIMEOUT(linesOf(journal).contains("[good] IP address updated."), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(companion.status(), 0, 5000);
        QVERIFY(companion.finish({"status"}).second.contains("address: \\x1b[2J1.2.3.4\n"));
        provider.scriptReply("/nic/clientupdate",
                             StandInProvider::reply(200, R"({"statusCode":"badauth"})"));
        QCOMPARE(companion.saveAccount(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(linesOf(journal).count(begun), 2, 2000);
        QTRY_COMPARE_WITH_TIMEOUT(companion.status(), 1, 5000);

        StandInProvider::ScriptedReply dripping =
            StandInProvider::reply(200, R"({"statusCode":"good"})");
        dripping.dripIntervalMilliseconds = 300;
        provider.scriptReply("/nic/clientupdate", dripping);
        QCOMPARE(companion.saveAccount(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(provider.requestLines().filter("/nic/clientupdate?").size(), 3,
                                  3000);
        QElapsedTimer clock;
        clock.start();
        run.terminate();
        QVERIFY(run.waitForFinished(1000) && clock.elapsed() < 1000);
        QCOMPARE(run.exitCode(), 0);
        QCOMPARE(companion.status(), 3); // saved, and the record went with it

        QProcess bystander; // SIGUSR1 ends it
        bystander.start("sleep", {"600"});
        writeFile(config + "/Vorlin/IPUpdateClient.updater.lock",
                  QByteArray::number(bystander.processId()) + "\nsleep\n\n");
        QCOMPARE(companion.saveAccount(), 0);
        QProcess orphaning;
        const qint64 updater = companion.startRun(orphaning, journal, program, true);
        QTRY_COMPARE_WITH_TIMEOUT(companion.status(), 0, 5000);
        ::kill(pid_t(updater), SIGKILL);
        QTRY_COMPARE(companion.status(), 3);
        QCOMPARE(bystander.state(), QProcess::Running);
        bystander.kill();
        orphaning.kill();
        orphaning.waitForFinished();
        bystander.waitForFinished();
    }

    // As root, with a second user: root acts on settings only where nobody else can steer the
    // path to them, and then as their owner, whom a link put in advance leads nowhere else.
    void rootActsOnlyWhereNobodyElseSteers_data() {
        // how the other user can steer; status's exit and what it says; set-account's exit
        columns<QString, int, QString, int>();
        const QString changed = "theirs can be changed by users other than root,";
        row("owns a folder on the way", QString("owned folder"), 4, changed, 1);
        row("made a link in a shared folder", QString("link"), 4, changed, 1);
        row("put a link where the file goes", QString("link as the file"), 2,
            QString("Not set up yet"), 1); // through the link, nothing can be stored
        row("has a file of root's in their folder", QString("unreadable"), 4,
            QString("Cannot read the settings: Permission denied"), 1);
        row("owns the settings' folder", QString("their folder"), 2, QString("Not set up yet"), 0);
    }
    void rootActsOnlyWhereNobodyElseSteers() {
        const auto [steering, statusExit, told, saveExit] = fetch<QString, int, QString, int>();
        const passwd* other = ::getpwnam("nobody");
        if (::geteuid() != 0 || !other)
            QSKIP("Needs root and a second user, nobody.");
        QTemporaryDir home; // which the other user may enter
        QVERIFY(::chmod(qPrintable(home.path()), 0755) == 0);
        StandInProvider provider;
        provider.addAccount(account);
        const QString rootsFile = writeFile(home.filePath("roots"), "root's own\n");
        QVERIFY(::chmod(qPrintable(rootsFile), 0644) == 0);
        const QString mine = home.filePath("mine"), theirs = home.filePath("theirs");
        QVERIFY(QDir().mkpath(mine + "/settings/Vorlin") && QDir().mkdir(theirs));
        QString settings = theirs + "/settings";
        if (steering == "link") {
            QVERIFY(::chmod(qPrintable(theirs), 01777) == 0 &&
                    ::symlink(qPrintable(mine + "/settings"), qPrintable(settings)) == 0 &&
                    ::lchown(qPrintable(settings), other->pw_uid, other->pw_gid) == 0);
        } else if (steering == "owned folder") { // and a pipe, which would hang root's read
            QVERIFY(::chown(qPrintable(theirs), other->pw_uid, other->pw_gid) == 0 &&
                    QDir().mkpath(settings + "/Vorlin") &&
                    ::mkfifo(qPrintable(settings + "/Vorlin/IPUpdateClient.conf"), 0600) == 0);
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
        const auto entries = [&] {
            return QDir(settings + "/Vorlin")
                .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        };
        const QStringList before = entries();
        const auto [status, output] = companion.finish({"status"});
        QVERIFY2(status == statusExit && output.contains(told), qPrintable(output));
        QCOMPARE(companion.saveAccount(), saveExit);
        if (told.contains("can be changed")) { // refused: nothing made there
            QCOMPARE(companion.finish({"run"}).first, 4);
            QCOMPARE(entries(), before);
        }
        struct stat stored = {};
        QVERIFY(saveExit != 0 ||
                (::stat(qPrintable(settings + "/Vorlin/IPUpdateClient.conf"), &stored) == 0 &&
                 stored.st_uid == other->pw_uid && stored.st_gid == other->pw_gid));
        struct stat roots = {};
        QVERIFY(::stat(qPrintable(rootsFile), &roots) == 0 && (roots.st_mode & 07777) == 0644);
        QFile file(rootsFile);
        QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll() == "root's own\n");
    }
};

QTEST_MAIN(ProcessesTest)
#include "tst_processes.moc"
