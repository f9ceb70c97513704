#include "StandInServer.h"

#include "service/ServiceQuery.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringEncoder>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <sys/socket.h>

namespace {

QByteArray reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

QByteArray responseHead(const StandInProvider::ScriptedReply& reply) {
    QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' +
                      reasonPhrase(reply.status) + "\r\nConnection: close\r\n";
    if (reply.status != 204 && !reply.endless)
        head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    for (const auto& [name, value] : reply.headers)
        head += name + ": " + value + "\r\n";
    return head + "\r\n";
}

constexpr auto textReply = &StandInProvider::reply;

QByteArray json(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// Sends the body a byte at a time until it is gone or the client has left.
void drip(TlsSocket* socket, QByteArray rest, int interval) {
    if (rest.isEmpty() || socket->socket().state() != QAbstractSocket::ConnectedState) {
        socket->disconnectFromHost();
        return;
    }
    socket->write(rest.left(1));
    QTimer::singleShot(interval, socket,
                       [socket, rest = rest.mid(1), interval] { drip(socket, rest, interval); });
}

// Ends the connection with a TCP reset instead of an orderly close.
void reset(TlsSocket* socket) {
    const linger immediately{1, 0};
    ::setsockopt(static_cast<int>(socket->socket().socketDescriptor()), SOL_SOCKET, SO_LINGER,
                 &immediately, sizeof immediately);
    socket->socket().abort();
}

// Keeps a few chunks in flight until the client leaves.
void sendEndlessly(TlsSocket* socket) {
    const QByteArray chunk(64 * 1024, 'x');
    const auto topUp = [socket, chunk] {
        while (socket->socket().state() == QAbstractSocket::ConnectedState &&
               socket->socket().bytesToWrite() < 4 * chunk.size())
            socket->write(chunk);
    };
    QObject::connect(&socket->socket(), &QTcpSocket::bytesWritten, socket, topUp);
    topUp();
}

// Sends the bytes and ends the connection, with a reset (once they are out) or orderly.
void sendAndEnd(TlsSocket* socket, const QByteArray& bytes, bool withReset) {
    socket->write(bytes);
    if (!withReset) {
        socket->disconnectFromHost();
        return;
    }
    socket->socket().flush();
    QTimer::singleShot(100, socket, [socket] { reset(socket); });
}

void send(TlsSocket* socket, const StandInProvider::ScriptedReply& reply) {
    if (reply.silent) {
        if (reply.endWithReset)
            reset(socket);
        return;
    }
    if (!reply.rawResponse.isEmpty()) {
        sendAndEnd(socket, reply.rawResponse, reply.endWithReset);
        return;
    }
    socket->write(responseHead(reply));
    if (reply.endless) {
        sendEndlessly(socket);
        return;
    }
    if (reply.dripIntervalMilliseconds > 0) {
        drip(socket, reply.body, reply.dripIntervalMilliseconds);
        return;
    }
    socket->write(reply.body);
    socket->disconnectFromHost();
}

} // namespace

StandInServer::StandInServer(const TestCertificates& certificates) : certificates_(certificates) {}

void StandInServer::listen(const StandInProvider::Ports& ports,
                           const StandInProvider::Addresses& addresses) {
    for (Host host : {Host::Api, Host::IPv4Check, Host::IPv6Check}) {
        const auto index = static_cast<size_t>(host);
        tls_[index] = std::make_unique<TlsServerContext>(certificates_.server.toPem(),
                                                         certificates_.serverKey.toPem());
        auto* server = new QTcpServer(this);
        connect(server, &QTcpServer::pendingConnectionAvailable, this,
                [this, server, host] { accept(*server, host); });
        const QString& address = addresses[index];
        if (!server->listen(address.isEmpty() ? QHostAddress(QHostAddress::LocalHost)
                                              : QHostAddress(address),
                            ports[index]))
            qFatal("stand-in provider: cannot listen on loopback");
        servers_[index] = server;
        ports_[index] = server->serverPort();
    }
}

StandInServer::~StandInServer() {
    // Tests change the state from their thread under the lock. Taking it once more orders
    // those changes before the members go, visibly to ThreadSanitizer too, which cannot see
    // the ordering that QThread::quit() and wait() give.
    const std::lock_guard lock(mutex_);
}

void StandInServer::accept(QTcpServer& server, Host host) {
    while (server.hasPendingConnections()) {
        auto* socket = new TlsSocket(server.nextPendingConnection(),
                                     *tls_[static_cast<size_t>(host)], &server);
        // One request per connection: its head ends with an empty line.
        auto head = std::make_shared<QByteArray>();
        socket->start([this, socket, host, head] {
            if (head->contains("\r\n\r\n"))
                return;
            head->append(socket->readAll());
            if (head->contains("\r\n\r\n"))
                serve(socket, host, head->left(head->indexOf("\r\n")));
        });
    }
}

void StandInServer::serve(TlsSocket* socket, Host host, const QByteArray& requestLine) {
    const QList<QByteArray> parts = requestLine.split(' ');
    const QUrl target(QString::fromLatin1(parts.value(1)));
    ScriptedReply reply;
    {
        const std::lock_guard lock(mutex_);
        requests_.append({host, QString::fromLatin1(requestLine), socket->resumed()});
        reply = replyFor(host, target.path(), QUrlQuery(target));
    }
    if (reply.delayMilliseconds > 0)
        QTimer::singleShot(reply.delayMilliseconds, socket,
                           [socket, reply] { send(socket, reply); });
    else
        send(socket, reply);
}

StandInServer::ScriptedReply StandInServer::replyFor(Host host, const QString& path,
                                                     const QUrlQuery& query) {
    auto script = scripts_.find({static_cast<int>(host), path});
    if (script != scripts_.end() && !script->isEmpty())
        return script->dequeue();
    if (chooser_)
        if (std::optional<ScriptedReply> chosen = chooser_(host, path))
            return *chosen;
    return providerReply(host, path, query);
}

StandInServer::ScriptedReply StandInServer::providerReply(Host host, const QString& path,
                                                          const QUrlQuery& query) {
    if (path == "/ipcheck.asp" && host == Host::IPv4Check)
        return textReply(200, "ip" + publicIPv4.toLatin1());
    if (path == "/ipcheck.asp" && host == Host::IPv6Check)
        return textReply(200, "ip" + publicIPv6.toLatin1());
    if (host != Host::Api)
        return textReply(404, "not found");
    if (path == "/nic/getclientprofilewithgroup")
        return profileCheck(query);
    if (path == "/nic/groupcheck")
        return groupCheck(query);
    if (path == "/nic/clientupdate")
        return clientUpdate(query);
    return textReply(404, "not found");
}

StandInServer::AccountState* StandInServer::authenticated(const QUrlQuery& query) {
    const auto found = accounts_.find(query.queryItemValue("username", QUrl::FullyDecoded));
    if (found == accounts_.end())
        return nullptr;
    const QString digest = query.queryItemValue("password", QUrl::FullyDecoded);
    if (found->account.password.isEmpty() ||
        MyFunctions::md5Hash(found->account.password) != digest)
        return nullptr;
    return &*found;
}

StandInServer::ScriptedReply StandInServer::profileCheck(const QUrlQuery& query) {
    const AccountState* state = authenticated(query);
    const QString group = query.queryItemValue("group", QUrl::FullyDecoded);
    QJsonObject reply{{"result", false}};
    if (!state)
        reply["message"] = "Invalid username or password.";
    else if (!group.isEmpty() && !state->account.groups.contains(group))
        reply["message"] = "Group " + group + " does not exist.";
    else
        reply = {{"result", true}, {"message", "Profile verified."}};
    return textReply(200, StandInProvider::profileReplyBody(json(reply)));
}

StandInServer::ScriptedReply StandInServer::groupCheck(const QUrlQuery& query) {
    const AccountState* state = authenticated(query);
    const bool known =
        state && state->account.groups.contains(query.queryItemValue("group", QUrl::FullyDecoded));
    return textReply(200, known ? "true" : "false");
}

StandInServer::ScriptedReply StandInServer::clientUpdate(const QUrlQuery& query) {
    AccountState* state = authenticated(query);
    if (!state)
        return textReply(200, json({{"statusCode", "bad authentication"}}));
    const QString group = query.queryItemValue("location", QUrl::FullyDecoded);
    if (!group.isEmpty() && !state->account.groups.contains(group))
        return textReply(200, json({{"statusCode", "no host"}}));

    // An empty address means "the one you see me from"; "no" leaves that family alone.
    const auto recorded = [](const QString& sent, const QString& seen) -> QJsonValue {
        if (sent == "no")
            return QJsonValue::Null;
        return sent.isEmpty() ? seen : sent;
    };
    const QJsonValue ipv4 =
        recorded(query.queryItemValue("myipv4", QUrl::FullyDecoded), publicIPv4);
    const QJsonValue ipv6 =
        recorded(query.queryItemValue("myipv6", QUrl::FullyDecoded), publicIPv6);
    const bool unchanged = query.queryItemValue("uin") != "1" &&
                           ipv4.toString() == state->lastIPv4 && ipv6.toString() == state->lastIPv6;
    state->lastIPv4 = ipv4.toString();
    state->lastIPv6 = ipv6.toString();
    return textReply(200, json({{"statusCode", unchanged ? "no change" : "good"},
                                {"updatedIPv4Address", ipv4},
                                {"updatedIPv6Address", ipv6}}));
}

void StandInServer::addAccount(const StandInProvider::Account& account) {
    const std::lock_guard lock(mutex_);
    accounts_.insert(account.username, {account, {}, {}});
}

void StandInServer::setPublicAddresses(const QString& ipv4, const QString& ipv6) {
    const std::lock_guard lock(mutex_);
    publicIPv4 = ipv4;
    publicIPv6 = ipv6;
}

void StandInServer::setReplyChooser(StandInProvider::ReplyChooser chooser) {
    const std::lock_guard lock(mutex_);
    chooser_ = std::move(chooser);
}

void StandInServer::scriptReply(Host host, const QString& path, const ScriptedReply& reply) {
    const std::lock_guard lock(mutex_);
    scripts_[{static_cast<int>(host), path}].enqueue(reply);
}

QList<StandInProvider::Request> StandInServer::requests() const {
    // Element by element: the list handed out shares no buffer with the one the server
    // thread goes on appending to.
    const std::lock_guard lock(mutex_);
    QList<StandInProvider::Request> copy;
    copy.reserve(requests_.size());
    for (const StandInProvider::Request& request : requests_)
        copy.append(request);
    return copy;
}

void StandInServer::reset() {
    const std::lock_guard lock(mutex_);
    requests_.clear();
    scripts_.clear();
}
