#include "validation/MyValidator.h"

#include <QtTest>

enum class Field { Username, Password, Location, EmailAddress };
Q_DECLARE_METATYPE(Field)

class ValidatorTest : public QObject {
    Q_OBJECT

private slots:
    void acceptsOnlyTheAllowedForms_data() {
        QTest::addColumn<Field>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        const auto row = [](const char* name, Field field, const QString& text, bool valid) {
            QTest::newRow(name) << field << text << valid;
        };
        for (Field field : {Field::Username, Field::Password, Field::Location, Field::EmailAddress})
            row(qPrintable(QString("empty, field %1").arg(int(field))), field, QString(), false);

        row("user name of 3", Field::Username, "abc", false);
        row("user name of 4", Field::Username, "abc1", true);
        row("user name of 20", Field::Username, QString(20, 'Z'), true);
        row("user name of 21", Field::Username, QString(21, 'z'), false);
        row("user name, mixed case", Field::Username, "AbCd09", true);
        row("user name with a space", Field::Username, "ab cd", false);
        row("user name with a hyphen", Field::Username, "ab-cd", false);
        row("user name with an underscore", Field::Username, "ab_cd", false);
        row("user name with e acute", Field::Username, "caf\u00e9s", false);
        row("user name with a Kelvin sign", Field::Username, "abc\u212a", false);
        row("user name with a long s", Field::Username, "abc\u017f", false);
        row("user name, final line break", Field::Username, "alice\n", false);
        row("user name, final CR LF", Field::Username, "alice\r\n", false);

        row("password of 3", Field::Password, "a!1", false);
        row("password of 4 punctuation marks", Field::Password, "`~!@", true);
        row("password of 20", Field::Password, QString(20, '#'), true);
        row("password of 21", Field::Password, QString(21, '#'), false);
        row("password, all 32 punctuation marks", Field::Password,
            "`~!@#$%^&*(){}[]-_=+|\\;:'\"<>,.?/", false); // 32 characters: too long
        row("password, first 16 punctuation marks", Field::Password, "`~!@#$%^&*(){}[]", true);
        row("password, last 16 punctuation marks", Field::Password, "-_=+|\\;:'\"<>,.?/", true);
        row("password with a space", Field::Password, "pass word", false);
        row("password with a pound sign", Field::Password, "pass\u00a3word", false);
        row("password with a Kelvin sign", Field::Password, "pass\u212a", false);
        row("password, final line break", Field::Password, "secret!\n", false);

        row("group of 1", Field::Location, "a", true);
        row("group of 50", Field::Location, QString(50, '7'), true);
        row("group of 51", Field::Location, QString(51, '7'), false);
        row("group with a number sign", Field::Location, "home#1", false);
        row("group with e acute", Field::Location, "caf\u00e9", false);
        row("group, final line break", Field::Location, "home\n", false);

        row("e-mail address", Field::EmailAddress, "first.last+dns@mail.example.org", true);
        row("e-mail address, hyphen and underscore", Field::EmailAddress, "a_b-c@ex-ample.co",
            true);
        row("e-mail without at sign", Field::EmailAddress, "first.example.org", false);
        row("e-mail, last label of 16", Field::EmailAddress, "a@example.abcdefghijklmnop", false);
        row("e-mail, final line break", Field::EmailAddress, "a@example.org\n", false);
    }
    void acceptsOnlyTheAllowedForms() {
        QFETCH(Field, field);
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const MyValidator validator;
        switch (field) {
        case Field::Username:
            QCOMPARE(validator.isValidUsername(text), valid);
            break;
        case Field::Password:
            QCOMPARE(validator.isValidPassword(text), valid);
            break;
        case Field::Location:
            QCOMPARE(validator.isValidLocation(text), valid);
            break;
        case Field::EmailAddress:
            QCOMPARE(validator.isValidEmailAddress(text), valid);
            break;
        }
    }

    void patternThatDoesNotCompileMatchesNothing() {
        QCOMPARE(MyValidator().isValidMatch("abc", "[abc"), false);
    }
};

QTEST_APPLESS_MAIN(ValidatorTest)
#include "tst_validator.moc"
