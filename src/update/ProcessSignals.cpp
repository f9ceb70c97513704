#include "update/ProcessSignals.h"

#include "log/StandardErrorWriter.h"
#include "update/Snooze.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: the event loop reads the byte and quits.
void onTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

// A lock-free atomic store and a write are async-signal-safe.
void onWakeSignal(int) {
    wakeUpdateWorker();
}
static_assert(std::atomic<std::uint8_t>::is_always_lock_free);

void handle(int signal, void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
}

} // namespace

void quitOnTerminationSignals(std::initializer_list<int> ending) {
    // Close-on-exec, so that the browsers we launch do not inherit it; non-blocking, so
    // that the handler never waits on a full pair.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0)
        return;
    auto* notifier =
        new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, QCoreApplication::instance(),
                     [] { QCoreApplication::quit(); });
    for (int signal : ending)
        handle(signal, onTerminationSignal);
}

void wakeWorkerOnSignals(std::initializer_list<int> waking) {
    for (int signal : waking)
        handle(signal, onWakeSignal);
}

void wakeWorkerOf(qint64 pid) {
    // 0 and below would signal whole process groups.
    if (pid > 0)
        ::kill(static_cast<pid_t>(pid), SIGUSR1);
}

void endProcess(int status) {
    StandardErrorWriter::flush(std::chrono::milliseconds(200));
    std::_Exit(status);
}
