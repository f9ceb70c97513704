#include "StandInProvider.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <memory>

namespace {

const StandInProvider::Account demoAccount{"demo2026", "Demo-pass1", {"home"}};

// A running copy of one of the programs, offscreen, with a config and runtime folder of
// its own.
class RunningClient {
public:
    RunningClient(const QString& program, const QStringList& arguments, const QString& homeFolder) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_CONFIG_HOME", homeFolder + "/config");
        environment.insert("XDG_RUNTIME_DIR", homeFolder + "/runtime");
        QDir().mkpath(homeFolder + "/runtime");
        QFile::setPermissions(homeFolder + "/runtime",
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
    }
    ~RunningClient() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }

    // Waits until the copy's activity (its log on standard error) shows the text.
    bool logs(const QString& text, int milliseconds = 10'000) {
        QElapsedTimer clock;
        clock.start();
        while (!errors.contains(text) && clock.elapsed() < milliseconds) {
            process.waitForReadyRead(100);
            errors += QString::fromUtf8(process.readAllStandardError());
        }
        return errors.contains(text);
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
        const QString caFile = home_.filePath("ca.pem");
        QFile pem(caFile);
        if (!pem.open(QIODevice::WriteOnly) || pem.write(provider.authority()) <= 0)
            qFatal("cannot write %s", qPrintable(caFile));
        pem.close();
        const ServiceEndpoints endpoints = provider.endpoints();
        return {"--settings", home_.filePath("demo-settings"),
                "--api",      endpoints.apiHost,
                "--ipv4",     endpoints.ipv4Host,
                "--ipv6",     endpoints.ipv6Host,
                "--ca",       caFile};
    }

private slots:
    void terminationEndsTheProgramPromptly_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }
    // While the provider holds the worker's update request open.
    void terminationEndsTheProgramPromptly() {
        QFETCH(int, signal);
        StandInProvider provider;
        provider.addAccount(demoAccount);
        StandInProvider::ScriptedReply silent;
        silent.silent = true;
        provider.scriptReply("/nic/clientupdate", silent);

        RunningClient client(DEMO_PROGRAM, demoArguments(provider), home_.path());
        QVERIFY(client.logs("Updating IP address for username demo2026"));
        QTRY_COMPARE_WITH_TIMEOUT(provider.requestLines().filter("/nic/clientupdate?").size(), 1,
                                  5000);
        QElapsedTimer clock;
        clock.start();
        ::kill(client.process.processId(), signal);
        QVERIFY(client.process.waitForFinished(2000));
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(client.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(client.process.exitCode(), 0);
    }

    // The demo's Save waits for a verdict whose body comes a byte at a time; the quit must
    // neither take the part that came as a reply nor log any verdict.
    void terminationDuringSaveLogsNoVerdict() {
        StandInProvider provider;
        provider.addAccount(demoAccount);
        StandInProvider::ScriptedReply dripping;
        dripping.body = StandInProvider::profileReplyBody(R"({"result":true})");
        dripping.dripIntervalMilliseconds = 3000 / dripping.body.size();
        provider.scriptReply("/nic/getclientprofilewithgroup", dripping);

        RunningClient client(DEMO_PROGRAM, demoArguments(provider), home_.path());
        QTRY_COMPARE_WITH_TIMEOUT(
            provider.requestLines().filter("/nic/getclientprofilewithgroup?").size(), 1, 10'000);
        QTest::qWait(1000);
        QElapsedTimer clock;
        clock.start();
        ::kill(client.process.processId(), SIGTERM);
        QVERIFY(client.process.waitForFinished(2000));
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(client.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(client.process.exitCode(), 0);
        client.errors += QString::fromUtf8(client.process.readAllStandardError());
        for (const char* verdict : {"Unable to authenticate!", "Authentication failed!",
                                    "Settings have been saved.", "could not be stored"})
            QVERIFY2(!client.errors.contains(verdict), verdict);
    }

    void secondStartGivesWayToTheRunningCopy() {
        RunningClient first(CLIENT_PROGRAM, {}, home_.path());
        QVERIFY(first.logs("Please enter your username and password."));
        RunningClient second(CLIENT_PROGRAM, {}, home_.path());
        QVERIFY(second.process.waitForFinished(5000));
        QCOMPARE(second.process.exitCode(), 0);
        QVERIFY(!second.errors.contains("Please enter"));
        QTest::qWait(300);
        QCOMPARE(first.process.state(), QProcess::Running);
    }

    void lockLeftByACrashDoesNotBlockTheNextStart() {
        {
            RunningClient crashed(CLIENT_PROGRAM, {}, home_.path());
            QVERIFY(crashed.logs("Please enter your username and password."));
            ::kill(crashed.process.processId(), SIGKILL);
            QVERIFY(crashed.process.waitForFinished(2000));
        }
        RunningClient next(CLIENT_PROGRAM, {}, home_.path());
        QVERIFY(next.logs("Please enter your username and password."));
        QTest::qWait(300);
        QCOMPARE(next.process.state(), QProcess::Running);
        next.process.terminate();
        QVERIFY(next.process.waitForFinished(2000));
        QCOMPARE(next.process.exitCode(), 0);
        QCOMPARE(QDir(home_.filePath("runtime"))
                     .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
                 QStringList()); // neither socket nor lock outlives a clean exit
    }

    void demoSavesAndCompletesAFirstCycle() {
        RunningClient demo(DEMO_PROGRAM, {"--settings", home_.filePath("own-demo")}, home_.path());
        QVERIFY(demo.logs("Settings have been saved."));
        QVERIFY(demo.logs("[good] IP address updated."));
    }
};

QTEST_GUILESS_MAIN(AppProcessTest)
#include "tst_app_process.moc"
