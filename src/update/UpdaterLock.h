#pragma once

#include <QString>
#include <optional>

// One updater per settings file: the desktop program and the companion's run each hold this
// lock while their worker runs, since two of them would send the service twice the updates.
// It lies beside the settings file, so every user and program that uses the file meets it
// there.
//
// The kernel keeps the lock: a record lock on the file (fcntl), held on a descriptor that stays
// open for the life of the updater, so it goes with the process however that ends. Whether it is
// held, and by which process, is the kernel's answer too. The file holds the holder's program
// name, a label for messages only, shown where the kernel does not tell the program.
// A process drops its record locks when it closes any descriptor of the file, so nothing else
// in an updater may open it.
class UpdaterLock {
public:
    // The process that holds the lock.
    struct Holder {
        qint64 pid = 0;  // 0 or less: one out of this machine's sight (another host of a
                         // network file system, another PID namespace)
        QString program; // the file name of its executable, else the holder's label for it;
                         // empty when neither can be read

        // "vorlin-ipupdated (process 42)", for the messages that name it.
        QString description() const;
    };
    enum class Claim { Claimed, HeldByAnother, Unavailable };

    // For the settings file in use now.
    UpdaterLock();
    ~UpdaterLock();
    UpdaterLock(const UpdaterLock&) = delete;
    UpdaterLock& operator=(const UpdaterLock&) = delete;

    Claim claim();
    bool holds() const { return descriptor_ >= 0; }
    // Removes the file and lets go.
    void release();
    // The updater that runs on this settings file, if another process does.
    std::optional<Holder> holder() const;

    QString path() const { return path_; }
    static QString settingsFile();
    // Beside the settings file, named after it with another ending.
    static QString besideSettings(const QString& ending);
    // The file name of the program that a process runs, also after an upgrade replaced its
    // file; empty when it cannot be read.
    static QString programOf(qint64 pid);

private:
    QString path_;
    int descriptor_ = -1; // open while the lock is held
};
