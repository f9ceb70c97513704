#include "DataRow.h"
#include "validation/MyValidator.h"

#include <QtTest>

// What each pattern admits, up to its bounds; fuzz_validators checks that nothing else gets
// through, and these refusals are the ones a loosened pattern would let pass first.
class ValidatorTest : public QObject {
    Q_OBJECT

private slots:
    void acceptsOnlyTheAllowedForms_data() {
        columns<QString, QString, bool>();
        row("user name of 3", "username", QString("abc"), false);
        row("user name of 4, mixed case", "username", QString("aB1z"), true);
        row("user name of 20", "username", QString(20, 'Z'), true);
        row("user name with a Kelvin sign", "username", QString("abc\u212a"), false);
        row("user name, final line break", "username", QString("alice\n"), false);
        row("password, 16 punctuation marks", "password", QString("`~!@#$%^&*(){}[]"), true);
        row("password, 16 more", "password", QString("-_=+|\\;:'\"<>,.?/"), true);
        row("password with a space", "password", QString("pass word"), false);
        row("group of 1", "location", QString("a"), true);
        row("group of 50", "location", QString(50, '7'), true);
        row("group of 51", "location", QString(51, '7'), false);
    }
    void acceptsOnlyTheAllowedForms() {
        const auto [field, text, valid] = fetch<QString, QString, bool>();
        const MyValidator validator;
        const QHash<QString, bool> verdicts = {{"username", validator.isValidUsername(text)},
                                               {"password", validator.isValidPassword(text)},
                                               {"location", validator.isValidLocation(text)}};
        QCOMPARE(verdicts.value(field), valid);
    }
};

QTEST_APPLESS_MAIN(ValidatorTest)
#include "tst_validator.moc"
