#include "net/HttpClient.h"
#include "net/Soap.h"
#include "support/Await.h"
#include "support/ProgramFolderFixture.h"
#include "support/SeedData.h"
#include "support/ServerLauncher.h"
#include "support/TestSeams.h"

#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <memory>
#include <vector>

using namespace fiscora;
using namespace fiscora::test;
using namespace Qt::StringLiterals;

namespace {

const QString kIE = u"648.120.377.258"_s;
const QString kKey = u"EV3P8T1L"_s;

// A server with one company, of the Simples.
bool startWithCompany(ServerLauncher& server) {
    const QStringList seed =
        writeSeed(server, {SeedCompany{kIE, u"23.456.789/0001-95"_s, u"Padaria"_s, kKey, true, {}}});
    return server.start(seed);
}

// Sends raw bytes and reads until the server closes or its answer's head is in; no read waits
// longer than waitMs.
QByteArray exchange(const ServerLauncher& server, const QByteArray& request, int waitMs = 10000) {
    QTcpSocket socket;
    socket.connectToHost(server.host(), quint16(server.port()));
    if (!socket.waitForConnected(5000))
        return {};
    socket.write(request);
    QByteArray answer;
    while (!answer.contains("\r\n\r\n") && socket.waitForReadyRead(waitMs))
        answer += socket.readAll();
    return answer;
}

} // namespace

class ServerLimitsTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Nesting the streaming reader would recurse through is refused before it is read; the
    // server answers the next call.
    void deepNestingIsRefused() {
        ServerLauncher server;
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const int depth = 60'000;
        const QByteArray nested = QByteArray("<a>").repeated(depth) + QByteArray("</a>").repeated(depth);
        const QByteArray body =
            SoapEnvelope(u"Diagnostico.eco"_s, {{u"p"_s, u"@@"_s}}).toUtf8().replace("@@", nested);
        const Result<HttpAnswer> refused = test::httpPost(soapUrl(server), body, {}, kMaxSoapAnswerBytes);
        QVERIFY2(refused.ok(), qPrintable(refused.error().description));
        QCOMPARE(refused->status, 500);
        ProgramFolderFixture folder(server.host(), server.port());
        QVERIFY(test::soapAnswer(u"Diagnostico.eco"_s, {}).ok());
    }

    // A body is refused on its declared length, before it is read; each route has its limit.
    void bodyLimitsPerRoute() {
        ServerLauncher server;
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const QByteArray head = "POST /lumo/server/index.php?wsdl HTTP/1.1\r\nHost: x\r\n";
        QVERIFY(exchange(server, head + "Content-Length: 300000000\r\n\r\n").startsWith("HTTP/1.1 413"));
        QVERIFY(exchange(server, head + "Transfer-Encoding: chunked\r\n\r\n").startsWith("HTTP/1.1 411"));

        // Two megabytes: too much for the web service, not for an upload.
        const QByteArray large(2 << 20, 'a');
        const Result<HttpAnswer> upload = test::httpPost(
            u"http://%1:%2/client/xt_upload_1_15_01.php"_s.arg(server.host()).arg(server.port()), large, {},
            1 << 20);
        QVERIFY2(upload.ok(), qPrintable(upload.error().description));
        QVERIFY(upload->status != 413);
        QVERIFY(exchange(server, head + "Content-Length: " + QByteArray::number(large.size()) + "\r\n\r\n")
                    .startsWith("HTTP/1.1 413"));
    }

    // Clients that send their headers a byte at a time are cut off, and do not hold every
    // worker: the service still answers.
    void stalledClientsDoNotBlockTheService() {
        ServerLauncher server;
        QVERIFY2(server.start({u"--tempo-cabecalho-ms"_s, u"500"_s}), qPrintable(server.errorString()));
        std::vector<std::unique_ptr<QTcpSocket>> slow;
        for (int i = 0; i < 40; ++i) {
            slow.push_back(std::make_unique<QTcpSocket>());
            slow.back()->connectToHost(server.host(), quint16(server.port()));
            QVERIFY(slow.back()->waitForConnected(5000));
            slow.back()->write("POST /lumo/server/index.php?wsdl HTTP/1.1\r\n");
        }
        QTimer drip;
        QObject::connect(&drip, &QTimer::timeout, [&] {
            for (const auto& socket : slow)
                socket->write("X");
        });
        drip.start(100);
        ProgramFolderFixture folder(server.host(), server.port());
        const Result<QString> answer =
            test::soapAnswer(u"Diagnostico.eco"_s, {},
                             HttpClient(fiscora::test::sharedSeams().folder,
                                        fiscora::test::sharedSeams().gate, 10'000, 10'000));
        QVERIFY2(answer.ok(), qPrintable(answer.error().description));
        int cut = 0;
        for (const auto& socket : slow)
            cut += socket->state() != QAbstractSocket::ConnectedState || socket->waitForDisconnected(3000);
        QCOMPARE(cut, 40);
    }

    // Connections that send nothing, or part of a request or of a TLS handshake, wait off the
    // workers: a client's call is answered at once however many there are.
    void idleConnectionsDoNotStarveTheService_data() {
        QTest::addColumn<bool>("secure");
        QTest::addColumn<QByteArray>("partial");
        QTest::newRow("http") << false << QByteArray("POST /lumo/server/index.php?wsdl HTTP/1.1\r\n");
        QTest::newRow("https") << true << QByteArray("\x16\x03\x01");
    }
    void idleConnectionsDoNotStarveTheService() {
        QFETCH(bool, secure);
        QFETCH(QByteArray, partial);
        ServerLauncher server;
        server.setSecure(secure);
        QVERIFY2(startWithCompany(server), qPrintable(server.errorString()));
        std::vector<std::unique_ptr<QTcpSocket>> idle;
        for (int i = 0; i < 200; ++i) {
            idle.push_back(std::make_unique<QTcpSocket>());
            idle.back()->connectToHost(server.host(), quint16(server.port()));
            QVERIFY(idle.back()->waitForConnected(5000));
            if (i % 4 == 0) {
                idle.back()->write(partial);
                QVERIFY(idle.back()->waitForBytesWritten(5000));
            }
        }
        // Today's limit on a call is 57 seconds behind 200 such connections.
        ProgramFolderFixture folder(server.host(), server.port(), secure);
        const Result<QString> answer = test::soapAnswer(
            u"Transferencia.ver2"_s,
            {{u"strNome"_s, kIE}, {u"strDiretorioDestino"_s, u"vbs"_s}, {u"Chave"_s, kKey}},
            HttpClient(fiscora::test::sharedSeams().folder, fiscora::test::sharedSeams().gate, 5000, 5000));
        QVERIFY2(answer.ok(), qPrintable(answer.error().description));
    }

    // A PDF of many tiny streams costs about what a plain one of its size costs to read.
    void manyTinyStreamsAreReadPromptly() {
        ServerLauncher server;
        QVERIFY2(startWithCompany(server), qPrintable(server.errorString()));
        const QByteArray data = qCompress("BT (Periodo 01/2024) Tj ET").mid(4);
        QByteArray pdf = "%PDF-1.4\n";
        for (int i = 0; i < 150'000; ++i)
            pdf += "stream\n" + data + "\nendstream\n";
        pdf += "trailer\n<< >>\n%%EOF\n";
        const QByteArray body =
            "--B\r\nContent-Disposition: form-data; name=\"objArquivo\"; "
            "filename=\"DeclaracaoDASN-1.pdf\"\r\nContent-Type: application/octet-stream\r\n\r\n" +
            pdf + "\r\n--B--";
        const QByteArray request =
            "POST /client/xt_upload_simples.php?contador=11144477735&chave=" + kKey.toLatin1() +
            "&gias= HTTP/1.0\r\nHost: x\r\nContent-Type: multipart/form-data, boundary=B\r\n"
            "Content-Length: " +
            QByteArray::number(body.size()) + "\r\n\r\n" + body;
        const QByteArray answer = exchange(server, request, 5000);
        QVERIFY2(answer.startsWith("HTTP/1.1 200"), answer.constData());
    }

    // Decoded query values cannot forge log lines nor put control bytes into the log.
    void controlCharactersAreEscapedInTheLog() {
        ServerLauncher server;
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        ProgramFolderFixture folder(server.host(), server.port());
        const QString query = u"wsdl%0AGET%20/forjada%20200%00%1B"_s;
        QVERIFY(test::httpPost(soapUrl(server, query), SoapEnvelope(u"Diagnostico.eco"_s, {}).toUtf8(), {},
                               kMaxSoapAnswerBytes)
                    .ok());
        const QStringList lines = server.requests();
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().contains(u"wsdl\\x0AGET /forjada 200\\x00\\x1B"_s), qPrintable(lines.first()));
        QFile log(server.dataFile(u"requisicoes.log"_s));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray bytes = log.readAll();
        QVERIFY(!bytes.contains('\0'));
        QCOMPARE(bytes.count('\n'), 1);
    }
};

QTEST_GUILESS_MAIN(ServerLimitsTest)
#include "ServerLimitsTest.moc"
