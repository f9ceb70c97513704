#include "TlsSocket.h"

#include <QTcpSocket>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <stdexcept>

namespace {

template <typename Object, typename Read>
std::unique_ptr<Object, void (*)(Object*)> fromPem(const QByteArray& pem, Read read,
                                                   void (*free)(Object*)) {
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(pem.constData(), int(pem.size())),
                                                  &BIO_free);
    std::unique_ptr<Object, void (*)(Object*)> object(read(bio.get(), nullptr, nullptr, nullptr),
                                                      free);
    if (!object)
        throw std::runtime_error("stand-in provider: unreadable PEM");
    return object;
}

} // namespace

TlsServerContext::TlsServerContext(const QByteArray& certificatePem,
                                   const QByteArray& privateKeyPem)
    : context_(SSL_CTX_new(TLS_server_method()), &SSL_CTX_free) {
    const auto certificate = fromPem(certificatePem, PEM_read_bio_X509, X509_free);
    const auto key = fromPem(privateKeyPem, PEM_read_bio_PrivateKey, EVP_PKEY_free);
    if (!context_ || SSL_CTX_use_certificate(get(), certificate.get()) != 1 ||
        SSL_CTX_use_PrivateKey(get(), key.get()) != 1)
        throw std::runtime_error("stand-in provider: no TLS context");
    SSL_CTX_set_timeout(get(), long(ticketLifetime.count()));
}

TlsSocket::TlsSocket(QTcpSocket* socket, const TlsServerContext& context, QObject* parent)
    : QObject(parent), socket_(socket), ssl_(SSL_new(context.get()), &SSL_free) {
    socket_->setParent(this);
    SSL_set_bio(ssl_.get(), BIO_new(BIO_s_mem()), BIO_new(BIO_s_mem()));
    SSL_set_accept_state(ssl_.get());
    connect(socket_, &QTcpSocket::disconnected, this, &QObject::deleteLater);
}

void TlsSocket::start(std::function<void()> readable) {
    readable_ = std::move(readable);
    connect(socket_, &QTcpSocket::readyRead, this, &TlsSocket::receive);
    receive(); // the ClientHello may have come with the connection
}

bool TlsSocket::resumed() const {
    return SSL_session_reused(ssl_.get()) == 1;
}

QByteArray TlsSocket::readAll() {
    return std::exchange(decrypted_, {});
}

void TlsSocket::write(const QByteArray& bytes) {
    if (!bytes.isEmpty())
        SSL_write(ssl_.get(), bytes.constData(), int(bytes.size()));
    sendPending();
}

void TlsSocket::disconnectFromHost() {
    if (SSL_is_init_finished(ssl_.get()))
        SSL_shutdown(ssl_.get());
    sendPending();
    socket_->disconnectFromHost();
}

void TlsSocket::receive() {
    const QByteArray encrypted = socket_->readAll();
    BIO_write(SSL_get_rbio(ssl_.get()), encrypted.constData(), int(encrypted.size()));
    if (!SSL_is_init_finished(ssl_.get()) && !handshake())
        return;
    decrypt();
    if (!decrypted_.isEmpty() && readable_)
        readable_();
}

// False until the handshake is done; a client that gave it up (it refused the certificate,
// say) loses its connection.
bool TlsSocket::handshake() {
    const int result = SSL_do_handshake(ssl_.get());
    sendPending();
    if (result == 1)
        return true;
    if (SSL_get_error(ssl_.get(), result) != SSL_ERROR_WANT_READ) {
        ERR_clear_error(); // the thread's next connection starts with no error of this one
        socket_->abort();
    }
    return false;
}

void TlsSocket::decrypt() {
    char buffer[16 * 1024];
    int length = 0;
    while ((length = SSL_read(ssl_.get(), buffer, int(sizeof buffer))) > 0)
        decrypted_.append(buffer, length);
    sendPending();
}

void TlsSocket::sendPending() {
    BIO* out = SSL_get_wbio(ssl_.get());
    char* data = nullptr;
    const long length = BIO_get_mem_data(out, &data);
    if (length <= 0)
        return;
    socket_->write(data, length);
    (void)BIO_reset(out);
}
