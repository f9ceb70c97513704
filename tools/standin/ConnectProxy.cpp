#include "ConnectProxy.h"

#include <QTcpSocket>
#include <memory>

namespace {

// Passes what either side sends to the other and ends both when one leaves.
void join(QTcpSocket* client, QTcpSocket* upstream) {
    const auto pass = [](QTcpSocket* from, QTcpSocket* to) {
        QObject::connect(from, &QTcpSocket::readyRead, to,
                         [from, to] { to->write(from->readAll()); });
        QObject::connect(from, &QTcpSocket::disconnected, to, &QTcpSocket::disconnectFromHost);
    };
    pass(client, upstream);
    pass(upstream, client);
}

} // namespace

ConnectProxy::ConnectProxy(QObject* parent) : QObject(parent) {
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* client = server_.nextPendingConnection())
            tunnel(client);
    });
    if (!server_.listen(QHostAddress::LocalHost))
        qFatal("stand-in proxy: cannot listen on loopback");
    port_ = server_.serverPort();
}

void ConnectProxy::tunnel(QTcpSocket* client) {
    connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
    auto head = std::make_shared<QByteArray>();
    connect(client, &QTcpSocket::readyRead, this, [this, client, head] {
        if (head->endsWith("\r\n\r\n"))
            return; // the tunnel is open: join() passes the bytes on
        while (client->canReadLine() && !head->endsWith("\r\n\r\n"))
            head->append(client->readLine());
        if (head->endsWith("\r\n\r\n"))
            open(client, *head);
    });
}

void ConnectProxy::open(QTcpSocket* client, const QByteArray& head) {
    const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
    const QString target = QString::fromLatin1(requestLine.value(1));
    {
        const std::lock_guard lock(mutex_);
        targets_ << target;
    }
    if (requestLine.value(0) != "CONNECT") {
        client->write("HTTP/1.1 405 Method Not Allowed\r\nConnection: close\r\n\r\n");
        client->disconnectFromHost();
        return;
    }
    auto* upstream = new QTcpSocket(client);
    connect(upstream, &QTcpSocket::connected, client, [client, upstream] {
        client->write("HTTP/1.1 200 Connection established\r\n\r\n");
        join(client, upstream);
    });
    upstream->connectToHost(target.section(':', 0, -2), target.section(':', -1).toUShort());
}

QStringList ConnectProxy::targets() const {
    const std::lock_guard lock(mutex_);
    return QStringList(targets_.cbegin(), targets_.cend());
}

void ConnectProxy::reset() {
    const std::lock_guard lock(mutex_);
    targets_.clear();
}
