#include "app/UpdateNotices.h"

std::optional<UpdateNotices::Notice> UpdateNotices::afterCycle(const CycleOutcome& outcome,
                                                               bool networkDown) {
    if (!outcome.setUp) {
        const bool stopped = setUp_;
        setUp_ = false;
        failuresInARow_ = 0;
        failingTold_ = false;
        return stopped ? std::optional(Notice::Stopped) : std::nullopt;
    }
    setUp_ = true;
    if (outcome.succeeded) {
        failuresInARow_ = 0;
        if (!failingTold_)
            return std::nullopt;
        failingTold_ = false;
        return Notice::WorkingAgain;
    }
    if (networkDown || ++failuresInARow_ < 2 || failingTold_)
        return std::nullopt;
    failingTold_ = true;
    return Notice::Failing;
}
