// Writes the fuzz targets' seed corpora: replies the stand-in provider gives over HTTPS for
// the accounts and requests of a normal run, and a few stored forms and user inputs.
//
//   fuzz_seeds <corpus folder>
#include "StandInProvider.h"
#include "service/ServiceEndpoints.h"
#include "service/Transport.h"
#include "settings/PasswordCipher.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>

namespace {

QDir corpus;

void seed(const QString& target, const QByteArray& bytes) {
    corpus.mkpath(target);
    const QString name = QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex();
    QFile file(corpus.filePath(target + '/' + name));
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

QByteArray fetch(const QString& url) {
    std::optional<QString> body;
    MyFunctions::urlExecute(url, body);
    return body.value_or(QString()).toUtf8();
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    if (argc < 2)
        return 2;
    corpus = QDir(QString::fromLocal8Bit(argv[1]));

    StandInProvider provider;
    provider.addAccount({"alice2024", "s3cret!Pw", {"home", "ab"}});
    ServiceClient::configure(provider.endpoints(), provider.authority());
    const ServiceEndpoints hosts = provider.endpoints();
    const QString api = "https://" + hosts.apiHost;
    const QString wrongDigest = "a2d5dcd3a9d6aebf8e2e4fbd1ba1a4e5";
    const QString good = QCryptographicHash::hash("s3cret!Pw", QCryptographicHash::Md5).toHex();

    seed("address_reply", fetch("https://" + hosts.ipv4Host + "/ipcheck.asp"));
    seed("address_reply", fetch("https://" + hosts.ipv6Host + "/ipcheck.asp"));
    for (const QString& query : {"username=alice2024&password=" + good + "&group=home",
                                 "username=alice2024&password=" + good + "&group=",
                                 "username=alice2024&password=" + good + "&group=nowhere",
                                 "username=alice2024&password=" + wrongDigest + "&group=home"})
        seed("profile_reply", fetch(api + "/nic/getclientprofilewithgroup?" + query));
    for (const QString& query :
         {"username=alice2024&password=" + good +
              "&location=home&myipv4=203.0.113.7&myipv6=2001:db8::7&uin=1",
          "username=alice2024&password=" + good +
              "&location=home&myipv4=203.0.113.7&myipv6=2001:db8::7",
          "username=alice2024&password=" + good + "&location=&myipv4=no&myipv6=",
          "username=alice2024&password=" + good + "&location=elsewhere&myipv4=&myipv6=no",
          "username=mallory1&password=" + wrongDigest + "&location=&myipv4=&myipv6="})
        seed("update_reply", fetch(api + "/nic/clientupdate?" + query));
    for (const char* status : {"dns error", "911", "not fully qualified domain name", "abuse",
                               "too many hosts", "not member", "old version"})
        seed("update_reply", QByteArray(R"({"statusCode":")") + status + "\"}");

    for (const QString& password : {"", "s3cret!Pw", "Grüße, 世界", "0123456789abcdef"})
        seed("decrypt", MyFunctions::encryptString(password)->toUtf8());
    for (const char* text : {"alice2024", "s3cret!Pw", "home", "first.last+dns@mail.example.org",
                             "`~!@#$%^&*(){}[]", "caf\xc3\xa9"})
        seed("validators", text);
    return 0;
}
