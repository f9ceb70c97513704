#include "app/NetworkReachability.h"

#include "log/StandardErrorWriter.h"
#include "update/EarlyCycleTrigger.h"

#include <QNetworkInformation>
#include <optional>

namespace {

bool loadReachabilityBackend() {
#ifdef Q_OS_LINUX
    return QNetworkInformation::loadBackendByName(u"networkmanager");
#else
    return QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability);
#endif
}

// Unknown says nothing either way; anything short of the internet counts as offline.
std::optional<bool> isOnline(QNetworkInformation::Reachability reachability) {
    if (reachability == QNetworkInformation::Reachability::Unknown)
        return std::nullopt;
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
        if (const auto online = isOnline(reachability))
            trigger->reachabilityChanged(*online);
    };
    QNetworkInformation* information = QNetworkInformation::instance();
    tell(information->reachability());
    QObject::connect(information, &QNetworkInformation::reachabilityChanged, context, tell);
}
