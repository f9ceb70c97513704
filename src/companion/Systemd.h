#pragma once

#include <QString>

// What the companion tells systemd when it runs as a service; nothing otherwise.
namespace Systemd {

void notifyReady();
void notifyStatus(const QString& status);
// The worker is alive: a unit with a watchdog restarts the service when these stop.
void notifyAlive();

// Standard error goes to the journal: JOURNAL_STREAM names its device and inode.
bool standardErrorIsJournal();

} // namespace Systemd
