#include "service/Transport.h"

#include "service/ServiceEndpoints.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslConfiguration>
#include <QStringDecoder>
#include <QTimer>
#include <memory>

namespace MyFunctions {
namespace {

constexpr int exchangeTimeoutMilliseconds = 10'000;
constexpr qint64 maximumBodyBytes = 1024 * 1024;

QNetworkRequest requestFor(const QUrl& url) {
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // A redirect is a failed exchange: the query, with the account's digest, must not
    // follow it to another host.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);

    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.addCaCertificates(ServiceClient::extraCaCertificates());
    tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    request.setSslConfiguration(tls);
    return request;
}

// Runs the request to its end; false when it was cut short by the time limit or by a
// body too large to take.
bool awaitWithinLimits(QNetworkReply& reply) {
    QEventLoop loop;
    bool withinLimits = true;
    const auto cutShort = [&] {
        withinLimits = false;
        reply.abort();
    };
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, &reply, cutShort);
    QObject::connect(&reply, &QNetworkReply::downloadProgress, &reply,
                     [&](qint64 received, qint64 announced) {
                         if (received > maximumBodyBytes || announced > maximumBodyBytes)
                             cutShort();
                     });
    QObject::connect(&reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    deadline.start(exchangeTimeoutMilliseconds);
    if (!reply.isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return withinLimits;
}

} // namespace

bool urlExecute(const QString& url, std::optional<QString>& httpResult) {
    const QUrl parsedUrl(url, QUrl::StrictMode);
    if (!parsedUrl.isValid())
        return false;

    QNetworkAccessManager manager;
    const std::unique_ptr<QNetworkReply> reply(manager.get(requestFor(parsedUrl)));
    const bool withinLimits = awaitWithinLimits(*reply);
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (!withinLimits || reply->error() != QNetworkReply::NoError || status != 200) {
        httpResult = QString();
        return false;
    }
    httpResult = replyBodyText(reply->readAll());
    return true;
}

std::optional<QString> replyBodyText(const QByteArray& bytes) {
    // Stateless: bytes that stop inside a character are an error, not a pending state.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace MyFunctions
