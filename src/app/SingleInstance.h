#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <memory>

// One running copy per user and settings store. The first start claims a lock and listens
// on a socket in a folder that only this user can enter; a later start asks the running
// copy to show its window and gives way. A lock and socket left by a copy that is gone are
// taken over.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    SingleInstance();

    // True when this process is to run: it is the one copy, or no private folder was
    // found to tell; false after telling the running copy.
    bool claim();
    // Removes the socket and the lock; the process ends without running destructors.
    void release();

signals:
    void anotherStartRequested();

private:
    void listen();
    bool askRunningCopyToShow() const;

    QString socketPath_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer server_;
};
