#pragma once

#include <QByteArray>
#include <chrono>

// Copies text to standard error from a thread of its own, so that a standard error that
// nobody reads holds up only that thread. At most a bounded amount waits; what does not
// fit is dropped and counted, and the count is written as "N lines dropped" once standard
// error takes text again.
namespace StandardErrorWriter {

// Never waits for standard error.
void queue(QByteArray line);

// Sends Qt's own messages through the writer too, so that a warning on the GUI thread
// cannot block it either.
void takeOverQtMessages();

// Gives the writer at most `patience` to write what waits; true when nothing is left.
bool flush(std::chrono::milliseconds patience);

} // namespace StandardErrorWriter
