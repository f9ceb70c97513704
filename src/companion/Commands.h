#pragma once

#include <QStringList>

// The companion's commands. Each returns the process's exit status; the arguments are the
// command's own, its name first.
namespace Companion {

inline constexpr int usageError = 2;
// run and status: settings that cannot be read, or that root may not act on.
inline constexpr int unusableSettings = 4;
// run: the lock beside the settings cannot be made (a full disk, a read-only mount), which
// may pass.
inline constexpr int lockUnavailable = 5;

int setAccount(const QStringList& arguments);
int run(const QStringList& arguments);
int status(const QStringList& arguments);

// Writes a line to standard error, in order with the activity log's copies.
void tell(const QString& line);
// The usage error's line and the way to the help; returns usageError.
int refuseUsage(const QString& problem);
// The command that sets up the account on the settings in use.
QString setUpCommand(const QString& username = QStringLiteral("NAME"));
// For settings whose password a desktop's keyring keeps, where no service reaches: what to
// do instead.
QString keyringOutOfReach();

} // namespace Companion
