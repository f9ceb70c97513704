#pragma once

#include "StandInProvider.h"
#include "service/ServiceEndpoints.h"

// A stand-in provider on loopback that the service client is pointed at and trusts.
class LocalProvider : public StandInProvider {
public:
    LocalProvider() { ServiceClient::configure(endpoints(), authority()); }
    ~LocalProvider() { ServiceClient::configure(ServiceEndpoints::compiledIn()); }

    QString apiUrl(const QString& pathAndQuery) const {
        return "https://" + endpoints().apiHost + pathAndQuery;
    }
};
