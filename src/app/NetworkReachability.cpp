#include "app/NetworkReachability.h"

#include "log/StandardErrorWriter.h"
#include "update/EarlyCycleTrigger.h"

#include <QDBusConnection>
#include <QDBusMessage>

namespace {

const QString networkService = "org.freedesktop.NetworkManager";
const QString networkPath = "/org/freedesktop/NetworkManager";
const QString loginService = "org.freedesktop.login1";
const QString loginPath = "/org/freedesktop/login1";
// NetworkManager's NM_STATE_CONNECTED_GLOBAL. Anything less counts as offline: asleep,
// connecting, or a network without a way to the internet.
constexpr uint connectedGlobal = 70;
// A start is not held up longer than this by a NetworkManager that does not answer.
constexpr int stateQueryMilliseconds = 2000;

std::optional<uint> currentNetworkState(const QDBusConnection& bus) {
    const QDBusMessage reply = bus.call(
        QDBusMessage::createMethodCall(networkService, networkPath, networkService, "state"),
        QDBus::Block, stateQueryMilliseconds);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    return reply.arguments().constFirst().toUInt();
}

} // namespace

NetworkStateFollower::NetworkStateFollower(std::shared_ptr<EarlyCycleTrigger> trigger,
                                           QObject* parent)
    : QObject(parent), trigger_(std::move(trigger)) {}

void NetworkStateFollower::networkStateChanged(uint state) {
    trigger_->reachabilityChanged(state == connectedGlobal);
}

// The network reconnects after a resume: it counts as gone until NetworkManager reports it
// back, or the trigger's fallback ends the wait.
void NetworkStateFollower::prepareForSleep(bool sleeping) {
    if (!sleeping)
        trigger_->resumed();
}

void followNetworkReachability(const std::shared_ptr<EarlyCycleTrigger>& trigger,
                               QObject* context) {
    QDBusConnection bus = QDBusConnection::systemBus();
    const std::optional<uint> state = currentNetworkState(bus);
    if (!state) {
        StandardErrorWriter::queue(
            "Cannot follow the network: no network status service is available.\n");
        return;
    }
    auto* follower = new NetworkStateFollower(trigger, context);
    follower->networkStateChanged(*state);
    bus.connect(networkService, networkPath, networkService, "StateChanged", follower,
                SLOT(networkStateChanged(uint)));
    bus.connect(loginService, loginPath, loginService + ".Manager", "PrepareForSleep", follower,
                SLOT(prepareForSleep(bool)));
}
