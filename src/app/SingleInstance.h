#pragma once

#include "update/UpdaterLock.h"

#include <QLocalServer>
#include <QObject>

// One running copy per settings store. The first start claims the updater lock and listens
// on a socket in a folder that only this user can enter; a later start asks the running
// copy to show its window and gives way. A lock and socket left by a copy that is gone are
// taken over. While the companion's run updates with the same settings, the program does
// not start at all.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    enum class Claim {
        Run,        // the one copy, or the lock could not be made to tell
        ShownOther, // the running copy was asked to show its window
        Refused,    // another program updates with these settings
    };

    SingleInstance();

    Claim claim();
    // Removes the socket and the lock; the process ends without running destructors.
    void release();

signals:
    void anotherStartRequested();

private:
    void listen();
    Claim giveWay() const;
    bool askRunningCopyToShow() const;

    QString socketPath_; // empty without a private folder
    UpdaterLock lock_;
    QLocalServer server_;
};
