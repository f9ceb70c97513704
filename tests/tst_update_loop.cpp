#include "CycleDriver.h"
#include "RecordingDisplay.h"
#include "TemporarySettingsStore.h"

#include <QtTest>
#include <chrono>
#include <memory>
#include <stdexcept>

using namespace MyFunctions;
using namespace SettingsKeys;
using namespace std::chrono;

namespace {

constexpr int cycleSeconds = IPUpdateThread::secondsBetweenCycles;

// Runs the worker for 200 s with the early-cycle trigger on clocks of its own, applying
// the script's events ("<second>:<event>") as each second ends; returns the seconds at
// which cycles began.
QList<int> cycleStarts(const QString& script) {
    milliseconds awake{0}, sinceBoot{0};
    auto trigger = std::make_shared<EarlyCycleTrigger>(
        EarlyCycleTrigger::Clocks{[&] { return awake; }, [&] { return sinceBoot; }});
    int now = 0;
    QList<int> starts;
    const auto applyEvents = [&](int second) {
        now = second;
        awake += 1s;
        sinceBoot += 1s;
        for (const QString& event : script.split(' ', Qt::SkipEmptyParts)) {
            const QString what = event.section(':', 1);
            if (event.section(':', 0, 0).toInt() != second)
                continue;
            if (what == "offline" || what == "online")
                trigger->reachabilityChanged(what == "online");
            else if (what == "suspend")
                sinceBoot += 1h;
            else if (what == "lag") // a slow step, no sleep
                sinceBoot += 3s;
            else if (what == "save")
                KeepSnoozing = 0;
        }
    };
    runWorker([&](const UpdateCycleInputs&) { starts << now; }, 200, applyEvents, trigger);
    return starts;
}

} // namespace

class UpdateLoopTest : public QObject {
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
        TemporarySettingsStore::saveAccount(name, password, "home");
        UserDefaults::setBool(saved, savedFlag);
        RecordingDisplay display;
        ActivityLog::setDisplay(&display);
        int stageCalls = 0;
        runWorker([&](const UpdateCycleInputs&) { ++stageCalls; }, 3 * cycleSeconds);
        QCoreApplication::processEvents();
        ActivityLog::setDisplay(nullptr);
        QCOMPARE(stageCalls, 0);
        QCOMPARE(ActivityLog::text(), QString());
        // Handed over every cycle; the display takes the newest.
        QCOMPARE(display.outcomes.size(), showsFailure ? 1 : 0);
        QVERIFY(!showsFailure || !display.outcomes.last().succeeded);
    }

    void firstUpdateFollowsTheRememberedAddresses() {
        // Left by an earlier run: forgotten when the worker starts.
        setConfigurationString(updatedipv4, "198.51.100.7");
        setConfigurationString(updatedipv6, "2001:db8::7");
        // Each cycle's stage leaves the addresses the next cycle is to find.
        const QList<QPair<QString, QString>> rememberedAfter = {
            {"198.51.100.7", ""}, {"", "2001:db8::7"}, {"", ""}, {"1.2.3.4", "2001:db8::7"}};
        QList<bool> firstUpdates;
        runWorker(
            [&](const UpdateCycleInputs& inputs) {
                firstUpdates << inputs.firstUpdate;
                const auto [ipv4, ipv6] = rememberedAfter.value(firstUpdates.size() - 1);
                setConfigurationString(updatedipv4, ipv4);
                setConfigurationString(updatedipv6, ipv6);
            },
            5 * cycleSeconds);
        QCOMPARE(firstUpdates, (QList<bool>{true, false, false, true, false}));
    }

    void failureInACycleEndsOnlyThatCycle() {
        int stageCalls = 0;
        runWorker(
            [&](const UpdateCycleInputs&) {
                addToActivityLog("before the failure");
                if (++stageCalls == 1)
                    throw std::runtime_error("reply without a status");
            },
            3 * cycleSeconds);
        QCOMPARE(stageCalls, 3);
        QCOMPARE(ActivityLog::text().count("before the failure"), 3);
    }

    // Network changes and resumes end the wait early, yet no sooner than 30 s after a cycle.
    void earlyCycles_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QList<int>>("starts");
        QTest::newRow("nothing: the usual rhythm") << "" << QList<int>{0, 120};
        QTest::newRow("network back") << "40:offline 50:online" << QList<int>{0, 50, 170};
        QTest::newRow("online without being offline") << "50:online" << QList<int>{0, 120};
        QTest::newRow("back 10 s after a cycle") << "5:offline 10:online" << QList<int>{0, 30, 150};
        QTest::newRow("two changes 5 s apart: one cycle")
            << "3:offline 5:online 8:offline 10:online" << QList<int>{0, 30, 150};
        QTest::newRow("resume") << "60:suspend" << QList<int>{0, 60, 180};
        QTest::newRow("slow steps are no resume") << "60:lag 61:lag" << QList<int>{0, 120};
        QTest::newRow("Save is not held back")
            << "5:save 20:offline 25:online" << QList<int>{0, 5, 35, 155};
    }
    void earlyCycles() {
        QFETCH(QString, script);
        QFETCH(QList<int>, starts);
        QCOMPARE(cycleStarts(script), starts);
    }
};

QTEST_GUILESS_MAIN(UpdateLoopTest)
#include "tst_update_loop.moc"
