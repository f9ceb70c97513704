#pragma once

#include <QString>
#include <optional>

// AES-256-ECB with PKCS#7 padding under a key built into every copy of the client; the
// stored form is standard Base64. It keeps the password out of casual view of the
// settings file, nothing more.
namespace MyFunctions {

std::optional<QString> encryptString(const QString& text);
std::optional<QString> decryptString(const QString& base64Text);

} // namespace MyFunctions
