#include "app/ProfileCheckWait.h"

#include <QCoreApplication>
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

} // namespace

std::optional<ProfileCheckOutcome> checkProfileWhilePainting(const AccountEntries& entries) {
    const auto check = std::make_shared<PendingCheck>();
    check->entries = entries;

    QEventLoop loop;
    check->waiting = &loop;
    std::thread request([check] { askProvider(*check); });
    const int end = loop.exec();
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
