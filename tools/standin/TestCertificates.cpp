#include "TestCertificates.h"

#include <memory>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <stdexcept>

namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Certificate = std::unique_ptr<X509, decltype(&X509_free)>;

void require(bool ok, const char* what) {
    if (!ok)
        throw std::runtime_error(std::string("certificate generation failed: ") + what);
}

Key newKey() {
    Key key(EVP_EC_gen("P-256"), &EVP_PKEY_free);
    require(key != nullptr, "key");
    return key;
}

void addExtension(X509* certificate, X509* issuer, int nid, const QByteArray& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.constData());
    require(extension != nullptr, "extension");
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

constexpr long day = 24 * 3600;

Certificate newCertificate(EVP_PKEY* key, const char* commonName, long serial,
                           TestCertificates::Validity validity) {
    const bool expired = validity == TestCertificates::Validity::Expired;
    Certificate certificate(X509_new(), &X509_free);
    require(certificate != nullptr, "certificate");
    X509_set_version(certificate.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), serial);
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), expired ? -2 * day : -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), expired ? -day : 7 * day);
    X509_set_pubkey(certificate.get(), key);
    X509_NAME* name = X509_get_subject_name(certificate.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
    return certificate;
}

void sign(X509* certificate, X509* issuer, EVP_PKEY* issuerKey) {
    X509_set_issuer_name(certificate, X509_get_subject_name(issuer));
    require(X509_sign(certificate, issuerKey, EVP_sha256()) > 0, "signature");
}

QByteArray pem(X509* certificate) {
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
    PEM_write_bio_X509(bio.get(), certificate);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, size);
}

QByteArray pem(EVP_PKEY* key) {
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
    PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, size);
}

} // namespace

TestCertificates TestCertificates::generate(const QStringList& serverDnsNames,
                                            Validity serverValidity) {
    const Key authorityKey = newKey();
    const Certificate authority =
        newCertificate(authorityKey.get(), "Vorlin stand-in test authority", 1, Validity::Current);
    addExtension(authority.get(), authority.get(), NID_basic_constraints, "critical,CA:TRUE");
    addExtension(authority.get(), authority.get(), NID_key_usage, "critical,keyCertSign");
    addExtension(authority.get(), authority.get(), NID_subject_key_identifier, "hash");
    sign(authority.get(), authority.get(), authorityKey.get());

    const Key serverKey = newKey();
    const Certificate server = newCertificate(
        serverKey.get(), qPrintable(serverDnsNames.value(0, "localhost")), 2, serverValidity);
    QStringList alternativeNames;
    for (const QString& name : serverDnsNames)
        alternativeNames << "DNS:" + name;
    addExtension(server.get(), authority.get(), NID_subject_alt_name,
                 alternativeNames.join(',').toLatin1());
    addExtension(server.get(), authority.get(), NID_basic_constraints, "CA:FALSE");
    addExtension(server.get(), authority.get(), NID_ext_key_usage, "serverAuth");
    addExtension(server.get(), authority.get(), NID_authority_key_identifier, "keyid");
    sign(server.get(), authority.get(), authorityKey.get());

    return {QSslCertificate(pem(authority.get())), QSslCertificate(pem(server.get())),
            QSslKey(pem(serverKey.get()), QSsl::Ec)};
}
