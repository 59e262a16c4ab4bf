#include "core/Settings.h"
#include "core/TextFile.h"
#include "core/UrlParts.h"

#include <QTemporaryDir>
#include <QTest>

using namespace fiscora;

class SettingsTest final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString write(const QByteArray& bytes) {
        static int counter = 0;
        const QString path = m_dir.filePath(QStringLiteral("f%1.ini").arg(++counter));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write fixture");
        file.write(bytes);
        return path;
    }

private Q_SLOTS:
    void readIni_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");

        const QByteArray base = "[servidor]\r\nhost=srv.example\r\nport=8080\r\n";
        QTest::newRow("host") << base << "servidor"
                              << "host"
                              << "srv.example";
        QTest::newRow("port") << base << "servidor"
                              << "port"
                              << "8080";
        QTest::newRow("section case") << base << "SERVIDOR"
                                      << "host"
                                      << "srv.example";
        QTest::newRow("key case") << base << "servidor"
                                  << "HoSt"
                                  << "srv.example";
        QTest::newRow("missing key") << base << "servidor"
                                     << "user"
                                     << "";
        QTest::newRow("missing section") << base << "outro"
                                         << "host"
                                         << "";
        QTest::newRow("single character is missing") << QByteArray("[servidor]\nhost=a\n") << "servidor"
                                                     << "host"
                                                     << "";
        QTest::newRow("two characters") << QByteArray("[servidor]\nhost=ab\n") << "servidor"
                                        << "host"
                                        << "ab";
        QTest::newRow("blanks around") << QByteArray("[servidor]\n  host  =   10.0.0.1   \n") << "servidor"
                                       << "host"
                                       << "10.0.0.1";
        QTest::newRow("blank single character") << QByteArray("[servidor]\nhost=   x  \n") << "servidor"
                                                << "host"
                                                << "";
        QTest::newRow("blank section name") << QByteArray("[ Servidor ]\nport=81\n") << "servidor"
                                            << "port"
                                            << "81";
        QTest::newRow("key in other section")
            << QByteArray("[outro]\nhost=aa\n[servidor]\nport=81\n") << "servidor"
            << "host"
            << "";
        QTest::newRow("first of repeated keys") << QByteArray("[servidor]\nhost=aa\nhost=bb\n") << "servidor"
                                                << "host"
                                                << "aa";
        QTest::newRow("quoted value") << QByteArray("[servidor]\nhost=\"srv\"\n") << "servidor"
                                      << "host"
                                      << "srv";
        QTest::newRow("empty value") << QByteArray("[servidor]\nhost=\n") << "servidor"
                                     << "host"
                                     << "";
        QTest::newRow("latin-1 value") << QByteArray("[servidor]\nhost=s\xe3o\n") << "servidor"
                                       << "host" << QStringLiteral("são");
        QTest::newRow("300 characters cut to 254")
            << (QByteArray("[servidor]\nhost=") + QByteArray(300, 'x') + "\n") << "servidor"
            << "host" << QString(254, QLatin1Char('x'));
    }

    void readIni() {
        QFETCH(QByteArray, content);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QCOMPARE(readIniFile(write(content), section, key), expected);
    }

    void readIniMissingFile() {
        QCOMPARE(readIniFile(m_dir.filePath(QStringLiteral("none.ini")), QStringLiteral("servidor"),
                             QStringLiteral("host")),
                 QString());
    }

    void splitUrl_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("query");

        QTest::newRow("full") << "http://srv:8080/a/b.php?x=1"
                              << "http"
                              << "srv" << 8080 << "/a/b.php"
                              << "x=1";
        QTest::newRow("bare host") << "srv"
                                   << ""
                                   << "srv" << 0 << "/"
                                   << "";
        QTest::newRow("blank before path") << "http://h:81 /p?q"
                                           << "http"
                                           << "h" << 81 << "/p"
                                           << "q";
        QTest::newRow("empty port text") << "http://h: /p"
                                         << "http"
                                         << "h" << 0 << "/p"
                                         << "";
        QTest::newRow("no port") << "http://h/p"
                                 << "http"
                                 << "h" << 0 << "/p"
                                 << "";
        QTest::newRow("colon without slash") << "h:81"
                                             << ""
                                             << "h:81" << 0 << "/"
                                             << "";
        QTest::newRow("port not numeric") << "http://h:x/p"
                                          << "http"
                                          << "h" << 0 << "/p"
                                          << "";
        QTest::newRow("only first question mark") << "http://h/p?a=1?b=2"
                                                  << "http"
                                                  << "h" << 0 << "/p"
                                                  << "a=1?b=2";
        QTest::newRow("colon after slash") << "http://h/p:1"
                                           << "http"
                                           << "h" << 0 << "/p:1"
                                           << "";
        QTest::newRow("separator at start: empty scheme") << "://h/p"
                                                          << ""
                                                          << "h" << 0 << "/p"
                                                          << "";
        QTest::newRow("largest 16-bit port") << "http://h:32767/p"
                                             << "http"
                                             << "h" << 32767 << "/p"
                                             << "";
        QTest::newRow("port too large") << "http://h:40000/p"
                                        << "http"
                                        << "h" << UrlParts::kPortTooLarge << "/p"
                                        << "";
        QTest::newRow("port far too large") << "http://h:99999999999/p"
                                            << "http"
                                            << "h" << UrlParts::kPortTooLarge << "/p"
                                            << "";
        QTest::newRow("signed port is not a number") << "http://h:-1/p"
                                                     << "http"
                                                     << "h" << 0 << "/p"
                                                     << "";
        QTest::newRow("upload address") << "http://10.1.1.1:8080 /client/x.php?contador=1&chave=AB&gias=1,2"
                                        << "http"
                                        << "10.1.1.1" << 8080 << "/client/x.php"
                                        << "contador=1&chave=AB&gias=1,2";
        QTest::newRow("empty") << ""
                               << ""
                               << "" << 0 << "/"
                               << "";
    }

    void splitUrl() {
        QFETCH(QString, url);
        const UrlParts parts = SplitUrl(url);
        QTEST(parts.Scheme, "scheme");
        QTEST(parts.Host, "host");
        QTEST(parts.Port, "port");
        QTEST(parts.Path, "path");
        QTEST(parts.Query, "query");
    }

    void readFile_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << QByteArray() << "";
        QTest::newRow("no line end") << QByteArray("1.15.01") << "1.15.01\r\n";
        QTest::newRow("crlf") << QByteArray("1.15.01\r\n") << "1.15.01\r\n";
        QTest::newRow("lf") << QByteArray("a\nb\n") << "a\r\nb\r\n";
        QTest::newRow("only line end") << QByteArray("\r\n") << "\r\n";
        QTest::newRow("blanks") << QByteArray("   ") << "   \r\n";
        QTest::newRow("two lines, last open") << QByteArray("a\r\nb") << "a\r\nb\r\n";
        QTest::newRow("windows-1252") << QByteArray("Ol\xe1 \x80") << QStringLiteral("Olá €\r\n");
    }

    void readFile() {
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        QCOMPARE(ReadFile(write(content)), expected);
    }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "SettingsTest.moc"
