#include "TemporarySettingsStore.h"
#include "log/ActivityLog.h"
#include "update/IPUpdateThread.h"

#include <QtTest>
#include <chrono>
#include <memory>

using namespace std::chrono;

namespace {

constexpr int runSeconds = 200;

// Runs the worker for runSeconds steps of its wait on clocks of its own, applying the
// script's events ("<second>:<event>") as each second ends; returns the seconds at which
// cycles began.
QList<int> cycleStarts(const QString& script) {
    milliseconds awake{0};
    milliseconds sinceBoot{0};
    auto trigger = std::make_shared<EarlyCycleTrigger>(
        EarlyCycleTrigger::Clocks{[&] { return awake; }, [&] { return sinceBoot; }});
    int second = 0;
    QList<int> starts;
    IPUpdateThread worker([&](const UpdateCycleInputs&) { starts << second; },
                          [&] {
                              awake += 1s;
                              sinceBoot += 1s;
                              ++second;
                              for (const QString& event : script.split(' ', Qt::SkipEmptyParts)) {
                                  if (event.section(':', 0, 0).toInt() != second)
                                      continue;
                                  const QString what = event.section(':', 1);
                                  if (what == "offline" || what == "online")
                                      trigger->reachabilityChanged(what == "online");
                                  else if (what == "suspend")
                                      sinceBoot += 1h;
                                  else if (what == "lag") // a slow step, no sleep
                                      sinceBoot += 3s;
                                  else if (what == "save")
                                      KeepSnoozing = 0;
                              }
                              if (second == runSeconds) {
                                  worker.setQuit(true);
                                  KeepSnoozing = 0;
                              }
                          },
                          trigger);
    worker.process();
    return starts;
}

} // namespace

class EarlyCyclesTest : public QObject {
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

    void triggersEndTheWaitButSpareTheService_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QList<int>>("starts");
        QTest::newRow("nothing: the usual rhythm") << "" << QList<int>{0, 120};
        QTest::newRow("network back") << "40:offline 50:online" << QList<int>{0, 50, 170};
        QTest::newRow("online without being offline") << "50:online" << QList<int>{0, 120};
        QTest::newRow("back 10 s after a cycle: 30 s after it")
            << "5:offline 10:online" << QList<int>{0, 30, 150};
        QTest::newRow("two changes 5 s apart: one cycle")
            << "3:offline 5:online 8:offline 10:online" << QList<int>{0, 30, 150};
        QTest::newRow("resume") << "60:suspend" << QList<int>{0, 60, 180};
        QTest::newRow("slow steps are no resume") << "60:lag 61:lag" << QList<int>{0, 120};
        QTest::newRow("Save is not held back")
            << "5:save 20:offline 25:online" << QList<int>{0, 5, 35, 155};
    }
    void triggersEndTheWaitButSpareTheService() {
        QFETCH(QString, script);
        QFETCH(QList<int>, starts);
        QCOMPARE(cycleStarts(script), starts);
    }
};

QTEST_GUILESS_MAIN(EarlyCyclesTest)
#include "tst_early_cycles.moc"
