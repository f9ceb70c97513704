// The three validators, each against what its pattern is meant to admit.
#include "FuzzEnvironment.h"
#include "validation/MyValidator.h"

#include <algorithm>

namespace {

bool onlyLettersAndDigits(const QString& text) {
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

bool onlyPrintableAsciiButSpace(const QString& text) {
    return std::all_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.unicode() > 0x20 && c.unicode() < 0x7f; });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const MyValidator validator;
    if (validator.isValidUsername(text))
        FUZZ_CHECK(text.size() >= 4 && text.size() <= 20 && onlyLettersAndDigits(text));
    if (validator.isValidLocation(text))
        FUZZ_CHECK(text.size() >= 1 && text.size() <= 50 && onlyLettersAndDigits(text));
    if (validator.isValidPassword(text))
        FUZZ_CHECK(text.size() >= 4 && text.size() <= 20 && onlyPrintableAsciiButSpace(text));
    return 0;
}
