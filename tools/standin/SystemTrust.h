#pragma once

#include <QByteArray>

// The stand-in's authority in the system's certificate store, as the calling thread, and only
// that thread, sees it from then on: a private copy of the store, in a mount namespace of the
// thread's own, with the authority put in by update-ca-certificates. Needs root.
class SystemTrust {
public:
    explicit SystemTrust(const QByteArray& authorityPem);
};
