#include "RecordingDisplay.h"
#include "TemporarySettingsStore.h"
#include "log/ActivityLog.h"
#include "settings/Settings.h"
#include "settings/UserDefaults.h"
#include "update/IPUpdateThread.h"

#include <QtTest>
#include <memory>
#include <stdexcept>

using namespace MyFunctions;
using namespace SettingsKeys;

namespace {

// Drives the loop for a given number of cycles without waiting: every wait step is
// counted, and the first step of the last wait sets quit, which ends the loop only when
// that wait is over.
class LoopRun {
public:
    explicit LoopRun(int cycles) : cycles_(cycles) {}

    // The stage may throw to abandon a cycle.
    void run(const std::function<void(const UpdateCycleInputs&)>& stageBody = {}) {
        IPUpdateThread worker(
            [&](const UpdateCycleInputs& inputs) {
                stageCalls.append(inputs);
                if (stageBody)
                    stageBody(inputs);
            },
            [&] {
                if (++sleepSteps == (cycles_ - 1) * IPUpdateThread::secondsBetweenCycles + 1)
                    worker.setQuit(true);
            });
        worker.process();
    }

    QList<UpdateCycleInputs> stageCalls;
    int sleepSteps = 0;

private:
    int cycles_;
};

void storeSavedAccount(const QString& name, const QString& password) {
    TemporarySettingsStore::saveAccount(name, password, "home", true, false);
}

} // namespace

class UpdateLoopTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TemporarySettingsStore> store_;

private slots:
    void init() {
        store_ = std::make_unique<TemporarySettingsStore>();
        ActivityLog::create();
        KeepSnoozing = 1;
    }
    void cleanup() { store_.reset(); }

    void snoozeSleepsUntilTheFlagIsCleared_data() {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<int>("flagBefore");
        QTest::addColumn<int>("clearDuringStep"); // 0: nobody clears it
        QTest::addColumn<int>("expectedSteps");
        QTest::addColumn<int>("flagAfter");
        QTest::newRow("0 seconds, flag cleared: left cleared") << 0 << 0 << 0 << 0 << 0;
        QTest::newRow("cleared before: no sleep, set again") << 3 << 0 << 0 << 0 << 1;
        QTest::newRow("never cleared") << 3 << 1 << 0 << 3 << 1;
        QTest::newRow("cleared during the second of three") << 3 << 1 << 2 << 2 << 1;
        QTest::newRow("cleared during the last: stays cleared") << 3 << 1 << 3 << 3 << 0;
    }
    void snoozeSleepsUntilTheFlagIsCleared() {
        QFETCH(int, seconds);
        QFETCH(int, flagBefore);
        QFETCH(int, clearDuringStep);
        QFETCH(int, expectedSteps);
        QFETCH(int, flagAfter);
        KeepSnoozing = static_cast<std::uint8_t>(flagBefore);
        int steps = 0;
        snooze(seconds, [&] {
            if (++steps == clearDuringStep)
                KeepSnoozing = 0;
        });
        QCOMPARE(steps, expectedSteps);
        QCOMPARE(int(KeepSnoozing.load()), flagAfter);
    }

    void cycleWithoutUsableSettingsSendsAndLogsNothing_data() {
        QTest::addColumn<bool>("savedFlag");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("showsFailure"); // saved, but nothing can be sent
        QTest::newRow("never saved") << false << "alice2024" << QString("secret!") << false;
        QTest::newRow("user name of 3") << true << "ali" << QString("secret!") << true;
        QTest::newRow("password of 3") << true << "alice2024" << QString("abc") << true;
    }
    void cycleWithoutUsableSettingsSendsAndLogsNothing() {
        QFETCH(bool, savedFlag);
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(bool, showsFailure);
        storeSavedAccount(name, password);
        UserDefaults::setBool(saved, savedFlag);
        RecordingDisplay display;
        ActivityLog::setDisplay(&display);

        LoopRun loop(3);
        loop.run();
        QCoreApplication::processEvents();
        ActivityLog::setDisplay(nullptr);
        QCOMPARE(loop.stageCalls.size(), 0);
        QCOMPARE(loop.sleepSteps, 3 * IPUpdateThread::secondsBetweenCycles);
        QCOMPARE(ActivityLog::text(), QString());
        // Handed over every cycle; the display takes the newest.
        QCOMPARE(display.outcomes.size(), showsFailure ? 1 : 0);
        QVERIFY(!showsFailure || !display.outcomes.last().succeeded);
    }

    void firstUpdateFollowsTheRememberedAddresses() {
        storeSavedAccount("alice2024", "secret!");
        // Left by an earlier run: forgotten when the worker starts.
        setConfigurationString(updatedipv4, "198.51.100.7");
        setConfigurationString(updatedipv6, "2001:db8::7");

        // Each cycle's stage leaves the addresses the next cycle is to find.
        const QList<QPair<QString, QString>> rememberedAfter = {
            {"198.51.100.7", ""}, {"", "2001:db8::7"}, {"", ""}, {"1.2.3.4", "2001:db8::7"}};
        LoopRun loop(5);
        int cycle = 0;
        loop.run([&](const UpdateCycleInputs&) {
            if (cycle < rememberedAfter.size()) {
                setConfigurationString(updatedipv4, rememberedAfter[cycle].first);
                setConfigurationString(updatedipv6, rememberedAfter[cycle].second);
            }
            ++cycle;
        });

        QList<bool> firstUpdates;
        for (const auto& inputs : loop.stageCalls)
            firstUpdates << inputs.firstUpdate;
        QCOMPARE(firstUpdates, (QList<bool>{true, false, false, true, false}));
    }

    void failureInACycleEndsOnlyThatCycle() {
        storeSavedAccount("alice2024", "secret!");
        LoopRun loop(3);
        loop.run([&](const UpdateCycleInputs&) {
            addToActivityLog("before the failure");
            if (loop.stageCalls.size() == 1)
                throw std::runtime_error("reply without a status");
        });
        QCOMPARE(loop.stageCalls.size(), 3);
        QCOMPARE(loop.sleepSteps, 3 * IPUpdateThread::secondsBetweenCycles);
        QCOMPARE(ActivityLog::text().count("before the failure"), 3);
    }
};

QTEST_GUILESS_MAIN(UpdateLoopTest)
#include "tst_update_loop.moc"
