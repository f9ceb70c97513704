// The stored password's way back: Base64, AES-256-ECB, PKCS#7, UTF-8.
#include "FuzzEnvironment.h"
#include "settings/PasswordCipher.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString stored =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (const auto plain = MyFunctions::decryptString(stored)) {
        // Whatever deciphers, enciphers again to a text that deciphers to the same.
        const auto again = MyFunctions::encryptString(*plain);
        FUZZ_CHECK(again && MyFunctions::decryptString(*again) == plain);
    }
    return 0;
}
