#pragma once

#include "app/LaunchFeedback.h"
#include "update/UpdaterLock.h"

#include <QDBusConnection>
#include <QObject>
#include <QVariantMap>

// One running copy per settings file. The first start claims the updater lock and a name on
// the session bus, named after the settings file; a later start asks the copy that owns the
// name to show its window and gives way. A copy that is gone leaves neither behind. While the
// companion's run updates with the same settings, the program does not start at all. Without a
// session bus the program runs anyway, and the lock still keeps a second updater off the
// settings; where the lock cannot be made, the name alone does.
class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    enum class Claim {
        Run,        // the one copy, or nothing can tell
        ShownOther, // another copy runs, and was asked to show its window unless quietly
        Refused,    // another program updates with these settings
        Unanswered, // another copy runs, but does not answer
    };

    explicit SingleInstance(LaunchActivation launch = {});

    // Quietly: a running copy is not asked to show its window.
    Claim claim(bool quietly);
    // Once launched, so that a later start finds the name only where a copy answers; a start
    // meanwhile waits for it. Where the lock cannot be made, the claim took the name already.
    void publish();
    // Why this start gave way when refused or unanswered: a sentence naming the other process,
    // and the file name of its program.
    const QString& reason() const { return reason_; }
    const QString& otherProgram() const { return otherProgram_; }
    // Lets go of the name and the lock; the process ends without running destructors.
    void release();
    // The application's id and a digest of the settings file's canonical path.
    static QString busName();

public slots:
    // A later start's request, with its launcher's activation in the platform data.
    Q_SCRIPTABLE void Activate(const QVariantMap& platformData);

signals:
    void anotherStartRequested(const LaunchActivation& launch);

private:
    Claim giveWay(bool quietly);
    Claim takeName(bool locked, bool quietly);
    Claim askRunningCopy(const std::optional<UpdaterLock::Holder>& holder);
    QDBusMessage activate(const QString& name) const;
    std::optional<UpdaterLock::Holder> nameOwner() const;
    Claim refuse(Claim claim, const std::optional<UpdaterLock::Holder>& other,
                 const QString& reason);

    LaunchActivation launch_;
    UpdaterLock lock_;
    // A connection of its own: Qt's tray and its menu share the default one, and the name is
    // to carry this one method alone.
    QDBusConnection bus_;
    QString reason_;
    QString otherProgram_;
};
