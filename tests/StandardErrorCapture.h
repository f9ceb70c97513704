#pragma once

#include "log/StandardErrorWriter.h"

#include <QString>
#include <QThread>
#include <chrono>
#include <fcntl.h>
#include <unistd.h>

// Points standard error at a pipe that nobody reads until finish() reads it all and points
// standard error back.
class StandardErrorCapture {
public:
    StandardErrorCapture() {
        StandardErrorWriter::flush(std::chrono::seconds(5)); // earlier lines go where they were
        if (::pipe2(ends_, O_CLOEXEC) != 0)
            qFatal("no pipe for standard error");
        ::fcntl(ends_[0], F_SETFL, O_NONBLOCK);
        saved_ = ::dup(STDERR_FILENO);
        ::dup2(ends_[1], STDERR_FILENO);
    }
    StandardErrorCapture(const StandardErrorCapture&) = delete;
    StandardErrorCapture& operator=(const StandardErrorCapture&) = delete;
    ~StandardErrorCapture() { finish(); }

    // Reads until the log's copy has nothing left to write.
    QString finish() {
        if (saved_ < 0)
            return QString::fromUtf8(captured_);
        for (;;) {
            const bool written = StandardErrorWriter::flush(std::chrono::milliseconds(0));
            char buffer[65536];
            const ssize_t count = ::read(ends_[0], buffer, sizeof buffer);
            if (count > 0)
                captured_.append(buffer, count);
            else if (written)
                break;
            else
                QThread::msleep(1);
        }
        ::dup2(saved_, STDERR_FILENO);
        for (int fd : {saved_, ends_[0], ends_[1]})
            ::close(fd);
        saved_ = -1;
        return QString::fromUtf8(captured_);
    }

private:
    int ends_[2] = {-1, -1};
    int saved_ = -1;
    QByteArray captured_;
};
