#include "DataRow.h"
#include "settings/PasswordCipher.h"

#include <QtTest>

using MyFunctions::decryptString;
using MyFunctions::encryptString;

class PasswordCipherTest : public QObject {
    Q_OBJECT

private slots:
    // Values made once by `openssl enc -aes-256-ecb -K <key as hex> -base64 -A`.
    void interchangesWithOpenSslCommandLine_data() {
        columns<QString, QString>();
        QTest::newRow("ASCII password") << QString("Secret-Pa55!") << "Kwo52O5D4K70f2eQncHvbg==";
        QTest::newRow("non-ASCII, three blocks")
            << QString("Grüße, 世界 ✓ 0123456789abcdef")
            << "eD7fB5r3OxBnscFgWPneOhXQoH5ekjcal/3sS32t0OiC3bu2KyHB4K4uhyet5aXG";
        QTest::newRow("leading U+FEFF, part of the password")
            << QStringLiteral("\uFEFFpass") << "P9VTo5BUbr575AjLjJcwXQ==";
    }
    void interchangesWithOpenSslCommandLine() {
        const auto [plain, stored] = fetch<QString, QString>();
        QCOMPARE(decryptString(stored), plain);
        QCOMPARE(encryptString(plain), stored);
    }

    void rejectsWhatDoesNotDecipher_data() {
        columns<QString>();
        QTest::newRow("empty text") << QString();
        QTest::newRow("padding stripped") << QString("Kwo52O5D4K70f2eQncHvbg");
        QTest::newRow("URL-safe alphabet")
            << QString("IJXcaDkW3TPPMnA18gA5k_wgJkPMXoxSqmIu25Pdylo=");
        QTest::newRow("block ending in a zero byte, not PKCS#7")
            << QString("zU0lKUVvp62a/PCYlVDsPg==");
        QTest::newRow("deciphers to bytes that are not UTF-8")
            << QString("81radoRoNNEPWrl6Um0Aow==");
        QTest::newRow("deciphers to bytes that end inside a UTF-8 character")
            << QString("+MbTPwsqaxdCYXO/2YEs+g==");
    }
    void rejectsWhatDoesNotDecipher() {
        const auto [stored] = fetch<QString>();
        QCOMPARE(decryptString(stored), std::nullopt);
    }
};

QTEST_APPLESS_MAIN(PasswordCipherTest)
#include "tst_password_cipher.moc"
