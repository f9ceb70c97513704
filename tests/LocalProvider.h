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

// The profile check accepts after the delay: a Save waits meanwhile.
inline void acceptSaveLate(StandInProvider& provider, int milliseconds) {
    StandInProvider::ScriptedReply late =
        StandInProvider::reply(200, StandInProvider::profileReplyBody(R"({"result":true})"));
    late.delayMilliseconds = milliseconds;
    provider.scriptReply("/nic/getclientprofilewithgroup", late);
}
