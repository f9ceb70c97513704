#pragma once

#include <QString>
#include <chrono>
#include <optional>

// What the companion tells systemd when it runs as a service; nothing otherwise.
namespace Systemd {

void notifyReady();
void notifyStatus(const QString& status);
// The worker is alive: a unit with a watchdog restarts the service when these stop.
void notifyAlive();
// How often to tell it: half the unit's watchdog time; none without a watchdog.
std::optional<std::chrono::milliseconds> aliveInterval();

// Standard error goes to the journal: JOURNAL_STREAM names its device and inode.
bool standardErrorIsJournal();

} // namespace Systemd
