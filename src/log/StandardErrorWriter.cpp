#include "log/StandardErrorWriter.h"

#include <QString>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

constexpr qsizetype maximumQueuedBytes = 64 * 1024;

// Gives up on the text when standard error fails for any reason but an interruption.
void writeWhole(const QByteArray& text) {
    const char* next = text.constData();
    qsizetype left = text.size();
    while (left > 0) {
        const ssize_t written = ::write(STDERR_FILENO, next, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        next += written;
        left -= written;
    }
}

// A reader that went away must not end the program: the write fails with EPIPE instead.
void ignoreBrokenPipeOnThisThread() {
    sigset_t brokenPipe;
    sigemptyset(&brokenPipe);
    sigaddset(&brokenPipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &brokenPipe, nullptr);
}

QByteArray droppedNotice(qint64 count) {
    return QByteArray::number(count) + " lines dropped\r\n";
}

class Writer {
public:
    Writer() {
        std::thread([this] { run(); }).detach();
    }

    void queue(QByteArray line) {
        const std::lock_guard lock(mutex_);
        if (queuedBytes_ + line.size() > maximumQueuedBytes) {
            ++dropped_;
            return;
        }
        if (dropped_ > 0)
            push(takeDroppedNotice());
        push(std::move(line));
        changed_.notify_all();
    }

    bool flush(std::chrono::milliseconds patience) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, patience, [this] { return idle(); });
    }

private:
    void run() {
        ignoreBrokenPipeOnThisThread();
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return !idle(); });
            const QByteArray text = takeNext();
            writing_ = true;
            lock.unlock();
            writeWhole(text);
            lock.lock();
            writing_ = false;
            changed_.notify_all();
        }
    }

    void push(QByteArray text) {
        queuedBytes_ += text.size();
        lines_.push_back(std::move(text));
    }

    bool idle() const { return lines_.empty() && dropped_ == 0 && !writing_; }

    // The queued lines were all queued before anything was dropped, so the notice of the
    // drops goes after them.
    QByteArray takeNext() {
        if (lines_.empty())
            return takeDroppedNotice();
        QByteArray line = std::move(lines_.front());
        lines_.pop_front();
        queuedBytes_ -= line.size();
        return line;
    }

    QByteArray takeDroppedNotice() { return droppedNotice(std::exchange(dropped_, 0)); }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<QByteArray> lines_;
    qsizetype queuedBytes_ = 0;
    qint64 dropped_ = 0;
    bool writing_ = false;
};

// Never destroyed: at exit its thread may still be blocked on standard error.
Writer& writer() {
    static auto* const instance = new Writer;
    return *instance;
}

} // namespace

namespace StandardErrorWriter {

void queue(QByteArray line) {
    writer().queue(std::move(line));
}

bool flush(std::chrono::milliseconds patience) {
    return writer().flush(patience);
}

void takeOverQtMessages() {
    qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
            queue((qFormatLogMessage(type, context, message) + '\n').toUtf8());
            if (type == QtFatalMsg) // the program ends when this returns
                flush(std::chrono::milliseconds(200));
        });
}

} // namespace StandardErrorWriter
