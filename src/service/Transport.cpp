#include "service/Transport.h"

#include "log/StandardErrorWriter.h"
#include "service/ServiceEndpoints.h"

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>
#include <array>
#include <atomic>
#include <ctime>
#include <curl/curl.h>
#include <fcntl.h>
#include <memory>
#include <mutex>

namespace MyFunctions {
namespace {

constexpr qsizetype maximumBodyBytes = 1024 * 1024;

// libcurl's global set-up is not thread-safe, so it runs while the program is still one
// thread: before main, in every binary that can send a request. There is no matching
// clean-up: the update worker is never stopped and may be inside a request at exit.
// libcurl opens its TLS key log here when SSLKEYLOGFILE names one; the account's exchanges
// must never be readable from a capture, so it does not get to see the variable (programs
// the client launches still do).
const struct CurlGlobalSetUp {
    CurlGlobalSetUp() {
        const QByteArray keyLog = qgetenv("SSLKEYLOGFILE");
        qunsetenv("SSLKEYLOGFILE");
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
            qFatal("libcurl cannot be initialised");
        if (!keyLog.isNull())
            qputenv("SSLKEYLOGFILE", keyLog);
    }
} curlGlobalSetUp;

using EasyHandle = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;

// The TLS sessions that exchanges share, so that each offers the one it had with that host
// and the provider is spared a full handshake, with its signature and certificate chain,
// three times a cycle. libcurl keys the cache by host, port, scheme and TLS settings (the
// trust among them), and checks the host name on every connection, resumed or not. The
// share holds sessions and nothing else: no connection is kept or shared.
class SessionShare {
public:
    SessionShare() : share_(curl_share_init()) {
        if (!share_)
            return;
        curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, lock);
        curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, unlock);
        curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
        curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    }
    ~SessionShare() { curl_share_cleanup(share_); }
    SessionShare(const SessionShare&) = delete;
    SessionShare& operator=(const SessionShare&) = delete;

    CURLSH* handle() const { return share_; }

private:
    static std::mutex& mutexFor(curl_lock_data data, void* self) {
        return static_cast<SessionShare*>(self)->mutexes_.at(static_cast<size_t>(data));
    }
    static void lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
        mutexFor(data, self).lock();
    }
    static void unlock(CURL*, curl_lock_data data, void* self) { mutexFor(data, self).unlock(); }

    std::array<std::mutex, CURL_LOCK_DATA_LAST> mutexes_;
    CURLSH* share_;
};

// Time that runs on while the computer sleeps: a session's age is time in the world.
std::chrono::milliseconds sinceBoot() {
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec));
}

// A resumed session keeps the certificate verdict of the handshake it came from, and each
// resumption renews it: without an end, a changed trust store or an expired certificate would
// never be seen. So a share serves for the service client's session lifetime (a day) and then
// makes way for a fresh one, whose first exchange with each host is a full handshake. An
// exchange holds the share it started with; the old one goes with the last of them. The
// current one is never freed, as the global set-up is never undone: the update worker may be
// inside an exchange while the program exits.
std::shared_ptr<SessionShare> currentSessionShare() {
    struct Current {
        std::mutex mutex;
        std::shared_ptr<SessionShare> share;
        std::chrono::milliseconds madeAt{};
    };
    static auto* const current = new Current;
    const std::lock_guard lock(current->mutex);
    const std::chrono::milliseconds now = sinceBoot();
    if (!current->share || now - current->madeAt >= ServiceClient::sessionLifetime()) {
        current->share = std::make_shared<SessionShare>();
        current->madeAt = now;
    }
    return current->share;
}

// Where libcurl looks up the system's authorities in a hashed directory beside the bundle
// (Debian's /etc/ssl/certs), the directory alone holds the same authorities: a verification
// then reads the few it needs instead of the whole bundle, which every new handle would read
// again. A system with a bundle alone keeps it.
void trustSystemStoreByLookUp(CURL* handle) {
    char* directory = nullptr;
    if (curl_easy_getinfo(handle, CURLINFO_CAPATH, &directory) == CURLE_OK && directory &&
        QFileInfo(QString::fromLocal8Bit(directory)).isDir())
        curl_easy_setopt(handle, CURLOPT_CAINFO, nullptr);
}

// Takes the body as it comes; asking for more than the limit ends the exchange at once.
size_t appendToBody(char* data, size_t size, size_t count, void* body) {
    auto& bytes = *static_cast<QByteArray*>(body);
    const size_t length = size * count;
    if (bytes.size() + static_cast<qsizetype>(length) > maximumBodyBytes)
        return 0;
    bytes.append(data, static_cast<qsizetype>(length));
    return length;
}

// Programs the client launches (a browser) must not inherit a connection to the provider.
int closeOnExec(void*, curl_socket_t socket, curlsocktype) {
    const int flags = ::fcntl(socket, F_GETFD);
    return flags >= 0 && ::fcntl(socket, F_SETFD, flags | FD_CLOEXEC) == 0 ? CURL_SOCKOPT_OK
                                                                           : CURL_SOCKOPT_ERROR;
}

// A file with something in it, or a folder with anything in it.
bool holdsAnything(const char* path) {
    if (!path)
        return false;
    const QFileInfo info(QString::fromLocal8Bit(path));
    return info.isDir() ? !QDir(info.filePath()).isEmpty() : info.size() > 0;
}

// Without a single certificate authority every exchange fails as one with an untrusted
// server, which the log can only call a failed authentication: standard error says why, once.
void tellWhenTheSystemHasNoAuthorities(CURL* handle) {
    static std::atomic<bool> told = false;
    char* file = nullptr;
    char* folder = nullptr;
    curl_easy_getinfo(handle, CURLINFO_CAINFO, &file);
    curl_easy_getinfo(handle, CURLINFO_CAPATH, &folder);
    if (holdsAnything(file) || holdsAnything(folder) || told.exchange(true))
        return;
    StandardErrorWriter::queue(
        QString("Cannot trust any server: no certificate authority in %1 "
                "or %2 (install ca-certificates).\n")
            .arg(QString::fromLocal8Bit(file), QString::fromLocal8Bit(folder))
            .toUtf8());
}

// One GET over a connection of its own: HTTPS only, the peer's certificate and name checked,
// no redirect followed, nothing tried twice. Proxies come from the environment.
EasyHandle requestFor(const QByteArray& url, const QByteArray& extraCaPem, CURLSH* sessions,
                      QByteArray& body) {
    EasyHandle easy(curl_easy_init(), &curl_easy_cleanup);
    if (!easy)
        return easy;
    CURL* handle = easy.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.constData());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(handle, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_2TLS);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    if (extraCaPem.isEmpty()) // while libcurl's own places are still set
        tellWhenTheSystemHasNoAuthorities(handle);
    trustSystemStoreByLookUp(handle);
    // A connection that is never reused can never be the "dead reused connection" that
    // libcurl would send the request again over.
    curl_easy_setopt(handle, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(handle, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(handle, CURLOPT_SHARE, sessions);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, long(ServiceClient::exchangeBound().count()));
    // A name lookup that hangs is left to finish on its own instead of being waited for, so
    // the time-out bounds the whole exchange.
    curl_easy_setopt(handle, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, appendToBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(handle, CURLOPT_SOCKOPTFUNCTION, closeOnExec);
    if (!extraCaPem.isEmpty()) {
        curl_blob authorities{const_cast<char*>(extraCaPem.constData()),
                              static_cast<size_t>(extraCaPem.size()), CURL_BLOB_COPY};
        curl_easy_setopt(handle, CURLOPT_CAINFO_BLOB, &authorities);
    }
    return easy;
}

long statusOf(CURL* handle) {
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    return status;
}

} // namespace

bool urlExecute(const QString& url, std::optional<QString>& httpResult) {
    httpResult = QString(); // what every failure leaves, one to set up the request too
    QByteArray body;
    const QByteArray extraCaPem = ServiceClient::extraCaCertificatesPem();
    const std::shared_ptr<SessionShare> sessions = currentSessionShare(); // outlives the handle
    const EasyHandle easy = requestFor(url.toUtf8(), extraCaPem, sessions->handle(), body);
    if (!easy)
        return false;
    if (curl_easy_perform(easy.get()) != CURLE_OK || statusOf(easy.get()) != 200)
        return false;
    httpResult = replyBodyText(body);
    return true;
}

std::optional<QString> replyBodyText(const QByteArray& bytes) {
    // Stateless: a body that stops inside a character is an error, not a pending state.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(bytes);
    return decoder.hasError() ? std::nullopt : std::optional(text);
}

} // namespace MyFunctions
