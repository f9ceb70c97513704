#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <memory>

// One running copy per user and settings store. The first start claims a lock and listens;
// a later start asks the running copy to show its window and gives way. A lock left by a
// crashed copy is taken over.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    SingleInstance();

    // True when this process is the one copy; false after telling the running copy.
    bool claim();

signals:
    void anotherStartRequested();

private:
    bool askRunningCopyToShow() const;

    QString name_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer server_;
};
