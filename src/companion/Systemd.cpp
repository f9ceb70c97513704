#include "companion/Systemd.h"

#include <QByteArray>
#include <algorithm>
#include <sys/stat.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

namespace Systemd {

void notifyReady() {
    sd_notify(0, "READY=1");
}

void notifyStatus(const QString& status) {
    sd_notify(0, ("STATUS=" + status.toUtf8()).constData());
}

void notifyAlive() {
    sd_notify(0, "WATCHDOG=1");
}

std::optional<std::chrono::milliseconds> aliveInterval() {
    uint64_t microseconds = 0;
    if (sd_watchdog_enabled(0, &microseconds) <= 0)
        return std::nullopt;
    // Never a wait so short that it would spin.
    return std::max(std::chrono::milliseconds(microseconds / 2000), std::chrono::milliseconds(100));
}

bool standardErrorIsJournal() {
    const QByteArray stream = qgetenv("JOURNAL_STREAM");
    struct stat standardError = {};
    if (stream.isEmpty() || ::fstat(STDERR_FILENO, &standardError) != 0)
        return false;
    return stream == QByteArray::number(quint64(standardError.st_dev)) + ':' +
                         QByteArray::number(quint64(standardError.st_ino));
}

} // namespace Systemd
