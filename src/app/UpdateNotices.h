#pragma once

#include "log/ActivityLog.h"

#include <optional>

// What the desktop tells the user as update cycles end: once when updates start failing (a
// failure that holds over two cycles in a row, while the network is there: an offline laptop
// is no news), once when they work again after that, and once when they stop because the
// settings vanished or cannot be read.
class UpdateNotices {
public:
    enum class Notice { Failing, WorkingAgain, Stopped };

    // Whether settings were there as the program started.
    explicit UpdateNotices(bool setUp) : setUp_(setUp) {}

    std::optional<Notice> afterCycle(const CycleOutcome& outcome, bool networkDown);

private:
    bool setUp_;
    int failuresInARow_ = 0;
    bool failingTold_ = false;
};
