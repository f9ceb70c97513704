#pragma once

#include <QLockFile>
#include <QString>
#include <optional>

// One updater per settings file: the desktop program and the companion's run each hold this
// lock while their worker runs, since two of them would send the service twice the updates.
// It lies beside the settings file, so every user and program that uses the file meets it
// there. A lock whose process is gone is taken over.
class UpdaterLock {
public:
    // The program that holds the lock, as the lock file names it.
    struct Holder {
        qint64 pid = 0;
        QString program;
        bool onThisMachine = true;
    };
    enum class Claim { Claimed, HeldByAnother, Unavailable };

    // For the settings file in use now.
    UpdaterLock();

    Claim claim();
    void release();
    // The updater that runs on this settings file, if one does.
    std::optional<Holder> holder() const;

    QString path() const { return path_; }
    static QString settingsFile();
    // Beside the settings file, named after it with another ending.
    static QString besideSettings(const QString& ending);

private:
    QString path_;
    QLockFile lock_;
};
