#include "DataRow.h"
#include "StandInProvider.h"

#include <QtTest>
#include <csignal>

namespace {

const QString prompt = "Please enter your username and password.";

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

class AppProcessTest : public QObject {
    Q_OBJECT

    QTemporaryDir home_;

    // The demo's arguments for the stand-in, whose authority it is given in a file.
    QStringList demoArguments(const StandInProvider& provider) const {
        QFile pem(home_.filePath("ca.pem"));
        if (!pem.open(QIODevice::WriteOnly) || pem.write(provider.authority()) <= 0)
            qFatal("cannot write the authority");
        const ServiceEndpoints endpoints = provider.endpoints();
        return {"--settings", home_.filePath("demo-settings"),
                "--api",      endpoints.apiHost,
                "--ipv4",     endpoints.ipv4Host,
                "--ipv6",     endpoints.ipv6Host,
                "--ca",       pem.fileName()};
    }

private slots:
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
        StandInProvider::ScriptedReply dripping;
        dripping.body = body;
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

QTEST_GUILESS_MAIN(AppProcessTest)
#include "tst_app_process.moc"
