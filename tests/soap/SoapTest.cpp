#include "net/Soap.h"
#include "net/HttpClient.h"
#include "support/Await.h"
#include "support/ProgramFolderFixture.h"
#include "support/ServerLauncher.h"

#include <QCoreApplication>
#include <QTest>

using namespace fiscora;
using namespace fiscora::test;

namespace {

const QString kStart = QStringLiteral(
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap12:Envelope "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:soap12=\"http://www.w3.org/2003/05/soap-envelope\"> <soap12:Body>");
const QString kEnd = QStringLiteral("</soap12:Body></soap12:Envelope>");

QString answerWith(const QString& inner) {
    return QStringLiteral("<?xml version=\"1.0\"?><env:Envelope "
                          "xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\"><env:Body>") +
           inner + QStringLiteral("</env:Body></env:Envelope>");
}

} // namespace

class SoapTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void envelope_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QList<SoapParameter>>("parameters");
        QTest::addColumn<QString>("expected");

        QTest::newRow("list of transmissions")
            << QStringLiteral("Transferencia.ver2")
            << QList<SoapParameter>{{QStringLiteral("strNome"), QStringLiteral("12345678")},
                                    {QStringLiteral("strDiretorioDestino"), QStringLiteral("vbs")},
                                    {QStringLiteral("Chave"), QStringLiteral("AB12CD34")}}
            << kStart +
                   QStringLiteral("<Transferencia.ver2 xmlns=\"\"><strNome>12345678</strNome>"
                                  "<strDiretorioDestino>vbs</strDiretorioDestino><Chave>AB12CD34</Chave>"
                                  "</Transferencia.ver2>") +
                   kEnd;
        QTest::newRow("no parameters") << QStringLiteral("Op") << QList<SoapParameter>{}
                                       << kStart + QStringLiteral("<Op xmlns=\"\"></Op>") + kEnd;
        QTest::newRow("empty value, not self-closing")
            << QStringLiteral("Op") << QList<SoapParameter>{{QStringLiteral("a"), QString()}}
            << kStart + QStringLiteral("<Op xmlns=\"\"><a></a></Op>") + kEnd;
        QTest::newRow("specials escaped, quotes and blanks kept")
            << QStringLiteral("Op")
            << QList<SoapParameter>{{QStringLiteral("nome"),
                                     QStringLiteral(" Silva & Filhos <\"O''Brien\"> ")}}
            << kStart +
                   QStringLiteral(
                       "<Op xmlns=\"\"><nome> Silva &amp; Filhos &lt;\"O''Brien\"&gt; </nome></Op>") +
                   kEnd;
        QTest::newRow("accents as they are")
            << QStringLiteral("Op")
            << QList<SoapParameter>{{QStringLiteral("c"), QStringLiteral("São Conceição")}}
            << kStart + QStringLiteral("<Op xmlns=\"\"><c>São Conceição</c></Op>") + kEnd;
    }

    void envelope() {
        QFETCH(QString, operation);
        QFETCH(QList<SoapParameter>, parameters);
        QFETCH(QString, expected);
        QCOMPARE(SoapEnvelope(operation, parameters), expected);
    }

    // Four blanks of the envelope itself, two in the declaration, one before the empty namespace.
    void envelopeBlanksAndLineBreaks() {
        const QString body = SoapEnvelope(QStringLiteral("Op"), {{QStringLiteral("p"), QStringLiteral("v")}});
        QCOMPARE(body.count(QLatin1Char(' ')), 7);
        QVERIFY(!body.contains(QLatin1Char('\n')));
        QVERIFY(!body.contains(QLatin1Char('\r')));
        QCOMPARE(GenerateSoapBodyStart() + GenerateSoapFunctionCallStart(QStringLiteral("Op")) +
                     GenerateSoapParameter(QStringLiteral("p"), QStringLiteral("v")) +
                     GenerateSoapFunctionCallEnd(QStringLiteral("Op")) + GenerateSoapBodyEnd(),
                 body);
    }

    void getResult_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("expected");

        QTest::newRow("fourth level")
            << answerWith(QStringLiteral("<r><return>ok</return></r>")) << QStringLiteral("ok");
        QTest::newRow("entities decoded")
            << answerWith(QStringLiteral("<r><return>A&amp;B&lt;C</return></r>")) << QStringLiteral("A&B<C");
        QTest::newRow("xml carried as text")
            << answerWith(
                   QStringLiteral("<r><return>&lt;lista&gt;&lt;x a=\"1\"/&gt;&lt;/lista&gt;</return></r>"))
            << QStringLiteral("<lista><x a=\"1\"/></lista>");
        QTest::newRow("descendants' text joined")
            << answerWith(QStringLiteral("<r><return>a<b>b</b>c<![CDATA[<d>]]></return></r>"))
            << QStringLiteral("abc<d>");
        QTest::newRow("third level is not the result")
            << answerWith(QStringLiteral("<return>no</return>")) << QString();
        QTest::newRow("fifth level is not the result")
            << answerWith(QStringLiteral("<r><s><return>no</return></s></r>")) << QString();
        QTest::newRow("first in document order")
            << answerWith(QStringLiteral("<r><x/></r><r><return>1</return><return>2</return></r>"))
            << QStringLiteral("1");
        // Decision: only the name as written counts; a prefixed result is not the service's.
        QTest::newRow("prefixed return does not count")
            << answerWith(QStringLiteral("<ns1:r xmlns:ns1=\"urn:x\"><ns1:return>no</ns1:return></ns1:r>"))
            << QString();
        QTest::newRow("unprefixed return under a default namespace counts")
            << answerWith(QStringLiteral("<r xmlns=\"urn:x\"><return>yes</return></r>"))
            << QStringLiteral("yes");
        QTest::newRow("other name") << answerWith(QStringLiteral("<r><Return>no</Return></r>")) << QString();
        QTest::newRow("empty element") << answerWith(QStringLiteral("<r><return/></r>")) << QString();
        QTest::newRow("not xml") << QStringLiteral("<html><body>Erro 500") << QString();
        QTest::newRow("plain text") << QStringLiteral("CHAVE_INVALIDA") << QString();
        QTest::newRow("empty text") << QString() << QString();
        // A hostile or broken server must not be able to crash the client: the document tree
        // is freed recursively, so a very deep answer would exhaust the stack.
        const int depth = 500000;
        const QString deep = QStringLiteral("<d>").repeated(depth) + QStringLiteral("</d>").repeated(depth);
        QTest::newRow("nesting too deep before the result")
            << answerWith(QStringLiteral("<r>") + deep + QStringLiteral("<return>no</return></r>"))
            << QString();
        QTest::newRow("nesting too deep after the result")
            << answerWith(QStringLiteral("<r><return>no</return>") + deep + QStringLiteral("</r>"))
            << QString();
        QTest::newRow("external entity refused")
            << answerWith(QStringLiteral("<r><return>&x;</return></r>"))
                   .replace(QStringLiteral("?><env:"),
                            QStringLiteral("?><!DOCTYPE env:Envelope [<!ENTITY x SYSTEM "
                                           "\"file:///etc/hostname\">]><env:"))
            << QString();
        QTest::newRow("internal entity expanded")
            << answerWith(QStringLiteral("<r><return>&x;</return></r>"))
                   .replace(QStringLiteral("?><env:"),
                            QStringLiteral("?><!DOCTYPE env:Envelope [<!ENTITY x \"ok\">]><env:"))
            << QStringLiteral("ok");
    }

    void getResult() {
        QFETCH(QString, answer);
        QFETCH(QString, expected);
        QCOMPARE(GetResult(answer, QStringLiteral("return")), expected);
    }

    // Every value comes back exactly as sent: the server parsed the envelope, not a string.
    void roundTripThroughServer() {
        ServerLauncher server;
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        ProgramFolderFixture folder(server.host(), server.port());

        const QList<SoapParameter> parameters{
            {QStringLiteral("apostrofos"), QStringLiteral("D''Ávila d'Oeste")},
            {QStringLiteral("ecomercial"), QStringLiteral("Silva & Filhos")},
            {QStringLiteral("sinais"), QStringLiteral("<a> \"b\" c>d")},
            {QStringLiteral("acentos"), QStringLiteral("Conceição Ñandú €")},
            {QStringLiteral("vazio"), QString()},
            {QStringLiteral("brancos"), QStringLiteral("   ")}};
        const Result<QString> answer = test::soapAnswer(QStringLiteral("Diagnostico.eco"), parameters);
        QVERIFY2(answer.ok(), qPrintable(answer.error().description));
        QString expected;
        for (const SoapParameter& p : parameters)
            expected += p.name + QLatin1Char('=') + p.value + QLatin1Char('\n');
        QCOMPARE(GetResult(*answer, QStringLiteral("return")), expected);

        const Result<QString> headers = test::soapAnswer(QStringLiteral("Diagnostico.cabecalhos"), {});
        QVERIFY2(headers.ok(), qPrintable(headers.error().description));
        QCOMPARE(GetResult(*headers, QStringLiteral("return")),
                 QStringLiteral("Content-Type=text/xml\nSOAPAction=Diagnostico.cabecalhos\n"));
        QVERIFY(server.requests().contains(QStringLiteral("POST /lumo/server/index.php?wsdl 200")));
    }

    // Why values are escaped: the same value pasted raw makes the request invalid XML.
    void rawAmpersandIsRefusedByTheServer() {
        ServerLauncher server;
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const QString url = soapUrl(server);
        const HttpHeaders headers{{QByteArrayLiteral("Content-Type"), QByteArrayLiteral("text/xml")}};
        const QString raw =
            kStart + QStringLiteral("<Diagnostico.eco xmlns=\"\"><n>Silva & Filhos</n></Diagnostico.eco>") +
            kEnd;
        const Result<HttpAnswer> refused = test::httpPost(url, raw.toUtf8(), headers, kMaxSoapAnswerBytes);
        QVERIFY(refused.ok());
        QCOMPARE(refused->status, 500);
        const QString escaped = SoapEnvelope(QStringLiteral("Diagnostico.eco"),
                                             {{QStringLiteral("n"), QStringLiteral("Silva & Filhos")}});
        const Result<HttpAnswer> accepted =
            test::httpPost(url, escaped.toUtf8(), headers, kMaxSoapAnswerBytes);
        QVERIFY(accepted.ok());
        QCOMPARE(accepted->status, 200);
        QCOMPARE(GetResult(QString::fromUtf8(accepted->body), QStringLiteral("return")),
                 QStringLiteral("n=Silva & Filhos\n"));
    }

    // The status is not examined: a fault comes back as an answer for the caller to judge.
    void errorStatusIsAnAnswer() {
        ServerLauncher server;
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        ProgramFolderFixture folder(server.host(), server.port());
        const Result<QString> answer = test::soapAnswer(QStringLiteral("Nao.existe"), {});
        QVERIFY(answer.ok());
        QVERIFY(answer->contains(QStringLiteral("Nao.existe")));
        QCOMPARE(GetResult(*answer, QStringLiteral("return")), QString());
    }

    // The address is read before every call: a changed settings file takes effect at once.
    void settingsReadAfresh() {
        ServerLauncher server;
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        ProgramFolderFixture folder(QStringLiteral("127.0.0.1"), 1);
        QVERIFY(!test::soapAnswer(QStringLiteral("Diagnostico.eco"), {}).ok());
        folder.setServer(server.host(), server.port());
        QVERIFY(test::soapAnswer(QStringLiteral("Diagnostico.eco"), {}).ok());
    }

    void transportFailure_data() {
        QTest::addColumn<QByteArray>("settings");
        QTest::newRow("no file") << QByteArray();
        QTest::newRow("empty host") << QByteArray("[servidor]\r\nhost=\r\nport=8080\r\n");
        QTest::newRow("empty port") << QByteArray("[servidor]\r\nhost=127.0.0.1\r\nport=\r\n");
        QTest::newRow("port not a number") << QByteArray("[servidor]\r\nhost=127.0.0.1\r\nport=80a\r\n");
        QTest::newRow("port out of range") << QByteArray("[servidor]\r\nhost=127.0.0.1\r\nport=70000\r\n");
        QTest::newRow("port zero") << QByteArray("[servidor]\r\nhost=127.0.0.1\r\nport=00\r\n");
        QTest::newRow("host with blanks") << QByteArray("[servidor]\r\nhost=a b\r\nport=8080\r\n");
    }

    void transportFailure() {
        QFETCH(QByteArray, settings);
        ProgramFolderFixture folder;
        folder.writeFile(QStringLiteral("fiscora.ini"), settings);
        const Result<QString> answer = test::soapAnswer(QStringLiteral("Diagnostico.eco"), {});
        QVERIFY(!answer.ok());
        QVERIFY(!answer.error().description.isEmpty());
    }

    void connectionRefused() {
        ServerLauncher server;
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        ProgramFolderFixture folder(server.host(), server.port());
        server.stop();
        const Result<QString> answer = test::soapAnswer(QStringLiteral("Diagnostico.eco"), {});
        QVERIFY(!answer.ok());
        QVERIFY(!answer.error().description.isEmpty());
    }
};

QTEST_GUILESS_MAIN(SoapTest)
#include "SoapTest.moc"
