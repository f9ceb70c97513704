// Times whole update cycles against the stand-in provider on loopback (two address checks
// and the client update over HTTPS, plus reading the reply) and the wake-up latency after
// KeepSnoozing is cleared during the wait. As root, the cycles take turns between trusting
// the stand-in's authority given to the client, as tests do, and the installed program's
// path: no authority of its own, the stand-in's put into the system's store for the run;
// each in wall time and in CPU time of the client's thread, which the machine's load moves less.
//
//   build/bench/cycle_benchmark [cycles] [wake-ups] 2>/dev/null
//
// The activity log's copy goes to standard error; the figures go to standard output.

#include "StandInProvider.h"
#include "SteppedWait.h"
#include "SystemTrust.h"
#include "log/ActivityLog.h"
#include "settings/Settings.h"
#include "settings/UserDefaults.h"
#include "update/ClientUpdate.h"
#include "update/IPUpdateThread.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace std::chrono;

namespace {

void saveAccount() {
    UserDefaults::setBool(SettingsKeys::saved, true);
    UserDefaults::setObject(SettingsKeys::username, "bench2026");
    MyFunctions::setConfigurationString(SettingsKeys::password, "Bench-pass1");
    UserDefaults::setObject(SettingsKeys::location, "home");
    UserDefaults::setBool(SettingsKeys::updateIPv4Address, true);
    UserDefaults::setBool(SettingsKeys::updateIPv6Address, true);
}

struct Spread {
    double median, p90, max;
};

Spread spreadOf(std::vector<double> milliseconds) {
    std::sort(milliseconds.begin(), milliseconds.end());
    const auto at = [&](double share) {
        return milliseconds[static_cast<size_t>(share * double(milliseconds.size() - 1))];
    };
    return {at(0.5), at(0.9), milliseconds.back()};
}

void report(const char* what, const std::vector<double>& milliseconds) {
    const Spread spread = spreadOf(milliseconds);
    std::printf("%-28s n=%-5zu median %8.2f ms   p90 %8.2f ms   max %8.2f ms\n", what,
                milliseconds.size(), spread.median, spread.p90, spread.max);
}

// The client's CPU time: the stand-in's threads share the process.
double threadCpuMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

struct CycleCost {
    double wall; // milliseconds
    double cpu;  // milliseconds of the worker's thread
};

std::vector<double> each(const std::vector<CycleCost>& costs, double CycleCost::*measure) {
    std::vector<double> values;
    for (const CycleCost& cost : costs)
        values.push_back(cost.*measure);
    return values;
}

void reportSideBySide(const std::vector<CycleCost>& singleAuthority,
                      const std::vector<CycleCost>& systemStore) {
    std::printf("whole cycle (n=%zu)        %14s %14s\n", singleAuthority.size(), "stand-in's CA",
                "system store");
    for (const auto& [name, measure] :
         {std::pair{"wall", &CycleCost::wall}, std::pair{"client CPU", &CycleCost::cpu}}) {
        const Spread single = spreadOf(each(singleAuthority, measure));
        const Spread system = spreadOf(each(systemStore, measure));
        std::printf("  %-10s median       %11.2f ms %11.2f ms   (%.2fx)\n", name, single.median,
                    system.median, system.median / single.median);
        std::printf("  %-10s p90          %11.2f ms %11.2f ms\n", name, single.p90, system.p90);
    }
}

// Whole cycles; beforeCycle, when given, runs untimed before each with its number.
std::vector<CycleCost> cycleCosts(int cycles, const std::function<void(int)>& beforeCycle = {}) {
    std::vector<CycleCost> costs;
    const auto wait = std::make_shared<SteppedWait>();
    IPUpdateThread worker(
        [&](const UpdateCycleInputs& inputs) {
            if (beforeCycle)
                beforeCycle(static_cast<int>(costs.size()));
            const auto start = steady_clock::now();
            const double cpuStart = threadCpuMilliseconds();
            requestClientUpdate(inputs);
            costs.push_back({duration<double, std::milli>(steady_clock::now() - start).count(),
                             threadCpuMilliseconds() - cpuStart});
        },
        wait);
    wait->step = [&](int seconds) {
        if (seconds == cycles * IPUpdateThread::secondsBetweenCycles)
            worker.setQuit(true);
    };
    worker.process();
    return costs;
}

// The worker waits on the system's clocks on a thread of its own; this thread wakes it at a
// random moment of each wait, as Save does.
std::vector<double> wakeUpLatencies(int wakeUps) {
    std::mutex mutex;
    std::vector<steady_clock::time_point> cycleStarts;
    IPUpdateThread worker([&](const UpdateCycleInputs& inputs) {
        {
            const std::lock_guard lock(mutex);
            cycleStarts.push_back(steady_clock::now());
        }
        requestClientUpdate(inputs);
    });
    std::thread thread([&] { worker.process(); });
    const auto cyclesStarted = [&] {
        const std::lock_guard lock(mutex);
        return cycleStarts.size();
    };

    std::vector<double> latencies;
    for (int i = 0; i < wakeUps; ++i) {
        while (cyclesStarted() < size_t(i + 1))
            std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(milliseconds(300 + QRandomGenerator::global()->bounded(900)));
        const auto cleared = steady_clock::now();
        wakeUpdateWorker();
        while (cyclesStarted() < size_t(i + 2))
            std::this_thread::sleep_for(1ms);
        const std::lock_guard lock(mutex);
        latencies.push_back(duration<double, std::milli>(cycleStarts[i + 1] - cleared).count());
    }
    worker.setQuit(true);
    wakeUpdateWorker();
    thread.join();
    return latencies;
}

struct CyclesByTrust {
    std::vector<CycleCost> singleAuthority; // the stand-in's authority given, as tests do
    std::vector<CycleCost> systemStore;     // the installed program's: the system's store alone
};

// The stand-in's authority stays in this thread's copy of the system's store throughout; the
// cycles take turns, so that the machine's load falls alike on both.
CyclesByTrust cycleTimesByTrust(const StandInProvider& provider, int cycles) {
    const SystemTrust trust(provider.authority());
    const auto givenAuthority = [&](int cycle) {
        return cycle % 2 == 0 ? provider.authority() : QByteArray();
    };
    const std::vector<CycleCost> costs = cycleCosts(2 * cycles, [&](int cycle) {
        ServiceClient::configure(provider.endpoints(), givenAuthority(cycle));
    });
    ServiceClient::configure(provider.endpoints(), provider.authority());
    CyclesByTrust byTrust;
    for (size_t cycle = 0; cycle < costs.size(); ++cycle)
        (cycle % 2 == 0 ? byTrust.singleAuthority : byTrust.systemStore).push_back(costs[cycle]);
    return byTrust;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const int cycles = argc > 1 ? std::atoi(argv[1]) : 200;
    const int wakeUps = argc > 2 ? std::atoi(argv[2]) : 10;

    QTemporaryDir settingsFolder;
    UserDefaults::useStoreIn(settingsFolder.path());
    StandInProvider provider;
    provider.addAccount({"bench2026", "Bench-pass1", {"home"}});
    ServiceClient::configure(provider.endpoints(), provider.authority());
    ActivityLog::create();
    saveAccount();

    if (geteuid() == 0) {
        const CyclesByTrust byTrust = cycleTimesByTrust(provider, cycles);
        reportSideBySide(byTrust.singleAuthority, byTrust.systemStore);
    } else {
        report("whole cycle (stand-in's CA)", each(cycleCosts(cycles), &CycleCost::wall));
        std::printf("(cycles on the system's store need root)\n");
    }
    report("wake-up after clear", wakeUpLatencies(wakeUps));
    return 0;
}
