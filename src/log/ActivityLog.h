#pragma once

#include <QObject>
#include <QString>

// How the newest finished update cycle went, as the status item shows it.
struct CycleOutcome {
    bool setUp = true; // false: no settings were found to update with
    bool succeeded = false;
    // When it did not: "Last update failed at HH:mm: " and the reason in a few words.
    QString failureNote;
    // The status of the service's reply, as it came; empty when no reply was read.
    QString statusWord;
};

// Where the activity log is shown: the preferences window's log view and the status
// item's tooltip and look. The application provides it; it lives on the GUI thread and is
// only ever called there.
class ActivityLogDisplay : public QObject {
public:
    // Replaces the whole shown text and scrolls to its end.
    virtual void showLog(const QString& text) = 0;
    virtual void showToolTip(const QString& text) = 0;
    virtual void showCycleOutcome(const CycleOutcome& outcome) = 0;

protected:
    // Takes the tooltip and outcome that other threads handed over.
    bool event(QEvent* event) override;
};

// The one process-wide log text: CR LF-ended lines, at most 3000 characters of the
// newest ones. Safe to append to from any thread.
namespace ActivityLog {

inline constexpr qint32 maximumLength = 3000;

// Starts the log empty; the entry point calls it once, before any thread appends.
void create();
QString text();
// The display to refresh and to set the tooltip of; nullptr detaches it. Call on the
// GUI thread.
void setDisplay(ActivityLogDisplay* display);
// Standard error is the journal, which stamps every line itself and ends lines with LF
// alone: the copies go without the log's stamp and CR. Call before any thread appends.
void copyToJournal();
// Whether a terminal or the journal could take the character as a command, the start of a
// line, or a reordering of what surrounds it (bidi overrides and isolates, zero-width marks).
bool needsEscaping(char32_t c);
// The text with every control and format character, and every line separator, shown as
// \xNN, \uNNNN or \UNNNNNNNN: what the service sent cannot act on a terminal.
QString terminalSafe(const QString& text);

} // namespace ActivityLog

namespace MyFunctions {

// Appends the message behind a "yyyy-MM-dd HH:mm:ss " local time stamp and a CR LF, then
// trims the log. A null or empty message, or "\r\n" alone, appends a bare CR LF. Every
// appended text is also copied to standard error, without waiting for it, with control and
// format characters and line separators other than its closing CR LF shown as \xNN, \uNNNN
// or \UNNNNNNNN.
void addToActivityLog(const QString& message = QString());
// The same, with another text for the standard-error copy: what the user typed by mistake
// stays out of the journal, where a desktop session's standard error ends up.
void addToActivityLog(const QString& message, const QString& standardErrorCopy);

// Drops whole lines from the front until the text is at most maximumLength long; a text
// without any CR LF is left as it is.
QString& trimMutableString(QString& text, qint32 maximumLength);

// Copies the log to the display's view when it changed since the display was last shown it.
// GUI thread only.
void refreshActivityLog();

// Hands the tooltip text to the display on the GUI thread; callable from any thread.
void setToolTip(const QString& text);

// Hand how the cycle ended to the display on the GUI thread; callable from any thread. A
// failure is stamped with the local time of the report. The status word is the reply's.
void reportCycleSucceeded(const QString& statusWord);
void reportCycleFailed(const QString& reason, const QString& statusWord = QString());
void reportCycleNotSetUp();

} // namespace MyFunctions
