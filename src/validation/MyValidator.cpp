#include "validation/MyValidator.h"

#include <QRegularExpression>
#include <algorithm>

namespace {

const auto usernamePattern = QStringLiteral("^[0-9a-zA-Z]{4,20}$");
const auto locationPattern = QStringLiteral("^[0-9a-zA-Z]{1,50}$");
// The hyphen after \w stands for itself; PCRE2 reads an unescaped one there as a broken
// range and would reject the whole pattern, so it is escaped.
const auto emailAddressPattern = QStringLiteral(R"(^[\w\-_%+\.]+@([\w-]+\.)+[\w-]{2,15}$)");
const auto passwordPattern =
    QStringLiteral(R"(^[0-9a-zA-Z`~!@#\$%\^&\*\(\)\{}\[\]\-_=\+\|\\;:'"<>,\.\?\/]{4,20}$)");

bool isAscii(const QString& text) {
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

} // namespace

bool MyValidator::isValidUsername(const QString& text) const {
    return isValidMatch(text, usernamePattern);
}

bool MyValidator::isValidPassword(const QString& text) const {
    return isValidMatch(text, passwordPattern);
}

bool MyValidator::isValidLocation(const QString& text) const {
    return isValidMatch(text, locationPattern);
}

bool MyValidator::isValidEmailAddress(const QString& text) const {
    return isValidMatch(text, emailAddressPattern);
}

bool MyValidator::isValidMatch(const QString& text, const QString& regularExpressionPattern) const {
    // Every pattern admits ASCII only; without this, case-insensitive matching would let
    // Unicode case variants of ASCII letters (the Kelvin sign, the long s) through.
    if (text.isEmpty() || !isAscii(text))
        return false;
    // Anchored to the whole text: "$" alone also matches before a final line break.
    const QRegularExpression expression(
        QRegularExpression::anchoredPattern(regularExpressionPattern),
        QRegularExpression::CaseInsensitiveOption);
    return expression.isValid() && expression.match(text).hasMatch();
}
