#pragma once

#include <QByteArray>
#include <QObject>
#include <chrono>
#include <functional>
#include <memory>
#include <openssl/ssl.h>

class QTcpSocket;

// One host's TLS server side: its certificate and key, and the keys of the session tickets it
// issues, which every connection to the host shares, so that a client that comes back with a
// ticket resumes its session instead of making the host sign a full handshake again.
class TlsServerContext {
public:
    // Tickets are honoured for this long after they were issued (OpenSSL's own default).
    static constexpr std::chrono::seconds ticketLifetime = std::chrono::hours(2);

    TlsServerContext(const QByteArray& certificatePem, const QByteArray& privateKeyPem);
    SSL_CTX* get() const { return context_.get(); }

private:
    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> context_;
};

// The server's end of one TLS connection over an accepted TCP socket, driven by the socket's
// signals on its thread: OpenSSL reads and writes memory buffers, the socket moves the bytes.
// It owns the socket and deletes itself once the socket has disconnected.
class TlsSocket : public QObject {
public:
    TlsSocket(QTcpSocket* socket, const TlsServerContext& context, QObject* parent);

    QTcpSocket& socket() const { return *socket_; }
    // Whether the client resumed an earlier session; known once the handshake is done.
    bool resumed() const;

    // Takes the connection up; readable is called whenever decrypted bytes have come in.
    void start(std::function<void()> readable);
    QByteArray readAll();
    void write(const QByteArray& bytes);
    // Says so to the client (close_notify), then closes once everything is sent.
    void disconnectFromHost();

private:
    void receive();
    bool handshake();
    void decrypt();
    void sendPending();

    QTcpSocket* socket_;
    std::unique_ptr<SSL, decltype(&SSL_free)> ssl_;
    QByteArray decrypted_;
    std::function<void()> readable_;
};
