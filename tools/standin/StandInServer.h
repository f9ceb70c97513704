#pragma once

#include "StandInProvider.h"
#include "TestCertificates.h"
#include "TlsSocket.h"

#include <QHash>
#include <QObject>
#include <QQueue>
#include <QTcpServer>
#include <QUrlQuery>
#include <array>
#include <memory>
#include <mutex>

// The stand-in's servers and state. Its QObject side lives on the stand-in's thread; the
// state methods lock and may be called from any thread.
class StandInServer : public QObject {
public:
    using Host = StandInProvider::Host;
    using ScriptedReply = StandInProvider::ScriptedReply;

    explicit StandInServer(const TestCertificates& certificates);
    ~StandInServer() override;

    // On the stand-in's thread.
    void listen(const StandInProvider::Ports& ports, const StandInProvider::Addresses& addresses);
    quint16 port(Host host) const { return ports_[static_cast<size_t>(host)]; }
    const TestCertificates& certificates() const { return certificates_; }

    void addAccount(const StandInProvider::Account& account);
    void setPublicAddresses(const QString& ipv4, const QString& ipv6);
    void scriptReply(Host host, const QString& path, const ScriptedReply& reply);
    void setReplyChooser(StandInProvider::ReplyChooser chooser);
    QList<StandInProvider::Request> requests() const;
    void reset();

private:
    struct AccountState {
        StandInProvider::Account account;
        QString lastIPv4;
        QString lastIPv6;
    };

    void accept(QTcpServer& server, Host host);
    void serve(TlsSocket* socket, Host host, const QByteArray& requestLine);
    ScriptedReply replyFor(Host host, const QString& path, const QUrlQuery& query);
    ScriptedReply providerReply(Host host, const QString& path, const QUrlQuery& query);
    AccountState* authenticated(const QUrlQuery& query);
    ScriptedReply profileCheck(const QUrlQuery& query);
    ScriptedReply groupCheck(const QUrlQuery& query);
    ScriptedReply clientUpdate(const QUrlQuery& query);

    TestCertificates certificates_;
    std::array<std::unique_ptr<TlsServerContext>, 3> tls_;
    std::array<QTcpServer*, 3> servers_{};
    std::array<quint16, 3> ports_{};

    mutable std::mutex mutex_;
    QHash<QString, AccountState> accounts_;
    QString publicIPv4 = "203.0.113.7";
    QString publicIPv6 = "2001:db8::7";
    QHash<QPair<int, QString>, QQueue<ScriptedReply>> scripts_;
    StandInProvider::ReplyChooser chooser_;
    QList<StandInProvider::Request> requests_;
};
