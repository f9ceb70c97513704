#include "service/ServiceEndpoints.h"

ServiceEndpoints ServiceEndpoints::compiledIn() {
    return {QStringLiteral(VORLIN_API_HOST), QStringLiteral(VORLIN_IPV4_HOST),
            QStringLiteral(VORLIN_IPV6_HOST), QStringLiteral(VORLIN_WEB_HOST)};
}
