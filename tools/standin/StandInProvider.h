#pragma once

#include "TestCertificates.h"
#include "service/ServiceEndpoints.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <optional>

class StandInServer;

// A stand-in of the provider's service for tests and the demo: HTTPS on loopback ports of
// its own, one per provider host, served from a thread of its own. It knows accounts and
// answers as the provider would, unless a test scripts the next reply of a path.
class StandInProvider {
public:
    enum class Host { Api, IPv4Check, IPv6Check };

    struct Account {
        QString username;
        QString password;
        QStringList groups;
    };

    struct ScriptedReply {
        int status = 200;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        int delayMilliseconds = 0;
        int dripIntervalMilliseconds = 0; // > 0: the body goes out one byte at a time
        bool silent = false;              // read the request, send nothing of its own
        QByteArray rawResponse;           // not empty: sent as it is, then the connection ends
        bool endWithReset = false;        // silent or raw: end with a TCP reset, not a close
        bool endless = false;             // a body that goes on until the client leaves
    };

    // Picks the reply to a request that no scripted reply is waiting for; none leaves it to
    // the provider's logic. Called on the stand-in's thread.
    using ReplyChooser =
        std::function<std::optional<ScriptedReply>(Host host, const QString& path)>;

    struct Request {
        Host host;
        QString line; // "GET /path?query HTTP/1.1"
        bool resumed; // over a TLS session resumed from an earlier connection
    };

    // Loopback ports for the API, IPv4 and IPv6 check hosts; 0 picks a free one.
    using Ports = std::array<quint16, 3>;
    // Their loopback addresses, such as 127.0.0.2; empty: 127.0.0.1.
    using Addresses = std::array<QString, 3>;

    using Validity = TestCertificates::Validity;

    // The server certificate names these hosts; another name fails the client's check, as
    // does an expired certificate.
    explicit StandInProvider(const QStringList& certificateDnsNames = {"localhost"},
                             const Ports& ports = {}, const Addresses& addresses = {},
                             Validity validity = Validity::Current);
    ~StandInProvider();
    StandInProvider(const StandInProvider&) = delete;
    StandInProvider& operator=(const StandInProvider&) = delete;

    // "localhost:<port>" for every host; the web host is the API host.
    ServiceEndpoints endpoints() const;
    // PEM: the certificate authority made for this run.
    QByteArray authority() const;

    void addAccount(const Account& account);
    void setPublicAddresses(const QString& ipv4, const QString& ipv6);
    // Replies to the next request for the path on the host instead of the provider's logic;
    // several scripted replies for one path go out in order.
    void scriptReply(const QString& path, const ScriptedReply& reply, Host host = Host::Api);
    void setReplyChooser(ReplyChooser chooser);

    QList<Request> requests() const;
    QStringList requestLines(Host host = Host::Api) const;
    // Forgets the recorded requests and any scripted reply not yet sent.
    void reset();

    // A reply of this status and body, sent at once and whole.
    static ScriptedReply reply(int status, const QByteArray& body = {});
    // Wraps a JSON text as the profile check's reply: UTF-16LE, Base64, "|" for "=".
    static QByteArray profileReplyBody(const QByteArray& json);

private:
    class Thread;
    std::unique_ptr<Thread> thread_;
    StandInServer* server_ = nullptr; // made, used and deleted on thread_
};
