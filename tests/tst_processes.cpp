#include "CycleDriver.h"
#include "DataRow.h"
#include "LocalProvider.h"
#include "SystemTrust.h"
#include "app/AppDelegate.h"
#include "app/PreferencesWindow.h"
#include "service/Transport.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <QtWidgets>
#include <csignal>
#include <unistd.h>

namespace {

const QString prompt = "Please enter your username and password.";
const StandInProvider::Account account{"alice2024", "s3cret!Pw", {"home"}};

// Writes the file whole; returns its path.
QString writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

quint16 freeLoopbackPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

bool accepts(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(100);
}

// A running copy of one of the programs, offscreen, with a config and runtime folder of
// its own.
class RunningClient {
public:
    RunningClient(const QString& program, const QStringList& arguments, const QString& home) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_CONFIG_HOME", home + "/config");
        environment.insert("XDG_RUNTIME_DIR", home + "/runtime");
        QDir().mkdir(home + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
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

} // namespace

// The tests that start other programs, which ThreadSanitizer cannot follow from a threaded
// process: the client and its demo, Debian's nghttpx, update-ca-certificates.
class ProcessesTest : public QObject {
    Q_OBJECT

    QTemporaryDir home_;

    // The demo's arguments for the stand-in, whose authority it is given in a file.
    QStringList demoArguments(const StandInProvider& provider) const {
        const ServiceEndpoints endpoints = provider.endpoints();
        return {"--settings", home_.filePath("demo-settings"),
                "--api",      endpoints.apiHost,
                "--ipv4",     endpoints.ipv4Host,
                "--ipv6",     endpoints.ipv6Host,
                "--ca",       writeFile(home_.filePath("ca.pem"), provider.authority())};
    }

    static std::unique_ptr<AppDelegate> saveAccount() {
        ActivityLog::create();
        auto delegate = std::make_unique<AppDelegate>([](auto) {});
        delegate->applicationDidFinishLaunching();
        delegate->window()->textBoxUsername->setText(account.username);
        delegate->window()->textBoxPassword->setText(account.password);
        delegate->window()->textBoxLocation->setText(account.groups.first());
        delegate->window()->checkBoxUpdateIPv6Address->setChecked(false);
        delegate->buttonSaveClick();
        return delegate;
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
            QSKIP("Needs root: puts the stand-in's authority into the system's certificate store.");
        QCOMPARE(ServiceClient::endpoints().apiHost, QString("localhost:47441"));
        QVERIFY(ServiceClient::extraCaCertificatesPem().isEmpty());
        StandInProvider provider({"localhost"}, StandInProvider::Ports{47441, 47442, 47443});
        provider.addAccount(account);
        {
            const auto untrusted = saveAccount();
            QCOMPARE(logEntries().mid(1), QStringList{"Unable to authenticate!"});
            QCOMPARE(provider.requests().size(), 0);
        }

        const SystemTrust trust(provider.authority());
        const auto delegate = saveAccount();
        QCOMPARE(logEntries().mid(1), (QStringList{"Settings have been saved.", ""}));
        ActivityLog::create();
        const auto cycles = runCycles(1);
        QCOMPARE(cycles[0].mid(2, 3),
                 (QStringList{"Server response: good", "[good] IP address updated.",
                              "Current IPv4 Address: 203.0.113.7"}));
    }

    // Through an HTTP/2 front end of the stand-in's API host: the client speaks HTTP/2
    // wherever the server offers it.
    void requestsGoOutOverHttp2() {
        LocalProvider provider;
        provider.scriptReply("/probe", LocalProvider::reply(200, "ip203.0.113.7"));
        const QString accessLog = home_.filePath("access.log");
        const quint16 frontPort = freeLoopbackPort();
        const QString backPort = provider.endpoints().apiHost.section(':', 1);
        QProcess frontEnd;
        frontEnd.start(
            "nghttpx",
            {"--frontend=127.0.0.1," + QString::number(frontPort),
             "--backend=127.0.0.1," + backPort + ";;tls;sni=localhost",
             "--cacert=" + writeFile(home_.filePath("ca.pem"), provider.authority()), "--workers=1",
             "--accesslog-file=" + accessLog, "--accesslog-format=$alpn $request",
             writeFile(home_.filePath("key.pem"), provider.serverKey()),
             writeFile(home_.filePath("certificate.pem"), provider.serverCertificate())});
        QTRY_VERIFY_WITH_TIMEOUT(accepts(frontPort), 5000);

        std::optional<QString> body;
        QVERIFY(
            MyFunctions::urlExecute(QString("https://localhost:%1/probe").arg(frontPort), body));
        QCOMPARE(body, std::optional<QString>("ip203.0.113.7"));
        frontEnd.terminate();
        QVERIFY(frontEnd.waitForFinished(5000));

        QFile log(accessLog);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines, QStringList{"h2 GET /probe HTTP/2"});
    }

    // The demo saves and updates by itself; the provider sends the reply to the row's request
    // a byte at a time. The quit must neither wait for it nor take the part that came.
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
        StandInProvider provider;
        provider.addAccount({"demo2026", "Demo-pass1", {"home"}});
        StandInProvider::ScriptedReply dripping = StandInProvider::reply(200, body);
        dripping.dripIntervalMilliseconds = 6000 / body.size();
        provider.scriptReply(path, dripping);

        RunningClient client(DEMO_PROGRAM, demoArguments(provider), home_.path());
        QTRY_COMPARE_WITH_TIMEOUT(provider.requestLines().filter(path + "?").size(), 1, 10'000);
        QTest::qWait(1000);
        const qsizetype beforeSignal = client.logged().size();
        QVERIFY(client.endsOn(signal, withinMilliseconds));
        for (const QString& verdict : verdicts)
            QVERIFY2(!client.logged().mid(beforeSignal).contains(verdict), qPrintable(verdict));
        QCOMPARE(QDir(home_.filePath("runtime"))
                     .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
                 QStringList()); // neither socket nor lock outlives a clean exit
    }

    // A copy killed outright leaves its lock behind: the next start runs all the same.
    void startAfterACrashRuns() {
        {
            RunningClient crashed(CLIENT_PROGRAM, {}, home_.path());
            QTRY_VERIFY_WITH_TIMEOUT(crashed.logged().contains(prompt), 10'000);
        } // killed outright on leaving
        RunningClient restarted(CLIENT_PROGRAM, {}, home_.path());
        QTRY_VERIFY_WITH_TIMEOUT(restarted.logged().contains(prompt), 10'000);
    }
};

QTEST_MAIN(ProcessesTest)
#include "tst_processes.moc"
