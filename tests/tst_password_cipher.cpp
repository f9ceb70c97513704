#include "settings/PasswordCipher.h"

#include <QtTest>

using MyFunctions::decryptString;
using MyFunctions::encryptString;

class PasswordCipherTest : public QObject {
    Q_OBJECT

private slots:
    void enciphersToWholeBlocks_data() {
        QTest::addColumn<QString>("plain");
        QTest::addColumn<int>("base64Length");
        QTest::newRow("empty: one block of padding") << QString() << 24;
        QTest::newRow("4 characters") << QString("abcd") << 24;
        QTest::newRow("15 bytes") << QString(15, 'x') << 24;
        QTest::newRow("16 bytes") << QString(16, 'x') << 44;
        QTest::newRow("31 bytes") << QString(31, 'x') << 44;
        QTest::newRow("8 characters, 16 UTF-8 bytes") << QString("ääääääää") << 44;
    }
    void enciphersToWholeBlocks() {
        QFETCH(QString, plain);
        QFETCH(int, base64Length);
        const auto stored = encryptString(plain);
        QVERIFY(stored);
        QCOMPARE(stored->size(), base64Length);
        QVERIFY(stored->endsWith('='));
        QCOMPARE(decryptString(*stored), plain);
    }

    void isDeterministicBlockByBlock() {
        const QString twoEqualBlocks(32, 'k');
        QCOMPARE(encryptString(twoEqualBlocks), encryptString(twoEqualBlocks));
        const QByteArray bytes = QByteArray::fromBase64(encryptString(twoEqualBlocks)->toLatin1());
        QCOMPARE(bytes.size(), 48);
        QCOMPARE(bytes.mid(0, 16), bytes.mid(16, 16));
        QVERIFY(bytes.mid(32, 16) != bytes.mid(0, 16));
    }

    // Values made once by `openssl enc -aes-256-ecb -K <key as hex> -base64 -A`.
    void interchangesWithOpenSslCommandLine_data() {
        QTest::addColumn<QString>("plain");
        QTest::addColumn<QString>("stored");
        QTest::newRow("ASCII password") << QString("Secret-Pa55!") << "Kwo52O5D4K70f2eQncHvbg==";
        QTest::newRow("non-ASCII, three blocks")
            << QString("Grüße, 世界 ✓ 0123456789abcdef")
            << "eD7fB5r3OxBnscFgWPneOhXQoH5ekjcal/3sS32t0OiC3bu2KyHB4K4uhyet5aXG";
        QTest::newRow("21 bytes") << QString("ABCDEFGHIJKLMNOPQRSTU")
                                  << "IJXcaDkW3TPPMnA18gA5k/wgJkPMXoxSqmIu25Pdylo=";
    }
    void interchangesWithOpenSslCommandLine() {
        QFETCH(QString, plain);
        QFETCH(QString, stored);
        QCOMPARE(decryptString(stored), plain);
        QCOMPARE(encryptString(plain), stored);
    }

    void rejectsWhatDoesNotDecipher_data() {
        QTest::addColumn<QString>("stored");
        QTest::newRow("empty text") << QString();
        QTest::newRow("plain password") << QString("Secret-Pa55!");
        QTest::newRow("line break inside") << QString("Kwo52O5D4K70\nf2eQncHvbg==");
        QTest::newRow("trailing line break") << QString("Kwo52O5D4K70f2eQncHvbg==\n");
        QTest::newRow("blank inside") << QString("Kwo52O5D4K70 f2eQncHvbg==");
        QTest::newRow("padding stripped") << QString("Kwo52O5D4K70f2eQncHvbg");
        QTest::newRow("URL-safe alphabet")
            << QString("IJXcaDkW3TPPMnA18gA5k_wgJkPMXoxSqmIu25Pdylo=");
        QTest::newRow("15 bytes") << QString::fromLatin1(QByteArray(15, 'a').toBase64());
        QTest::newRow("17 bytes") << QString::fromLatin1(QByteArray(17, 'a').toBase64());
        QTest::newRow("block ending in a zero byte, not PKCS#7")
            << QString("zU0lKUVvp62a/PCYlVDsPg==");
        QTest::newRow("deciphers to bytes that are not UTF-8")
            << QString("81radoRoNNEPWrl6Um0Aow==");
        QTest::newRow("deciphers to bytes that end inside a UTF-8 character")
            << QString("+MbTPwsqaxdCYXO/2YEs+g==");
    }
    void rejectsWhatDoesNotDecipher() {
        QFETCH(QString, stored);
        QCOMPARE(decryptString(stored), std::nullopt);
    }
};

QTEST_APPLESS_MAIN(PasswordCipherTest)
#include "tst_password_cipher.moc"
