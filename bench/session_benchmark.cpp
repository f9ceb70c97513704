// What the update cycles cost the provider, with and without the TLS sessions that exchanges
// resume: the bytes on the wire per cycle and, as the stand-in reports them, the full
// handshakes and the resumed sessions per cycle. Each way runs its cycles against a stand-in
// of its own; "without" gives every exchange a session cache of its own, as when nothing was
// shared. The bytes are loopback's, so the program wants a network namespace to itself:
//
//   sudo unshare -n sh -c 'ip link set lo up && build/bench/session_benchmark [cycles]' 2>/dev/null
//
// The activity log's copy goes to standard error; the figures go to standard output.

#include "StandInProvider.h"
#include "log/ActivityLog.h"
#include "service/ServiceEndpoints.h"
#include "update/ClientUpdate.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

struct Loopback {
    bool alone = false; // no other interface: the namespace is the benchmark's own
    qint64 bytesSent = -1;
};

// The calling process's network namespace as /proc tells it (/sys shows where it was mounted).
Loopback loopback() {
    QFile devices("/proc/self/net/dev");
    if (!devices.open(QIODevice::ReadOnly))
        return {};
    Loopback seen{true, -1};
    const QList<QByteArray> lines = devices.readAll().split('\n').mid(2);
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = QByteArray(line).replace(':', ' ').simplified().split(' ');
        if (fields.size() < 10)
            continue;
        if (fields[0] == "lo")
            seen.bytesSent = fields[9].toLongLong(); // sent over loopback is received there too
        else
            seen.alone = false;
    }
    return seen;
}

struct Cycles {
    QList<qint64> bytes;
    QList<int> full;
    QList<int> resumed;
};

Cycles runCycles(int cycles, std::chrono::milliseconds sessionLifetime) {
    StandInProvider provider;
    provider.addAccount({"bench2026", "Bench-pass1", {"home"}});
    ServiceClient::configure(provider.endpoints(), provider.authority(),
                             ServiceClient::defaultExchangeBound, sessionLifetime);
    const UpdateCycleInputs inputs{"bench2026", "Bench-pass1", "home", true, true, {}, {}};
    Cycles measured;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        provider.reset();
        const qint64 before = loopback().bytesSent;
        requestClientUpdate(inputs);
        QThread::msleep(100); // the connections' last packets
        measured.bytes << loopback().bytesSent - before;
        const QList<StandInProvider::Request> requests = provider.requests();
        const auto resumed = int(std::count_if(
            requests.begin(), requests.end(), [](const auto& request) { return request.resumed; }));
        measured.resumed << resumed;
        measured.full << int(requests.size()) - resumed;
    }
    return measured;
}

template <typename Number> double meanOf(const QList<Number>& values) {
    double sum = 0;
    for (const Number value : values)
        sum += double(value);
    return values.isEmpty() ? 0 : sum / double(values.size());
}

void printRow(const char* name, const Cycles& without, const Cycles& with,
              double (*measure)(const Cycles&)) {
    std::printf("| %-32s | %16.1f | %16.1f |\n", name, measure(without), measure(with));
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const int cycles = argc > 1 ? std::atoi(argv[1]) : 20;
    if (!loopback().alone || loopback().bytesSent < 0 || cycles < 2) {
        std::fprintf(stderr,
                     "Run it in a network namespace of its own, with loopback up:\n"
                     "  sudo unshare -n sh -c 'ip link set lo up && %s [cycles >= 2]'\n",
                     argv[0]);
        return 2;
    }
    QTemporaryDir settingsFolder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
    ActivityLog::create();

    const Cycles without = runCycles(cycles, std::chrono::milliseconds(0));
    const Cycles with = runCycles(cycles, ServiceClient::defaultSessionLifetime);
    std::printf("%d cycles of 3 exchanges against the stand-in, per cycle:\n\n", cycles);
    std::printf("| %-32s | %16s | %16s |\n|%s|%s|%s|\n", "", "without sessions", "with sessions",
                "----------------------------------", "------------------:", "------------------:");
    printRow("bytes, first cycle", without, with,
             [](const Cycles& c) { return double(c.bytes[0]); });
    printRow("bytes, later cycles (mean)", without, with,
             [](const Cycles& c) { return meanOf(c.bytes.mid(1)); });
    printRow("full handshakes, first cycle", without, with,
             [](const Cycles& c) { return double(c.full[0]); });
    printRow("full handshakes, later (mean)", without, with,
             [](const Cycles& c) { return meanOf(c.full.mid(1)); });
    printRow("resumed, later (mean)", without, with,
             [](const Cycles& c) { return meanOf(c.resumed.mid(1)); });
    printRow("bytes, all cycles (mean)", without, with,
             [](const Cycles& c) { return meanOf(c.bytes); });
    return 0;
}
