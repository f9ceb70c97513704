#include "log/ActivityLog.h"

#include "log/StandardErrorWriter.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <mutex>
#include <optional>

namespace {

const auto lineEnd = QStringLiteral("\r\n");

// One lock for the text and the display pointer: an append with its trim, a refresh's
// compare-and-copy and a tooltip hand-off never overlap.
std::mutex logMutex;
QString logText;
// Counted, not measured: a full log keeps its length while identical entries push out
// the oldest.
quint64 logChanges = 0;
ActivityLogDisplay* logDisplay = nullptr;
std::optional<quint64> shownChanges; // what the display was last shown; none: nothing yet
// The newest tooltip and cycle outcome not yet shown: the GUI thread takes them when the
// event below arrives, so they pass between the threads under this file's lock, not inside
// the event.
std::optional<QString> pendingToolTip;
std::optional<CycleOutcome> pendingOutcome;
const auto statusEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
bool journalCopies = false;

// A copy that shares no buffer with the log: Qt's copy-on-write tells "shared" from "mine"
// by a relaxed count, which gives another thread no ordering against the next append.
QString unsharedCopyOfLog() {
    return QString(logText.constData(), logText.size());
}

QString entryFor(const QString& stamp, const QString& message) {
    if (message.isEmpty() || message == lineEnd)
        return lineEnd;
    return stamp + message + lineEnd;
}

// Leaves the value in its slot for the GUI thread, which takes the newest when the event
// arrives. Posted under the lock, so the display cannot be detached meanwhile; Qt drops the
// event if the display is destroyed before it arrives.
template <typename Value> void handOver(std::optional<Value>& slot, const Value& value) {
    const std::lock_guard lock(logMutex);
    if (!logDisplay)
        return;
    slot = value;
    QCoreApplication::postEvent(logDisplay, new QEvent(statusEvent));
}

QString escaped(char32_t c) {
    if (c <= 0xff)
        return QStringLiteral("\\x%1").arg(c, 2, 16, QChar(u'0'));
    if (c <= 0xffff)
        return QStringLiteral("\\u%1").arg(c, 4, 16, QChar(u'0'));
    return QStringLiteral("\\U%1").arg(c, 8, 16, QChar(u'0'));
}

// Service replies reach the log, and what they hold must show on standard error as it is:
// every character but the entry's closing CR LF is made safe.
QByteArray terminalSafe(const QString& entry) {
    return (ActivityLog::terminalSafe(entry.chopped(lineEnd.size())) + lineEnd).toUtf8();
}

QByteArray copyForStandardError(const QString& stamp, const QString& message) {
    if (!journalCopies)
        return terminalSafe(entryFor(stamp, message));
    return terminalSafe(entryFor(QString(), message)).chopped(lineEnd.size()) + '\n';
}

} // namespace

namespace ActivityLog {

void create() {
    const std::lock_guard lock(logMutex);
    logText = QString();
    ++logChanges;
}

QString text() {
    const std::lock_guard lock(logMutex);
    return unsharedCopyOfLog();
}

void setDisplay(ActivityLogDisplay* display) {
    const std::lock_guard lock(logMutex);
    logDisplay = display;
    shownChanges.reset();
    pendingToolTip.reset();
    pendingOutcome.reset();
}

void copyToJournal() {
    journalCopies = true;
}

bool needsEscaping(char32_t c) {
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

QString terminalSafe(const QString& text) {
    QString safe;
    safe.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {
        if (needsEscaping(c))
            safe += escaped(c);
        else
            safe += QString::fromUcs4(&c, 1);
    }
    return safe;
}

} // namespace ActivityLog

namespace MyFunctions {

void addToActivityLog(const QString& message) {
    addToActivityLog(message, message);
}

void addToActivityLog(const QString& message, const QString& standardErrorCopy) {
    // Stamped and queued for standard error under the lock, so neither the log nor its copy
    // has stamps running backwards; the queue never waits for standard error.
    const std::lock_guard lock(logMutex);
    const QString stamp = QDateTime::currentDateTime().toString(u"yyyy-MM-dd HH:mm:ss ");
    logText.append(entryFor(stamp, message));
    ++logChanges;
    trimMutableString(logText, ActivityLog::maximumLength);
    StandardErrorWriter::queue(copyForStandardError(stamp, standardErrorCopy));
}

QString& trimMutableString(QString& text, qint32 maximumLength) {
    while (text.size() > maximumLength && !text.isEmpty()) {
        const qsizetype firstLineEnd = text.indexOf(lineEnd);
        if (firstLineEnd < 0)
            break;
        text.remove(0, firstLineEnd + lineEnd.size());
    }
    return text;
}

void refreshActivityLog() {
    ActivityLogDisplay* display = nullptr;
    QString copy;
    {
        const std::lock_guard lock(logMutex);
        display = logDisplay;
        if (!display || shownChanges == logChanges)
            return;
        copy = unsharedCopyOfLog();
        shownChanges = logChanges;
    }
    display->showLog(copy);
}

void setToolTip(const QString& text) {
    handOver(pendingToolTip, text);
}

void reportCycleSucceeded(const QString& statusWord) {
    handOver(pendingOutcome, CycleOutcome{true, true, QString(), statusWord});
}

void reportCycleNotSetUp() {
    handOver(pendingOutcome, CycleOutcome{false, false, QString(), QString()});
}

void reportCycleFailed(const QString& reason, const QString& statusWord) {
    const QString time = QDateTime::currentDateTime().toString(u"HH:mm");
    handOver(
        pendingOutcome,
        CycleOutcome{true, false, "Last update failed at " + time + ": " + reason, statusWord});
}

} // namespace MyFunctions

bool ActivityLogDisplay::event(QEvent* event) {
    if (event->type() != statusEvent)
        return QObject::event(event);
    std::optional<QString> toolTip;
    std::optional<CycleOutcome> outcome;
    {
        const std::lock_guard lock(logMutex);
        toolTip.swap(pendingToolTip);
        outcome.swap(pendingOutcome);
    }
    if (toolTip)
        showToolTip(*toolTip);
    if (outcome)
        showCycleOutcome(*outcome);
    return true;
}
