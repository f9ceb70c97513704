#include "validation/MyValidator.h"

#include <QRegularExpression>
#include <algorithm>

namespace {

const auto usernamePattern = QStringLiteral("^[0-9a-zA-Z]{4,20}$");
const auto locationPattern = QStringLiteral("^[0-9a-zA-Z]{1,50}$");
const auto passwordPattern =
    QStringLiteral(R"(^[0-9a-zA-Z`~!@#\$%\^&\*\(\)\{}\[\]\-_=\+\|\\;:'"<>,\.\?\/]{4,20}$)");

bool isAscii(const QString& text) {
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

QRegularExpression compile(const QString& pattern) {
    // Anchored to the whole text: "$" alone also matches before a final line break.
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern),
                              QRegularExpression::CaseInsensitiveOption);
}

bool matchesWholeText(const QString& text, const QRegularExpression& expression) {
    // Every pattern admits ASCII only; without this, case-insensitive matching would let
    // Unicode case variants of ASCII letters (the Kelvin sign, the long s) through.
    if (text.isEmpty() || !isAscii(text))
        return false;
    return expression.isValid() && expression.match(text).hasMatch();
}

} // namespace

// Each fixed pattern is compiled once per thread: one expression object is not to be
// shared between threads, and compiling on every call costs far more than the match.
bool MyValidator::isValidUsername(const QString& text) const {
    thread_local const QRegularExpression expression = compile(usernamePattern);
    return matchesWholeText(text, expression);
}

bool MyValidator::isValidPassword(const QString& text) const {
    thread_local const QRegularExpression expression = compile(passwordPattern);
    return matchesWholeText(text, expression);
}

bool MyValidator::isValidLocation(const QString& text) const {
    thread_local const QRegularExpression expression = compile(locationPattern);
    return matchesWholeText(text, expression);
}

bool MyValidator::isValidMatch(const QString& text, const QString& regularExpressionPattern) const {
    return matchesWholeText(text, compile(regularExpressionPattern));
}
