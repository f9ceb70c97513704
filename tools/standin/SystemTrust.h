#pragma once

#include <QByteArray>

// The stand-in's authority in the system's certificate store for as long as this lives, put
// there and taken out again with update-ca-certificates. Needs root.
class SystemTrust {
public:
    explicit SystemTrust(const QByteArray& authorityPem);
    ~SystemTrust();
    SystemTrust(const SystemTrust&) = delete;
    SystemTrust& operator=(const SystemTrust&) = delete;
};
