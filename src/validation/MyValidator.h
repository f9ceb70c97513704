#pragma once

#include <QString>

// Checks the form of what the user types before it is stored or sent. Stateless: each
// caller makes its own.
class MyValidator {
public:
    bool isValidUsername(const QString& text) const;
    bool isValidPassword(const QString& text) const;
    bool isValidLocation(const QString& text) const;

    // True when the whole text matches the pattern, letter case ignored. Empty text
    // never matches.
    bool isValidMatch(const QString& text, const QString& regularExpressionPattern) const;
};
