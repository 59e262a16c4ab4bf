#include "net/Base64.h"

#include <QRandomGenerator>
#include <QTest>

using namespace fiscora;

class Base64Test final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decode_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");

        QTest::newRow("three bytes") << QStringLiteral("YWJj") << QStringLiteral("abc");
        QTest::newRow("one pad") << QStringLiteral("YWI=") << QStringLiteral("ab");
        QTest::newRow("two pads") << QStringLiteral("YQ==") << QStringLiteral("a");
        QTest::newRow("CR LF inside") << QStringLiteral("YW\r\nJj") << QStringLiteral("abc");
        QTest::newRow("lone CR and LF anywhere") << QStringLiteral("\nY\rWJ\nj\r") << QStringLiteral("abc");
        QTest::newRow("unknown character as zero") << QStringLiteral("YW*j") << QStringLiteral("a`#");
        QTest::newRow("character outside the code page as zero")
            << QStringLiteral("YW\u03A9j") << QStringLiteral("a`#");
        // The pad count looks at the whole text.
        QTest::newRow("pair of pads inside")
            << QStringLiteral("YQ==YWJj") << QString::fromUtf16(u"a\0\0a", 4);
        QTest::newRow("single pad inside") << QStringLiteral("YQ=aYWJj")
                                           << QString::fromUtf16(u"a\0\x1a"
                                                                 u"ab",
                                                                 5);
        QTest::newRow("bytes above 127") << QStringLiteral("/+7/") << QStringLiteral("\u00FF\u00EE\u00FF");
        QTest::newRow("bytes 0x80-0x9F in the code page")
            << QStringLiteral("gIGf") << QStringLiteral("\u20AC\u0081\u0178");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("only line breaks") << QStringLiteral("\r\n\r\n") << QString();
    }

    void decode() {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        const Result<QString> decoded = MyDecode(input);
        QVERIFY(decoded);
        QCOMPARE(*decoded, expected);
    }

    void invalidLength_data() {
        QTest::addColumn<QString>("input");
        QTest::newRow("three") << QStringLiteral("YWJ");
        QTest::newRow("three after line breaks") << QStringLiteral("YW\r\nJ");
        QTest::newRow("five") << QStringLiteral("YWJjZ");
        QTest::newRow("pads count in the length") << QStringLiteral("YQ=");
    }

    void invalidLength() {
        QFETCH(QString, input);
        const Result<QString> decoded = MyDecode(input);
        QVERIFY(!decoded);
        QCOMPARE(decoded.error().number, qint64(0x80040000));
        QCOMPARE(decoded.error().source, QStringLiteral("MyDecode"));
        QCOMPARE(decoded.error().description, QStringLiteral("Input string is not valid Base64."));
        QVERIFY(!MyDecodeBytes(input));
    }

    // A certificate exported with line breaks decodes to its bytes, one character per byte.
    void certificateSizedText() {
        QByteArray bytes(1500, Qt::Uninitialized);
        QRandomGenerator random(7);
        for (char& b : bytes)
            b = static_cast<char>(random.bounded(256));
        const QByteArray encoded = bytes.toBase64();
        QString text;
        for (qsizetype i = 0; i < encoded.size(); i += 64)
            text += QString::fromLatin1(encoded.mid(i, 64)) + QStringLiteral("\r\n");

        const Result<QByteArray> decoded = MyDecodeBytes(text);
        QVERIFY(decoded);
        QCOMPARE(*decoded, bytes);
        const Result<QString> asText = MyDecode(text);
        QVERIFY(asText);
        QCOMPARE(asText->size(), bytes.size());
    }
};

QTEST_GUILESS_MAIN(Base64Test)
#include "Base64Test.moc"
