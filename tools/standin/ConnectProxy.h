#pragma once

#include <QStringList>
#include <QTcpServer>
#include <mutex>

// A forward proxy on loopback that tunnels CONNECT requests and records their targets
// ("host:port"). Its QObject side lives on the stand-in's thread.
class ConnectProxy : public QObject {
public:
    explicit ConnectProxy(QObject* parent);

    quint16 port() const { return port_; }
    QStringList targets() const;
    void reset();

private:
    void tunnel(QTcpSocket* client);
    void open(QTcpSocket* client, const QByteArray& head);

    QTcpServer server_;
    quint16 port_ = 0;
    mutable std::mutex mutex_;
    QStringList targets_;
};
