#include "StandInProvider.h"

#include "StandInServer.h"

#include <QStringEncoder>
#include <QThread>

StandInProvider::StandInProvider(const QStringList& certificateDnsNames)
    : thread_(std::make_unique<QThread>()), server_(new StandInServer(certificateDnsNames)) {
    server_->moveToThread(thread_.get());
    thread_->start();
    QMetaObject::invokeMethod(
        server_, [this] { server_->listen(); }, Qt::BlockingQueuedConnection);
}

StandInProvider::~StandInProvider() {
    QMetaObject::invokeMethod(
        server_, [this] { delete server_; }, Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
}

ServiceEndpoints StandInProvider::endpoints() const {
    const auto at = [this](Host host) {
        return "localhost:" + QString::number(server_->port(host));
    };
    return {at(Host::Api), at(Host::IPv4Check), at(Host::IPv6Check), at(Host::Api)};
}

QSslCertificate StandInProvider::authority() const {
    return server_->authority();
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

void StandInProvider::reset() {
    server_->reset();
}

QByteArray StandInProvider::profileReplyBody(const QByteArray& json) {
    QStringEncoder toUtf16(QStringEncoder::Utf16LE);
    const QByteArray utf16 = toUtf16(QString::fromUtf8(json));
    return utf16.toBase64().replace('=', '|');
}
