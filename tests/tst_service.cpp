#include "DataRow.h"
#include "LocalProvider.h"
#include "service/AccountVerification.h"
#include "service/AddressDiscovery.h"
#include "service/Transport.h"

#include <QtTest>
#include <dlfcn.h>
#include <memory>
#include <netdb.h>
#include <thread>

using namespace MyFunctions;
using Reply = StandInProvider::ScriptedReply;
using Text = std::optional<QString>;

Q_DECLARE_METATYPE(StandInProvider::ScriptedReply)
Q_DECLARE_METATYPE(StandInProvider*)

// Name servers that never answer, for one name: its lookup hangs well past the exchange's bound.
const QString unansweredUrl = "https://unanswered.invalid/probe";
extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                           addrinfo** result) noexcept {
    static const auto next =
        reinterpret_cast<decltype(&getaddrinfo)>(::dlsym(RTLD_NEXT, "getaddrinfo"));
    if (node && QUrl(unansweredUrl).host() == node) // then fails as an unanswered lookup does
        return std::this_thread::sleep_for(std::chrono::seconds(25)), EAI_AGAIN;
    return next(node, service, hints, result);
}

// The exchanges with the provider's hosts: HTTPS requests and what the queries make of them.
class ServiceTest : public QObject {
    Q_OBJECT

    std::unique_ptr<LocalProvider> provider_;
    std::unique_ptr<StandInProvider> expired_;

private slots:
    void initTestCase() {
        provider_ = std::make_unique<LocalProvider>();
        expired_ = std::make_unique<StandInProvider>(
            QStringList{"localhost"}, StandInProvider::Ports{}, StandInProvider::Addresses{},
            StandInProvider::Validity::Expired);
    }
    void init() {
        provider_->reset();
        ServiceClient::configure(provider_->endpoints(), provider_->authority());
    }
    void cleanupTestCase() {
        provider_.reset();
        expired_.reset();
    }

    // Whatever the server does, the request goes out once: a fault is never retried.
    void onlyACompleteStatus200IsASuccess_data() {
        columns<Reply, bool, Text>();
        const Text empty = QString("");
        Reply redirect = LocalProvider::reply(301);
        redirect.headers = {
            {"Location", "https://" + provider_->endpoints().ipv4Host.toLatin1() + "/ipcheck.asp"}};
        const QByteArray mebibyte(1024 * 1024, 'a');

        row("200", LocalProvider::reply(200, "ip1.2.3.4"), true, Text("ip1.2.3.4"));
        row("200, cut inside a UTF-8 character", LocalProvider::reply(200, "ip\xec"), true, Text());
        row("200, exactly 1 MiB", LocalProvider::reply(200, mebibyte), true, Text(mebibyte));
        row("200, 1 MiB and a byte", LocalProvider::reply(200, mebibyte + 'a'), false, empty);
        row("201", LocalProvider::reply(201, "created"), false, empty);
        row("301 to another host", redirect, false, empty);
    }
    void onlyACompleteStatus200IsASuccess() {
        const auto [reply, verdict, body] = fetch<Reply, bool, Text>();
        provider_->scriptReply("/probe", reply);
        Text httpResult;
        QCOMPARE(urlExecute(provider_->apiUrl("/probe?a=1"), httpResult), verdict);
        QCOMPARE(httpResult, body);
        QCOMPARE(provider_->requestLines(), QStringList{"GET /probe?a=1 HTTP/1.1"});
        QCOMPARE(provider_->requests().size(), 1); // on no other host either
    }

    // Nothing goes to a server the client cannot trust under the name it asked for, though it
    // had a session there under another trust, and a refusal leaves nothing that a later
    // exchange could resume.
    void untrustedServerGetsNothing_data() {
        columns<StandInProvider*, QByteArray, QString, bool>(); // trust; host asked; session first
        const QByteArray standIn = provider_->authority();
        const QByteArray other = TestCertificates::generate({"localhost"}).authority.toPem();
        StandInProvider* server = provider_.get();
        const QString localhost = "localhost";
        row("certificate from an unknown authority", server, QByteArray(), localhost, false);
        row("certificate for another host name", server, standIn, QString("127.0.0.1"), false);
        row("expired certificate", expired_.get(), expired_->authority(), localhost, false);
        row("its authority no longer trusted", server, QByteArray(), localhost, true);
        row("another authority trusted instead", server, other, localhost, true);
    }
    void untrustedServerGetsNothing() {
        const auto [server, trust, host, hadSession] =
            fetch<StandInProvider*, QByteArray, QString, bool>();
        const QString url =
            "https://" + host + ':' + server->endpoints().ipv4Host.section(':', 1) + "/ipcheck.asp";
        Text httpResult;
        QVERIFY(!hadSession || urlExecute(url, httpResult));
        server->reset();
        ServiceClient::configure(server->endpoints(), trust);
        for (int attempt = 0; attempt < 2; ++attempt) {
            QVERIFY(!urlExecute(url, httpResult));
            QCOMPARE(httpResult, Text(""));
        }
        QCOMPARE(server->requests().size(), 0);
    }

    // A host's session is resumed for a day (a second here), then its certificate is checked
    // again in a full handshake.
    void sessionIsResumedForItsLifetime() {
        QCOMPARE(ServiceClient::sessionLifetime(), std::chrono::hours(24));
        ServiceClient::configure(provider_->endpoints(), provider_->authority(),
                                 ServiceClient::defaultExchangeBound, std::chrono::seconds(1));
        Text httpResult;
        const auto resumedAfter = [&](int milliseconds) {
            QThread::msleep(milliseconds);
            return urlExecute("https://" + provider_->endpoints().ipv4Host + "/ipcheck.asp",
                              httpResult) &&
                   provider_->requests().constLast().resumed;
        };
        QCOMPARE((QList<bool>{resumedAfter(1'000), resumedAfter(0), resumedAfter(1'000),
                              resumedAfter(0)}),
                 (QList<bool>{false, true, false, true}));
    }

    // The bound (the program's 10 s, half a second here) ends a dripping body and a hanging name
    // lookup alike, while an exchange on another thread goes its own way.
    void exchangeEndsAtItsBoundWithoutHoldingUpOthers() {
        QCOMPARE(ServiceClient::exchangeBound(), std::chrono::seconds(10));
        ServiceClient::configure(provider_->endpoints(), provider_->authority(),
                                 std::chrono::milliseconds(500));
        Reply dripping = LocalProvider::reply(200, QByteArray(100, 'x'));
        dripping.dripIntervalMilliseconds = 100; // 10 s for the whole body
        provider_->scriptReply("/slow", dripping);
        provider_->scriptReply("/quick", LocalProvider::reply(200, "ipquick"));
        QElapsedTimer clock;
        clock.start();
        Text slowResult, quickResult, lookupResult;
        bool slowVerdict = true;
        std::thread worker(
            [&] { slowVerdict = urlExecute(provider_->apiUrl("/slow"), slowResult); });
        bool lookupVerdict = true;
        std::thread lookup([&] { lookupVerdict = urlExecute(unansweredUrl, lookupResult); });
        QThread::msleep(50); // the slow exchange is under way
        const bool quickVerdict = urlExecute(provider_->apiUrl("/quick"), quickResult);
        const qint64 quickDone = clock.elapsed();
        worker.join();
        lookup.join();
        QVERIFY2(clock.elapsed() >= 490 && clock.elapsed() < 2'000,
                 qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!slowVerdict && !lookupVerdict && quickVerdict && quickDone < 490);
        QCOMPARE(slowResult, Text(""));
        QCOMPARE(quickResult, Text("ipquick"));
        QCOMPARE(provider_->requests().size(), 2);
    }

    // The shortest reply that names an address; what follows "ip" is taken unchecked.
    void addressIsWhatFollowsIp() { QCOMPARE(addressFromCheckReply(Text("ipx")), QString("x")); }

    void profileReplyOutcomes_data() {
        columns<QByteArray, bool, bool, Text>();
        const Text empty = QString(""), none;
        const auto wrapped = &StandInProvider::profileReplyBody;
        row("empty body", QByteArray(), false, false, empty);
        row("odd byte count: not UTF-16", QByteArray("YWJj"), false, false, empty);
        row("decoded text is not JSON", wrapped("Welcome!"), true, false, none);
        row("array", wrapped(R"([{"result":true}])"), false, false, empty);
        row("no result", wrapped(R"({"message":"Wait."})"), true, false, Text("Wait."));
        // {"result":true,"message":"Hey!"} as the provider sends it, written out.
        row("reply from the wire",
            QByteArray(
                "ewAiAHIAZQBzAHUAbAB0ACIAOgB0AHIAdQBlACwAIgBtAGUAcwBzAGEAZwBlACIAOgAiAEgAZQB5"
                "ACEAIgB9AA||"),
            true, true, Text("Hey!"));
        row("result null", wrapped(R"({"result":null,"message":"m"})"), false, false, Text("m"));
        row("result 1", wrapped(R"({"result":1})"), true, true, none);
        row("result \"0.9\"", wrapped(R"({"result":"0.9"})"), true, false, none);
        row("result \" +007\"", wrapped(R"({"result":" +007"})"), true, true, none);
    }
    void profileReplyOutcomes() {
        const auto [body, answered, result, message] = fetch<QByteArray, bool, bool, Text>();
        bool actualResult = false; // as the caller presets them
        Text actualMessage = QString("");
        QCOMPARE(readProfileReply(QString::fromUtf8(body), actualResult, actualMessage), answered);
        QCOMPARE(actualResult, result);
        QCOMPARE(actualMessage, message);
    }
};

QTEST_GUILESS_MAIN(ServiceTest)
#include "tst_service.moc"
