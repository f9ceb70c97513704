#include "app/ProfileCheckWait.h"

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
    AccountEntries entries;
    std::optional<ProfileCheckOutcome> outcome; // read only once the request's thread has ended
    std::mutex mutex;
    QEventLoop* waiting = nullptr; // guarded by mutex; none once the wait is over
};

void askProvider(PendingCheck& check) {
    check.outcome = checkProfileOnThisThread(check.entries);
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

// Drops the user's input while Save waits: a click, key press, input-method commit or drop
// must neither run a command or change an entry in the middle of Save nor be replayed once
// it is over (a second Save would follow).
class UserInputDropper : public QObject {
public:
    explicit UserInputDropper(const std::function<bool(QObject*)>& stillTakesInput)
        : stillTakesInput_(stillTakesInput) {}

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override {
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
        case QEvent::InputMethod: // a commit of ibus, fcitx or a compose key
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return !stillTakesInput_(receiver);
        default:
            return false;
        }
    }

private:
    const std::function<bool(QObject*)>& stillTakesInput_;
};

} // namespace

std::optional<ProfileCheckOutcome>
checkProfileWhilePainting(const AccountEntries& entries,
                          const std::function<bool(QObject*)>& stillTakesInput) {
    const auto check = std::make_shared<PendingCheck>();
    check->entries = entries;

    QEventLoop loop;
    check->waiting = &loop;
    std::thread request([check] { askProvider(*check); });
    UserInputDropper dropper(stillTakesInput);
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
    return check->outcome;
}
