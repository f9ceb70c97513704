#include "StandInProvider.h"

#include "StandInServer.h"

#include <QStringEncoder>
#include <QThread>
#include <future>
#include <openssl/crypto.h>

// Makes the server on its own thread and runs it there; the provider learns of it through
// a promise rather than a queued call, so the hand-over is plain to ThreadSanitizer.
class StandInProvider::Thread : public QThread {
public:
    Thread(const TestCertificates& certificates, const Ports& ports, const Addresses& addresses)
        : certificates_(certificates), ports_(ports), addresses_(addresses) {}

    StandInServer* start() {
        QThread::start();
        return started_.get_future().get();
    }

private:
    void run() override {
        StandInServer server(certificates_);
        server.listen(ports_, addresses_);
        started_.set_value(&server);
        exec();
        // QThread::wait() returns before the thread's own exit handlers run, so OpenSSL's
        // state for this thread is freed here, not possibly after the process's leak check.
        OPENSSL_thread_stop();
    }

    TestCertificates certificates_;
    Ports ports_;
    Addresses addresses_;
    std::promise<StandInServer*> started_;
};

StandInProvider::StandInProvider(const QStringList& certificateDnsNames, const Ports& ports,
                                 const Addresses& addresses, Validity validity)
    : thread_(std::make_unique<Thread>(TestCertificates::generate(certificateDnsNames, validity),
                                       ports, addresses)),
      server_(thread_->start()) {}

StandInProvider::~StandInProvider() {
    thread_->quit();
    thread_->wait();
}

ServiceEndpoints StandInProvider::endpoints() const {
    const auto at = [this](Host host) {
        return "localhost:" + QString::number(server_->port(host));
    };
    return {at(Host::Api), at(Host::IPv4Check), at(Host::IPv6Check), at(Host::Api)};
}

QByteArray StandInProvider::authority() const {
    return server_->certificates().authority.toPem();
}

void StandInProvider::addAccount(const Account& account) {
    server_->addAccount(account);
}

void StandInProvider::setPublicAddresses(const QString& ipv4, const QString& ipv6) {
    server_->setPublicAddresses(ipv4, ipv6);
}

void StandInProvider::scriptReply(const QString& path, const ScriptedReply& reply, Host host) {
    server_->scriptReply(host, path, reply);
}

QList<StandInProvider::Request> StandInProvider::requests() const {
    return server_->requests();
}

QStringList StandInProvider::requestLines(Host host) const {
    QStringList lines;
    for (const Request& request : requests())
        if (request.host == host)
            lines << request.line;
    return lines;
}

void StandInProvider::setReplyChooser(ReplyChooser chooser) {
    server_->setReplyChooser(std::move(chooser));
}

void StandInProvider::reset() {
    server_->reset();
}

StandInProvider::ScriptedReply StandInProvider::reply(int status, const QByteArray& body) {
    ScriptedReply scripted;
    scripted.status = status;
    scripted.body = body;
    return scripted;
}

QByteArray StandInProvider::profileReplyBody(const QByteArray& json) {
    QStringEncoder toUtf16(QStringEncoder::Utf16LE);
    const QByteArray utf16 = toUtf16(QString::fromUtf8(json));
    return utf16.toBase64().replace('=', '|');
}
