#include "app/ProfileCheckWait.h"

#include "service/AccountVerification.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <memory>
#include <mutex>
#include <thread>

namespace {

constexpr int replyArrived = 1; // any other end of the wait is the application quitting

// Shared with the request's thread, which outlives the wait when the application quits.
struct PendingCheck {
    QString username;
    QString password;
    QString group;
    ProfileCheckOutcome outcome; // read only once the request's thread has ended
    std::mutex mutex;
    QEventLoop* waiting = nullptr; // guarded by mutex; none once the wait is over
};

void askProvider(PendingCheck& check) {
    ProfileCheckOutcome& outcome = check.outcome;
    outcome.answered = MyFunctions::getClientProfileWithGroup(
        check.username, check.password, check.group, outcome.result, outcome.message);
    const std::lock_guard lock(check.mutex);
    if (QEventLoop* loop = check.waiting)
        QMetaObject::invokeMethod(
            loop,
            [loop] {
                // A quit that came first has ended the wait already and keeps its say.
                if (loop->isRunning())
                    loop->exit(replyArrived);
            },
            Qt::QueuedConnection);
}

// Drops the user's input while Save waits: a click or key press must neither run a command
// in the middle of Save nor be replayed once it is over (a second Save would follow).
class UserInputDropper : public QObject {
protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
            return true;
        default:
            return false;
        }
    }
};

} // namespace

std::optional<ProfileCheckOutcome>
checkProfileWhilePainting(const QString& username, const QString& password, const QString& group) {
    const auto check = std::make_shared<PendingCheck>();
    check->username = username;
    check->password = password;
    check->group = group;

    QEventLoop loop;
    check->waiting = &loop;
    std::thread request([check] { askProvider(*check); });
    UserInputDropper dropper;
    QCoreApplication::instance()->installEventFilter(&dropper);
    const int end = loop.exec();
    QCoreApplication::instance()->removeEventFilter(&dropper);
    {
        const std::lock_guard lock(check->mutex);
        check->waiting = nullptr; // the loop goes; a late reply must not reach it
    }
    if (end != replyArrived) {
        request.detach();
        return std::nullopt;
    }
    request.join();
    return std::move(check->outcome);
}
