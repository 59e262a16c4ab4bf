#include "AccessFacts.h"
#include "JetTestSupport.h"

#include <QFile>
#include <QHash>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstring>
#include <utility>

using namespace jettest;

namespace {

// The header's obfuscation and the password mask, read the way a reader of the format would
// (independently of the writer): RC4 with key C7 DA 39 6B over 128 bytes from 0x18; the
// password at 0x42, UCS-2, each byte XORed with byte i mod 4 of the creation date's integer part.
QString decodePassword(QByteArray header) {
    if (header.size() < 0x98)
        return QStringLiteral("<short>");
    auto* p = reinterpret_cast<unsigned char*>(header.data());
    const unsigned char key[4] = {0xC7, 0xDA, 0x39, 0x6B};
    unsigned char s[256];
    for (int i = 0; i < 256; ++i)
        s[i] = static_cast<unsigned char>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[i % 4]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    for (int k = 0, i = 0, j = 0; k < 128; ++k) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        p[0x18 + k] ^= s[(s[i] + s[j]) & 0xFF];
    }
    double created;
    std::memcpy(&created, p + 0x72, 8);
    const auto days = static_cast<quint32>(static_cast<qint32>(std::trunc(created)));
    QString password;
    for (int i = 0; i < 40; i += 2) {
        const unsigned lo = p[0x42 + i] ^ ((days >> (8 * (i % 4))) & 0xFF);
        const unsigned hi = p[0x42 + i + 1] ^ ((days >> (8 * ((i + 1) % 4))) & 0xFF);
        const char16_t c = char16_t(lo | (hi << 8));
        if (!c)
            break;
        password += QChar(c);
    }
    return password;
}

QByteArray headerOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(4096) : QByteArray();
}

} // namespace

class HeaderTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void storesPassword_data() {
        QTest::addColumn<QString>("password");
        QTest::newRow("package password") << QStringLiteral("lanterna7");
        QTest::newRow("none") << QString();
        QTest::newRow("twenty characters") << QStringLiteral("abcdefghijklmnopqrst");
        QTest::newRow("accents") << QStringLiteral("ação é ü");
    }
    void storesPassword() {
        QFETCH(QString, password);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("p.mdb"));
        Database db;
        db.password = password;
        const Status written = writeDatabase(path, db);
        QVERIFY2(written, qPrintable(written.error().description));
        const QByteArray header = headerOf(path);
        QCOMPARE(header.mid(0, 4), QByteArray("\x00\x01\x00\x00", 4));
        QCOMPARE(header.mid(4, 15), QByteArray("Standard Jet DB"));
        QCOMPARE(int(header.at(0x14)), 1); // Jet 4
        QCOMPARE(decodePassword(header), password);
    }

    // The decoding above, tried on the header of a file Access protected with the password
    // "password" and on one without a password (the first 0x98 bytes, kept as hex).
    void decoderReadsAccessHeader() {
        const QString fixture = QStringLiteral("access2000.headers.txt");
        const QStringList files{QStringLiteral("password-access2000"), QStringLiteral("empty-access2000")};
        if (!deriveFixturesFrom().isEmpty()) {
            QStringList facts;
            for (const QString& name : files) {
                const QString path = deriveFixturesFrom() + QLatin1Char('/') + name + QStringLiteral(".mdb");
                facts << QStringLiteral("header %1 %2")
                             .arg(name, QString::fromLatin1(headerOf(path).first(0x98).toHex()));
            }
            QVERIFY(writeFacts(fixture, facts));
        }
        QHash<QString, QByteArray> headers;
        for (const QString& line : factsOf(readFacts(fixture), QStringLiteral("header")))
            headers.insert(line.section(QLatin1Char(' '), 1, 1),
                           QByteArray::fromHex(line.section(QLatin1Char(' '), 2).toLatin1()));
        QCOMPARE(headers.size(), 2);
        QCOMPARE(decodePassword(headers.value(files[0])), QStringLiteral("password"));
        QCOMPARE(decodePassword(headers.value(files[1])), QString());
    }

    void refusesLongPassword() {
        QTemporaryDir dir;
        Database db;
        db.password = QStringLiteral("abcdefghijklmnopqrstu");
        const Status written = writeDatabase(dir.filePath(QStringLiteral("p.mdb")), db);
        QVERIFY(!written);
        QVERIFY(!written.error().description.isEmpty());
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("p.mdb"))));
    }
};

int jettest::runHeaderTest(int argc, char** argv) {
    HeaderTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "HeaderTest.moc"
