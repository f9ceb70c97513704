// Soak: the real update loop, with no wait between cycles, against the stand-in provider
// answering every request at random: each reply keyword with all kinds of addresses,
// malformed JSON, empty bodies, error statuses and short stalls. Beside the worker, this
// thread refreshes the log view as the GUI thread does and another thread saves settings as
// Save does.
//
//   build/bench/soak [cycles] 2>/dev/null
//
// Prints resident memory after the first 1,000 cycles and at the end, the longest the log
// ever was, the keys in the settings file and the cycles per second. A crash ends the
// program; its exit status then tells.

#include "StandInProvider.h"
#include "SteppedWait.h"
#include "log/ActivityLog.h"
#include "settings/Settings.h"
#include "settings/UserDefaults.h"
#include "update/ClientUpdate.h"
#include "update/IPUpdateThread.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

using namespace std::chrono;
using Reply = StandInProvider::ScriptedReply;

namespace {

const StandInProvider::Account account{"soak2026", "Soak-pass1", {"home"}};

long residentKiB() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

int pick(int count) {
    return QRandomGenerator::global()->bounded(count);
}

QByteArray randomAddressMember(const char* name) {
    switch (pick(6)) {
    case 0:
        return {}; // absent
    case 1:
        return QByteArray(",\"") + name + "\":null";
    case 2:
        return QByteArray(",\"") + name + "\":\"203.0.113." + QByteArray::number(pick(256)) + '"';
    case 3:
        return QByteArray(",\"") + name + "\":\"1.2\""; // too short to show
    case 4:
        return QByteArray(",\"") + name + "\":42"; // neither text nor null
    default:
        return QByteArray(",\"") + name + "\":\"2001:db8::" + QByteArray::number(pick(999)) + '"';
    }
}

constexpr auto reply = &StandInProvider::reply;

Reply randomUpdateReply() {
    static const QList<QByteArray> statuses = {"good",
                                               "GOOD",
                                               "good 2 hosts",
                                               "nochg",
                                               "dns error",
                                               "911",
                                               "not fully qualified domain name",
                                               "no change",
                                               "abuse",
                                               "no host",
                                               "too many hosts",
                                               "not member",
                                               "bad authentication",
                                               "old version",
                                               "whatever"};
    switch (pick(10)) {
    case 0:
        return reply(200, "{\"statusCode\": \"good\""); // malformed JSON
    case 1:
        return reply(200, {});
    case 2:
        return reply(QList{500, 404, 503, 301}.at(pick(4)), "error");
    case 3: {
        Reply stalled = reply(200, R"({"statusCode":"good"})");
        stalled.delayMilliseconds = 20 + pick(100);
        return stalled;
    }
    default:
        return reply(200, "{\"statusCode\":\"" + statuses.at(pick(statuses.size())) + '"' +
                              randomAddressMember("updatedIPv4Address") +
                              randomAddressMember("updatedIPv6Address") + '}');
    }
}

std::optional<Reply> randomReply(StandInProvider::Host, const QString& path) {
    if (path == "/nic/clientupdate")
        return randomUpdateReply();
    if (pick(8) == 0)
        return reply(500, "ip1.2.3.4");
    return std::nullopt; // the address checks answer as the provider does
}

// The display that the refresh copies the log to, as the preferences window is.
class SoakDisplay : public ActivityLogDisplay {
public:
    void showLog(const QString& text) override { shown = text; }
    void showToolTip(const QString& text) override { toolTip = text; }
    void showCycleOutcome(const CycleOutcome&) override {}

    QString shown;
    QString toolTip;
};

void saveAccount() {
    UserDefaults::setBool(SettingsKeys::updateIPv4Address, true);
    UserDefaults::setBool(SettingsKeys::updateIPv6Address, true);
    UserDefaults::setObject(SettingsKeys::location, account.groups.first());
    UserDefaults::setObject(SettingsKeys::username, account.username);
    MyFunctions::setConfigurationString(SettingsKeys::password, account.password);
    UserDefaults::setBool(SettingsKeys::saved, true);
    UserDefaults::synchronize();
    MyFunctions::setConfigurationString(SettingsKeys::updatedipv4, "");
    MyFunctions::setConfigurationString(SettingsKeys::updatedipv6, "");
    wakeUpdateWorker();
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const int cycles = argc > 1 ? std::atoi(argv[1]) : 20'000;

    QTemporaryDir settingsFolder;
    UserDefaults::useStoreIn(settingsFolder.path());
    StandInProvider provider;
    provider.addAccount(account);
    provider.setReplyChooser(randomReply);
    ServiceClient::configure(provider.endpoints(), provider.authority());
    ActivityLog::create();
    SoakDisplay display;
    ActivityLog::setDisplay(&display);
    saveAccount();

    std::atomic<int> cyclesDone{0};
    std::atomic<qsizetype> longestLog{0};
    std::atomic<long> residentAfter1000{0};
    std::atomic<bool> finished{false};
    int steps = 0;
    const auto wait = std::make_shared<SteppedWait>();
    IPUpdateThread worker(requestClientUpdate, wait);
    wait->step = [&](int) {
        if (steps++ % IPUpdateThread::secondsBetweenCycles != 0)
            return;
        longestLog = std::max(longestLog.load(), ActivityLog::text().size());
        provider.reset(); // the stand-in's record of requests is not the client's memory
        if (++cyclesDone == 1000)
            residentAfter1000 = residentKiB();
        if (cyclesDone == cycles)
            worker.setQuit(true);
    };

    const auto start = steady_clock::now();
    std::thread workerThread([&] {
        worker.process();
        finished = true;
    });
    std::thread saver([&] {
        while (!finished) {
            std::this_thread::sleep_for(50ms);
            saveAccount();
        }
    });
    while (!finished) { // the GUI thread's part
        MyFunctions::refreshActivityLog();
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(5ms);
    }
    workerThread.join();
    saver.join();
    const double seconds = duration<double>(steady_clock::now() - start).count();

    QSettings file(settingsFolder.filePath("Vorlin/IPUpdateClient.conf"), QSettings::IniFormat);
    const QStringList keys = file.allKeys();
    std::printf("cycles                 %d\n", cyclesDone.load());
    std::printf("resident after 1000    %ld KiB\n", residentAfter1000.load());
    std::printf("resident at the end    %ld KiB (growth %ld KiB)\n", residentKiB(),
                residentKiB() - residentAfter1000.load());
    std::printf("longest log            %lld characters\n",
                static_cast<long long>(longestLog.load()));
    std::printf("settings file          %s, %lld keys: %s\n",
                file.status() == QSettings::NoError ? "readable" : "NOT READABLE",
                static_cast<long long>(keys.size()), qPrintable(keys.join(' ')));
    std::printf("cycles per second      %.1f\n", cyclesDone.load() / seconds);
    return 0;
}
