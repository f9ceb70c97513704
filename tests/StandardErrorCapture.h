#pragma once

#include "log/StandardErrorWriter.h"

#include <QString>
#include <chrono>
#include <fcntl.h>
#include <unistd.h>

// Standard error into a pipe that nobody reads until finish() reads it and puts it back.
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
    ~StandardErrorCapture() {
        if (saved_ >= 0)
            finish();
    }
    Q_DISABLE_COPY(StandardErrorCapture)

    // Reads until the log's copy has nothing left to write; once only.
    QString finish() {
        for (bool written = false; !written;) {
            written = StandardErrorWriter::flush(std::chrono::milliseconds(1));
            char buffer[65536];
            for (ssize_t count; (count = ::read(ends_[0], buffer, sizeof buffer)) > 0;)
                captured_.append(buffer, count);
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
