#include "app/NetworkReachability.h"

#include "log/StandardErrorWriter.h"
#include "update/EarlyCycleTrigger.h"

#include <QNetworkInformation>

namespace {

bool loadReachabilityBackend() {
#ifdef Q_OS_LINUX
    return QNetworkInformation::loadBackendByName(u"networkmanager");
#else
    return QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability);
#endif
}

// Anything short of the internet counts as offline. Unknown too: it is how NetworkManager's
// asleep and connecting states arrive, and its later "online" must end the wait.
bool isOnline(QNetworkInformation::Reachability reachability) {
    return reachability == QNetworkInformation::Reachability::Online;
}

} // namespace

void followNetworkReachability(const std::shared_ptr<EarlyCycleTrigger>& trigger,
                               QObject* context) {
    if (!loadReachabilityBackend()) {
        StandardErrorWriter::queue(
            "Cannot follow the network: no network status service is available.\n");
        return;
    }
    const auto tell = [trigger](QNetworkInformation::Reachability reachability) {
        trigger->reachabilityChanged(isOnline(reachability));
    };
    QNetworkInformation* information = QNetworkInformation::instance();
    tell(information->reachability());
    QObject::connect(information, &QNetworkInformation::reachabilityChanged, context, tell);
}
