#pragma once

#include <QObject>
#include <memory>

class EarlyCycleTrigger;

// Tells the trigger whenever NetworkManager sees the network go or come back, and counts a
// resume from suspend, as logind reports it, as the network going; for as long as context
// lives. Without NetworkManager on the system bus it says so once on standard error, and the
// updates keep their usual rhythm.
void followNetworkReachability(const std::shared_ptr<EarlyCycleTrigger>& trigger, QObject* context);

// The receiver of those signals.
class NetworkStateFollower : public QObject {
    Q_OBJECT
public:
    NetworkStateFollower(std::shared_ptr<EarlyCycleTrigger> trigger, QObject* parent);

public slots:
    void networkStateChanged(uint state);
    void prepareForSleep(bool sleeping);

private:
    std::shared_ptr<EarlyCycleTrigger> trigger_;
};
