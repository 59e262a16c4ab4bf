#include "net/HttpClient.h"

#include "core/ServerAddress.h"
#include "support/Await.h"

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

using namespace fiscora;
using namespace Qt::StringLiterals;

namespace {

// No settings: the exchanges here name their addresses whole.
const fiscora::ProgramFolder& testFolder() {
    static const fiscora::ProgramFolder folder(QCoreApplication::applicationDirPath());
    return folder;
}

// A loopback server that answers every request with the bytes it is given, then closes,
// stays silent or keeps trickling: answers no ordinary server would give; or, kept alive, answers
// each request of a connection as an ordinary server does.
class ScriptedServer final : public QObject {
public:
    enum class Then { Close, StayOpen, Trickle, KeepAlive };

    ScriptedServer(QByteArray reply, Then then)
        : m_answer(std::move(reply))
        , m_then(then) {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                ++m_connections;
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
            }
        });
    }

    QString url(const QString& path = u"/arquivo"_s) const {
        return u"http://127.0.0.1:%1%2"_s.arg(m_server.serverPort()).arg(path);
    }
    int connections() const { return m_connections; }

private:
    void answer(QTcpSocket* socket) {
        m_request += socket->readAll();
        if (!m_request.contains("\r\n\r\n") || socket->property("answered").toBool())
            return;
        socket->setProperty("answered", true);
        socket->write(m_answer);
        if (m_then == Then::KeepAlive) {
            m_request.clear();
            socket->setProperty("answered", false);
        } else if (m_then == Then::Close) {
            socket->disconnectFromHost();
        } else if (m_then == Then::Trickle) {
            auto* timer = new QTimer(socket);
            connect(timer, &QTimer::timeout, socket, [socket] { socket->write("x"); });
            timer->start(20);
        }
    }

    QTcpServer m_server;
    QByteArray m_answer;
    Then m_then;
    QByteArray m_request;
    int m_connections = 0;
};

Result<HttpAnswer> get(const QString& url, qint64 maxBody,
                       const HttpClient& http = HttpClient(testFolder(), test::sharedSeams().gate)) {
    return test::httpGet(url, maxBody, http);
}

} // namespace

class HttpClientTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Only an answer that provably arrived whole is an answer.
    void framing_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("whole");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("declared length")
            << "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nabcde"_ba << true << "abcde"_ba;
        QTest::newRow("declared length not reached")
            << "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabcde"_ba << false << QByteArray();
        QTest::newRow("chunked, extension and trailer")
            << "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3;x=1\r\nabc\r\n2\r\nde\r\n0\r\nX-T: 1\r\n\r\n"_ba
            << true << "abcde"_ba;
        QTest::newRow("chunked without its last chunk")
            << "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nabcde\r\n"_ba << false
            << QByteArray();
        QTest::newRow("chunk cut short")
            << "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\na\r\nabcde"_ba << false << QByteArray();
        QTest::newRow("chunk size not hexadecimal")
            << "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nabcde\r\n0\r\n\r\n"_ba << false
            << QByteArray();
        QTest::newRow("body to the close") << "HTTP/1.1 200 OK\r\n\r\nabcde"_ba << true << "abcde"_ba;
        QTest::newRow("interim answer first")
            << "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"_ba << true
            << "ok"_ba;
        QTest::newRow("head cut short") << "HTTP/1.1 200 OK\r\nContent-Le"_ba << false << QByteArray();
        QTest::newRow("no answer") << QByteArray() << false << QByteArray();
        QTest::newRow("not HTTP") << "SSH-2.0-OpenSSH\r\n\r\n"_ba << false << QByteArray();
    }

    void framing() {
        QFETCH(QByteArray, answer);
        QFETCH(bool, whole);
        QFETCH(QByteArray, body);
        ScriptedServer server(answer, ScriptedServer::Then::Close);
        const Result<HttpAnswer> got = get(server.url(), 1 << 20);
        QCOMPARE(got.ok(), whole);
        if (whole) {
            QCOMPARE(got->status, 200);
            QCOMPARE(got->body, body);
        } else {
            QVERIFY(!got.error().description.isEmpty());
        }
    }

    // A download is a success status's body; an error page is no file. Other exchanges read
    // the answer whatever its status.
    // Calls one after another, downloads and posts alike, go over one kept connection.
    void connectionsAreKept() {
        ScriptedServer server("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"_ba,
                              ScriptedServer::Then::KeepAlive);
        for (int i = 0; i < 3; ++i)
            QVERIFY(get(server.url(), 1 << 20).ok());
        QVERIFY(test::httpPost(server.url(), "corpo", {}, 1 << 20).ok());
        QCOMPARE(server.connections(), 1);
    }

    void downloadsNeedASuccessStatus() {
        ScriptedServer server("HTTP/1.1 404 Not Found\r\nContent-Length: 14\r\n\r\n<html>x</html>"_ba,
                              ScriptedServer::Then::Close);
        const std::optional<Result<QByteArray>> file = test::await<Result<QByteArray>>(
            [&](QObject* context, std::function<void(Result<QByteArray>)> done) {
                HttpClient(testFolder(), test::sharedSeams().gate)
                    .download(server.url(), 1 << 20, context, std::move(done));
            });
        QVERIFY(file);
        QVERIFY(!file->ok());
        QVERIFY2(file->error().description.contains(u"404"_s), qPrintable(file->error().description));
        const Result<HttpAnswer> page = get(server.url(), 1 << 20);
        QVERIFY(page.ok());
        QCOMPARE(page->status, 404);
    }

    void answersPastTheCapFail_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("declared") << "HTTP/1.1 200 OK\r\nContent-Length: 1001\r\n\r\n"_ba +
                                         QByteArray(1001, 'a');
        QTest::newRow("chunked") << "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n258\r\n"_ba +
                                        QByteArray(600, 'a') + "\r\n258\r\n" + QByteArray(600, 'a') +
                                        "\r\n0\r\n\r\n";
        QTest::newRow("to the close") << "HTTP/1.1 200 OK\r\n\r\n"_ba + QByteArray(1001, 'a');
    }

    void answersPastTheCapFail() {
        QFETCH(QByteArray, answer);
        ScriptedServer server(answer, ScriptedServer::Then::Close);
        const Result<HttpAnswer> got = get(server.url(), 1000);
        QVERIFY(!got.ok());
        QVERIFY2(got.error().description.contains(u"limite"_s), qPrintable(got.error().description));
    }

    // A server that never stops sending still meets the total limit.
    void totalLimitHoldsAgainstATrickle() {
        ScriptedServer server("HTTP/1.1 200 OK\r\n\r\n"_ba, ScriptedServer::Then::Trickle);
        const Result<HttpAnswer> got =
            get(server.url(), 1 << 20, HttpClient(testFolder(), test::sharedSeams().gate, 10'000, 300));
        QVERIFY(!got.ok());
    }

    // An outcome comes from the event loop, never inside the call that starts the job (a caller
    // sets up what the outcome needs after starting it); a job whose context is gone reports
    // nothing.
    void outcomesComeLaterAndOnlyToTheirContext() {
        int reports = 0;
        QObject context;
        HttpClient(testFolder(), test::sharedSeams().gate)
            .get(u"nao-e-endereco"_s, 100, &context, [&](const Result<HttpAnswer>&) { ++reports; });
        QCOMPARE(reports, 0);
        QTRY_COMPARE(reports, 1);

        ScriptedServer server("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc"_ba,
                              ScriptedServer::Then::StayOpen);
        auto* gone = new QObject;
        HttpClient(testFolder(), test::sharedSeams().gate)
            .get(server.url(), 1 << 20, gone, [&](const Result<HttpAnswer>&) { ++reports; });
        QTest::qWait(100);
        delete gone;
        QTest::qWait(100);
        QCOMPARE(reports, 1);
    }
};

QTEST_GUILESS_MAIN(HttpClientTest)
#include "HttpClientTest.moc"
