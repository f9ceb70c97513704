#include "DataRow.h"
#include "validation/MyValidator.h"

#include <QtTest>

// Each row one boundary of a pattern's meaning; fuzz_validators covers what each refuses.
class ValidatorTest : public QObject {
    Q_OBJECT

private slots:
    void acceptsOnlyTheAllowedForms_data() {
        columns<QString, QString, bool>();
        for (const char* field : {"username", "password", "location", "email"})
            QTest::addRow("%s empty", field) << field << QString() << false;
        row("user name of 3", "username", QString("abc"), false);
        row("user name of 4, mixed case", "username", QString("aB1z"), true);
        row("user name of 20", "username", QString(20, 'Z'), true);
        row("user name of 21", "username", QString(21, 'z'), false);
        row("user name with an underscore", "username", QString("ab_cd"), false);
        row("user name with a Kelvin sign", "username", QString("abc\u212a"), false);
        row("user name, final line break", "username", QString("alice\n"), false);
        row("password of 3", "password", QString("a!1"), false);
        row("password of 21", "password", QString(21, '#'), false);
        row("password, 16 punctuation marks", "password", QString("`~!@#$%^&*(){}[]"), true);
        row("password, 16 more", "password", QString("-_=+|\\;:'\"<>,.?/"), true);
        row("password with a space", "password", QString("pass word"), false);
        row("group of 1", "location", QString("a"), true);
        row("group of 50", "location", QString(50, '7'), true);
        row("group of 51", "location", QString(51, '7'), false);
        row("e-mail address", "email", QString("a_b-c.d+e@ex-ample.co"), true);
        row("e-mail, last label of 16", "email", QString("a@example.abcdefghijklmnop"), false);
    }
    void acceptsOnlyTheAllowedForms() {
        const auto [field, text, valid] = fetch<QString, QString, bool>();
        const MyValidator validator;
        const QHash<QString, bool> verdicts = {{"username", validator.isValidUsername(text)},
                                               {"password", validator.isValidPassword(text)},
                                               {"location", validator.isValidLocation(text)},
                                               {"email", validator.isValidEmailAddress(text)}};
        QCOMPARE(verdicts.value(field), valid);
    }
};

QTEST_APPLESS_MAIN(ValidatorTest)
#include "tst_validator.moc"
