#include "core/Settings.h"
#include "core/ServerAddress.h"
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

    // Every address of the server, from one section of the settings.
    void serverAddresses_data() {
        QTest::addColumn<QString>("protocol");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("webService"); // or the failure's start
        QTest::addColumn<QString>("portal");
        QTest::addColumn<QString>("upload");
        QTest::newRow("http, the default") << ""
                                           << "8080"
                                           << "http://srv:8080/lumo/server/index.php?wsdl"
                                           << "http://srv/lumo/server/versao.txt"
                                           << "http://srv:8080 /client/x.php?a=1";
        QTest::newRow("https") << "HTTPS"
                               << "8443"
                               << "https://srv:8443/lumo/server/index.php?wsdl"
                               << "https://srv/lumo/server/versao.txt"
                               << "https://srv:8443 /client/x.php?a=1";
        QTest::newRow("unknown protocol") << "ftp"
                                          << "21"
                                          << "Protocolo do servidor inválido"
                                          << ""
                                          << "";
        QTest::newRow("port not a number") << ""
                                           << "80a"
                                           << "Porta do servidor inválida"
                                           << ""
                                           << "";
        QTest::newRow("port out of range") << ""
                                           << "65536"
                                           << "Porta do servidor inválida"
                                           << ""
                                           << "";
        QTest::newRow("no port") << ""
                                 << ""
                                 << "Servidor não configurado"
                                 << ""
                                 << "";
    }
    void serverAddresses() {
        QFETCH(QString, protocol);
        QFETCH(QString, port);
        QFETCH(QString, webService);
        QFETCH(QString, portal);
        QFETCH(QString, upload);
        const ServerAddress server(QStringLiteral("srv"), port, protocol);
        const Result<QString> service = server.webService();
        QCOMPARE(service.ok() ? *service : service.error().description.left(webService.size()), webService);
        if (!portal.isEmpty()) {
            QCOMPARE(server.portalFile(QStringLiteral("versao.txt")), portal);
            QCOMPARE(server.upload(QStringLiteral("x.php"), QStringLiteral("a=1")), upload);
            QCOMPARE(server.receipt(QStringLiteral("1"), QStringLiteral("K"), QStringLiteral("02 /2012")),
                     portal.section(QLatin1Char('/'), 0, 2) +
                         QStringLiteral("/protocoloDown.php?IE=1&key=K&ref=02/2012"));
        }
    }

    // The proxy setting wins over the environment; no_proxy names hosts reached directly.
    void proxyChoice_data() {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QByteArray>("noProxy");
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("expected");
        QTest::newRow("environment, http") << "" << QByteArray() << "http"
                                           << "srv"
                                           << "http://p-http:1";
        QTest::newRow("environment, https") << "" << QByteArray() << "https"
                                            << "srv"
                                            << "http://p-https:2";
        QTest::newRow("setting first") << "http://p-ini:3" << QByteArray() << "https"
                                       << "srv"
                                       << "http://p-ini:3";
        QTest::newRow("name") << "" << QByteArray("outro, srv") << "http"
                              << "srv"
                              << "";
        QTest::newRow("domain suffix") << "" << QByteArray(".valdorra.test") << "http"
                                       << "ws.valdorra.test"
                                       << "";
        QTest::newRow("not a suffix") << "" << QByteArray("dorra.test") << "http"
                                      << "valdorra.test"
                                      << "http://p-http:1";
        QTest::newRow("every host") << "http://p-ini:3" << QByteArray("*") << "http"
                                    << "srv"
                                    << "";
        QTest::newRow("address in a network") << "" << QByteArray("127.0.0.0/8") << "http"
                                              << "127.9.8.7"
                                              << "";
        QTest::newRow("address outside") << "" << QByteArray("10.0.0.0/8") << "http"
                                         << "127.9.8.7"
                                         << "http://p-http:1";
        QTest::newRow("the prefix's last bit, inside") << "" << QByteArray("10.0.0.4/31") << "http"
                                                       << "10.0.0.5"
                                                       << "";
        QTest::newRow("the prefix's last bit, outside") << "" << QByteArray("10.0.0.4/31") << "http"
                                                        << "10.0.0.6"
                                                        << "http://p-http:1";
        QTest::newRow("IPv6 address") << "" << QByteArray("::1") << "http"
                                      << "[::1]"
                                      << "";
    }
    void proxyChoice() {
        QFETCH(QString, setting);
        QFETCH(QByteArray, noProxy);
        QFETCH(QString, scheme);
        QFETCH(QString, host);
        QFETCH(QString, expected);
        qputenv("http_proxy", "http://p-http:1");
        qputenv("https_proxy", "http://p-https:2");
        qputenv("no_proxy", noProxy);
        const ServerAddress server(QStringLiteral("srv"), QStringLiteral("80"), {}, {}, setting);
        QCOMPARE(server.proxyFor(scheme, host), expected);
        for (const char* name : {"http_proxy", "https_proxy", "no_proxy"})
            qunsetenv(name);
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
        QCOMPARE(ReadFile(write(content)).valueOr(QStringLiteral("<failed>")), expected);
    }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "SettingsTest.moc"
