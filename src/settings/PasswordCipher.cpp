#include "settings/PasswordCipher.h"

#include <QByteArray>
#include <QStringDecoder>
#include <memory>
#include <openssl/evp.h>

namespace MyFunctions {
namespace {

constexpr char cipherKeyText[] = "5e0c8a71d39f24b6e1a7c05d8f3b9264";
static_assert(sizeof cipherKeyText - 1 == 32, "AES-256 takes a 32-byte key");

enum class Direction { Decipher = 0, Encipher = 1 };

std::optional<QByteArray> runCipher(Direction direction, const QByteArray& input) {
    const std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(
        EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    if (!context)
        return std::nullopt;
    const QByteArray key(cipherKeyText);
    const auto* keyBytes = reinterpret_cast<const unsigned char*>(key.constData());
    if (EVP_CipherInit_ex(context.get(), EVP_aes_256_ecb(), nullptr, keyBytes, nullptr,
                          static_cast<int>(direction)) != 1)
        return std::nullopt;

    // One block more than the input always holds the output, padding included.
    QByteArray output(input.size() + EVP_MAX_BLOCK_LENGTH, Qt::Uninitialized);
    auto* out = reinterpret_cast<unsigned char*>(output.data());
    int produced = 0;
    int finalProduced = 0;
    if (EVP_CipherUpdate(context.get(), out, &produced,
                         reinterpret_cast<const unsigned char*>(input.constData()),
                         static_cast<int>(input.size())) != 1 ||
        EVP_CipherFinal_ex(context.get(), out + produced, &finalProduced) != 1)
        return std::nullopt;
    output.truncate(produced + finalProduced);
    return output;
}

// Standard Base64 only: no blank, line break or other foreign character (non-Latin-1
// characters become '?', which is foreign too), and the "=" padding in place, so a
// damaged stored value is never half-read.
std::optional<QByteArray> decodeBase64Strictly(const QString& text) {
    if (text.size() % 4 != 0)
        return std::nullopt;
    auto decoded =
        QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return std::move(decoded.decoded);
}

// Stateless, so bytes that stop inside a character are an error rather than pending; a
// leading U+FEFF is part of the password, not a byte-order mark to drop.
std::optional<QString> decodeUtf8Strictly(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    const QString text = decoder(bytes);
    return decoder.hasError() ? std::nullopt : std::optional(text);
}

} // namespace

std::optional<QString> encryptString(const QString& text) {
    const auto enciphered = runCipher(Direction::Encipher, text.toUtf8());
    if (!enciphered)
        return std::nullopt;
    return QString::fromLatin1(enciphered->toBase64());
}

std::optional<QString> decryptString(const QString& base64Text) {
    // Zero bytes fail in the cipher, as does a count that is not a whole number of blocks.
    const QByteArray enciphered = decodeBase64Strictly(base64Text).value_or(QByteArray());
    const auto deciphered = runCipher(Direction::Decipher, enciphered);
    if (!deciphered)
        return std::nullopt;
    return decodeUtf8Strictly(*deciphered);
}

} // namespace MyFunctions
