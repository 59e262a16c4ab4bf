#include "net/Upload.h"
#include "core/ServerAddress.h"
#include "core/UrlParts.h"
#include "data/AccessReader.h"
#include "data/GiaConversion.h"
#include "jet/JetDatabase.h"
#include "net/Soap.h"
#include "support/Await.h"
#include "support/ForwardProxy.h"
#include "support/GiaTextBuilder.h"
#include "support/ProgramFolderFixture.h"
#include "support/RunawayExport.h"
#include "support/SeedData.h"
#include "support/ServerLauncher.h"
#include "support/TestSeams.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace fiscora;
using namespace fiscora::test;
using namespace Qt::StringLiterals;

namespace {

// Stands for the request's own boundary in the expected bytes.
const QString kBoundary = QStringLiteral("Zx09AbCdEfGhIjKlMnOpQrStUvWxYz12");
// The contract's marker, written out here: a fault in the program's copy must show.
const QByteArray kGiaMarker = QByteArrayLiteral("###$$$***PRF***$$$###");
const QString kIE = QStringLiteral("110.042.490.114");
const QString kKey = QStringLiteral("RV7K2M9Q");
const QString kOtherIE = QStringLiteral("648.135.514.406");
const QString kSimplesKey = QStringLiteral("EV3P8T1L");

QByteArray expectedBody(const QByteArray& fileName, const QByteArray& content) {
    return "--" + kBoundary.toLatin1() +
           "\r\nContent-Disposition: form-data; name=\"objArquivo\"; filename=\"" + fileName +
           "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + content + "\r\n--" +
           kBoundary.toLatin1() + "--";
}

UploadFilePiece inMemory(const QByteArray& bytes) {
    return UploadFilePiece{QString(), bytes.size(), bytes, {}};
}

UploadRequest requestFor(const QByteArray& content, const QString& address,
                         const QString& fileName = u"a"_s) {
    return BuildUploadRequest({inMemory(content)}, SplitUrl(address), kUploadFieldName, fileName,
                              kUploadContentType);
}

// As the program does it: connect with the settings as they are, send once connected.
void startUpload(UploadSession& session, const UploadRequest& request, const QString& host, quint16 port) {
    QObject::connect(&session, &UploadSession::connected, &session,
                     [&session, request] { session.send(request); });
    session.connectToServer(host, port, ServerAddress::fromSettings(fiscora::test::sharedSeams().folder));
}

// What an upload got back: its first piece, or how it ended otherwise.
struct Outcome {
    QByteArray answer;
    bool closedWithoutAnswer = false;
    QString error;
    int lastPercent = -1;
    int completions = 0;
};

Outcome upload(const UploadRequest& request, const QString& host, quint16 port, int answerTimeoutMs = 0) {
    Outcome outcome;
    UploadSession session;
    if (answerTimeoutMs > 0)
        session.setAnswerTimeout(answerTimeoutMs);
    bool done = false;
    QObject::connect(&session, &UploadSession::sendProgress,
                     [&](qint64, qint64, int percent) { outcome.lastPercent = percent; });
    QObject::connect(&session, &UploadSession::sendComplete, [&] { ++outcome.completions; });
    QObject::connect(&session, &UploadSession::answered, [&](const QByteArray& piece) {
        outcome.answer = piece;
        done = true;
    });
    QObject::connect(&session, &UploadSession::closedWithoutAnswer, [&] {
        outcome.closedWithoutAnswer = true;
        done = true;
    });
    QObject::connect(&session, &UploadSession::failed, [&](const AppError& error) {
        outcome.error = error.description;
        done = true;
    });
    startUpload(session, request, host, port);
    if (!QTest::qWaitFor([&] { return done; }, 60000))
        outcome.error = QStringLiteral("sem desfecho em 60 s");
    return outcome;
}

// Runs Python's own multipart reader (the email package) over the body; prints the number of
// parts, whether it found defects, the field name, the file name (UTF-8, in hex: Python shows
// each byte outside ASCII as U+FFFD), the size and md5 of the part's bytes. Python splits
// parameters on ";" only, so the header's "," is given to it as ";".
QStringList parsedByPython(const QByteArray& request) {
    const QString python =
        QStandardPaths::findExecutable(QStringLiteral("python3"), {QStringLiteral("/usr/bin")});
    if (python.isEmpty())
        return {QStringLiteral("python3 ausente")};
    const char* script = R"py(
import email, hashlib, sys
ct, body = sys.stdin.buffer.read().split(b"\n", 1)
msg = email.message_from_bytes(b"Content-Type: " + ct.replace(b", ", b"; ") + b"\r\n\r\n" + body)
parts = msg.get_payload()
p = parts[0]
data = p.get_payload(decode=True)
print(len(parts), bool(msg.defects or p.defects), p.get_param("name", header="content-disposition"),
      p.get_filename().encode("utf-8").hex(), len(data), hashlib.md5(data).hexdigest())
)py";
    QProcess process;
    process.start(python, {QStringLiteral("-c"), QString::fromLatin1(script)});
    const qsizetype bodyStart = request.indexOf("\r\n\r\n") + 4;
    const qsizetype typeStart = request.indexOf("Content-Type: ") + 14;
    process.write(request.mid(typeStart, request.indexOf("\r\n", typeStart) - typeStart) + "\n" +
                  request.mid(bodyStart));
    process.closeWriteChannel();
    process.waitForFinished(30000);
    return QString::fromLatin1(process.readAllStandardOutput() + process.readAllStandardError())
        .trimmed()
        .split(QLatin1Char(' '));
}

// The bytes a server receives of the upload; it answers once the announced size is in.
QByteArray receivedBy(const UploadRequest& request) {
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost))
        return {};
    QByteArray received;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        QTcpSocket* peer = server.nextPendingConnection();
        QObject::connect(peer, &QTcpSocket::readyRead, [&, peer] {
            received += peer->readAll();
            if (received.size() >= request.size()) {
                peer->write("HTTP/1.0 200 OK\r\n\r\nOK");
                peer->disconnectFromHost();
            }
        });
    });
    upload(request, QStringLiteral("127.0.0.1"), server.serverPort(), 3000);
    return received;
}

// How many of a process's children run that program.
int childrenRunning(qint64 parent, const QByteArray& program) {
    int count = 0;
    for (const QString& pid : QDir(u"/proc"_s).entryList(QDir::Dirs)) {
        QFile stat(u"/proc/"_s + pid + u"/stat"_s);
        if (!pid.front().isDigit() || !stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...": the name, cut to 15 bytes, may hold blanks.
        const QByteArray line = stat.readAll();
        const qsizetype close = line.lastIndexOf(')');
        const QList<QByteArray> after = line.mid(close + 2).split(' ');
        count += after.size() > 1 && after.at(1).toLongLong() == parent &&
                 program.startsWith(line.mid(line.indexOf('(') + 1, close - line.indexOf('(') - 1));
    }
    return count;
}

// The most memory a process has held (VmHWM), in bytes.
qint64 peakMemory(qint64 pid) {
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() << 10;
    }
    return 0;
}

// A zlib stream of the bytes, as a PDF's Flate filter holds it.
QByteArray deflated(const QByteArray& bytes) {
    return qCompress(bytes).mid(4);
}

// A PDF whose one content stream is Flate data.
QByteArray pdfWithStream(const QByteArray& data) {
    return "%PDF-1.4\n1 0 obj\n<< /Length " + QByteArray::number(data.size()) +
           " /Filter /FlateDecode >>\nstream\n" + data +
           "\nendstream\nendobj\ntrailer\n<< /Root 1 0 R >>\n%%EOF\n";
}

QString md5(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

// A loopback socket that listens and accepts nothing until the test does: the system completes
// connections and fills its buffers. Options that must precede listen() are set first.
int loopbackListener(quint16* port, int receiveBuffer = 0, int segment = 0) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBuffer > 0)
        ::setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    if (segment > 0)
        ::setsockopt(listener, IPPROTO_TCP, TCP_MAXSEG, &segment, sizeof segment);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(listener);
        return -1;
    }
    *port = ntohs(address.sin_port);
    return listener;
}

} // namespace

class UploadTest final : public QObject {
    Q_OBJECT

private:
    ServerLauncher m_server;
    std::unique_ptr<ProgramFolderFixture> m_folder;
    QTemporaryDir m_files;
    QString m_package; // a GIA database with GIAs 1 and 2 of kIE and 3 of kOtherIE
    QString m_text;

    static QList<UploadFilePiece> pieces(const QByteArray& content) { return {inMemory(content)}; }
    static QList<UploadFilePiece> pieces(const QList<UploadFilePiece>& content) { return content; }

    template <typename Content>
    UploadRequest toServer(const QString& script, const QString& query, const Content& content,
                           const QString& fileName) const {
        const UrlParts address = SplitUrl(QStringLiteral("http://%1:%2 /client/%3?%4")
                                              .arg(m_server.host())
                                              .arg(m_server.port())
                                              .arg(script, query));
        return BuildUploadRequest(pieces(content), address, kUploadFieldName, fileName, kUploadContentType);
    }

    template <typename Content>
    Outcome sendGia(const QString& key, const QString& gias, const Content& content) {
        return upload(toServer(QStringLiteral("xt_upload_1_15_01.php"),
                               QStringLiteral("contador=11144477735&chave=%1&gias=%2").arg(key, gias),
                               content, QStringLiteral("dados.prf")),
                      m_server.host(), quint16(m_server.port()));
    }

    Outcome sendPdf(const QByteArray& content,
                    const QString& fileName = QStringLiteral("DeclaracaoDASN-1.pdf")) {
        return upload(toServer(QStringLiteral("xt_upload_simples.php"),
                               QStringLiteral("contador=11144477735&chave=%1&gias=").arg(kSimplesKey),
                               content, fileName),
                      m_server.host(), quint16(m_server.port()));
    }

    // The company's list as the main window gets it, from its first transmission on (the
    // header carries the server's clock).
    QString transmissions(const QString& ie, const QString& key) const {
        const Result<QString> answer =
            test::soapAnswer(QStringLiteral("Transferencia.ver2"),
                             {{QStringLiteral("strNome"), ie},
                              {QStringLiteral("strDiretorioDestino"), QStringLiteral("vbs")},
                              {QStringLiteral("Chave"), key}});
        const QString list = GetResult(answer.valueOr({}), QStringLiteral("return"));
        const qsizetype first = list.indexOf(QStringLiteral("<transferencia>"));
        return first < 0 ? QString() : list.mid(first);
    }

private Q_SLOTS:
    void initTestCase() {
        const QStringList seed = writeSeed(
            m_server,
            {SeedCompany{
                 kIE, QStringLiteral("12.345.678/0001-95"), QStringLiteral("Comercial"), kKey, false, {}},
             SeedCompany{kOtherIE,
                         QStringLiteral("34.567.890/0001-30"),
                         QStringLiteral("Metalúrgica"),
                         QStringLiteral("SA5N4W6X"),
                         false,
                         {}},
             SeedCompany{QStringLiteral("648.120.377.258"),
                         QStringLiteral("23.456.789/0001-95"),
                         QStringLiteral("Padaria"),
                         kSimplesKey,
                         true,
                         {}}});
        QVERIFY2(m_server.start(seed), qPrintable(m_server.errorString()));
        m_folder = std::make_unique<ProgramFolderFixture>(m_server.host(), m_server.port());

        m_text = m_files.filePath(QStringLiteral("dados.prf"));
        QFile text(m_text);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write(GiaTextBuilder::file(
            {GiaTextBuilder::header01(), GiaTextBuilder::gia05("110042490114", "200903"),
             GiaTextBuilder::cfop10("5102", {1000000}), GiaTextBuilder::gia05("110042490114", "200904"),
             GiaTextBuilder::gia05("648135514406", "200904")}));
        text.close();
        m_package = m_files.filePath(QStringLiteral("atual.mdb"));
        const GiaConversion::Outcome converted = test::convertGia(
            m_text, m_package, QDir(buildProgramFolder()).filePath(QStringLiteral("gia_limpa.mdb")));
        QVERIFY2(converted.ok, qPrintable(converted.message));
    }

    void requestBytes_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("expected");

        const QByteArray thousand(1000, 'x');
        QTest::newRow("address with the blank")
            << "http://srv:8080 /client/x.php?a=1&b=" << QByteArray("abc") << "a.mdb"
            << "POST /client/x.php?a=1&b= HTTP/1.0\r\nHost: srv\r\nContent-Type: multipart/form-data, "
               "boundary=" +
                   kBoundary.toLatin1() + "\r\nContent-Length: 188\r\n\r\n" + expectedBody("a.mdb", "abc");
        QTest::newRow("empty file, no query")
            << "http://srv/envio.php" << QByteArray() << "vazio.pdf"
            << "POST /envio.php? HTTP/1.0\r\nHost: srv\r\nContent-Type: multipart/form-data, boundary=" +
                   kBoundary.toLatin1() + "\r\nContent-Length: 189\r\n\r\n" + expectedBody("vazio.pdf", "");
        QTest::newRow("1,000 bytes give 1185")
            << "http://srv:80 /client/x.php?gias=1,2" << thousand << "a.mdb"
            << "POST /client/x.php?gias=1,2 HTTP/1.0\r\nHost: srv\r\nContent-Type: multipart/form-data, "
               "boundary=" +
                   kBoundary.toLatin1() + "\r\nContent-Length: 1185\r\n\r\n" +
                   expectedBody("a.mdb", thousand);
        QTest::newRow("file name in Windows-1252")
            << "http://srv:80 /p?q" << QByteArray("\r\n") << QStringLiteral("Declaração.pdf")
            << "POST /p?q HTTP/1.0\r\nHost: srv\r\nContent-Type: multipart/form-data, boundary=" +
                   kBoundary.toLatin1() + "\r\nContent-Length: 196\r\n\r\n" +
                   expectedBody("Declara\xe7\xe3o.pdf", "\r\n");
    }
    void requestBytes() {
        QFETCH(QString, address);
        QFETCH(QByteArray, content);
        QFETCH(QString, fileName);
        QFETCH(QByteArray, expected);
        const UploadRequest request = requestFor(content, address, fileName);
        expected.replace(kBoundary.toLatin1(), request.boundary.toLatin1());
        QCOMPARE(receivedBy(request), expected);
        QCOMPARE(request.size(), expected.size());
        const QByteArray body = expected.mid(expected.indexOf("\r\n\r\n") + 4);
        QVERIFY(expected.contains(QByteArray("Content-Length: " + QByteArray::number(body.size()) + "\r\n")));
    }

    void portFromAddressOrSetting_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("setting");
        QTest::addColumn<int>("port"); // 0: refused
        QTest::newRow("address's own") << "http://srv:8080 /x"
                                       << "9090" << 8080;
        QTest::newRow("setting when none") << "http://srv/x"
                                           << "9090" << 9090;
        QTest::newRow("setting not a number") << "http://srv/x"
                                              << "porta" << 0;
        QTest::newRow("address port too large") << "http://srv:99999/x"
                                                << "9090" << 0;
    }
    void portFromAddressOrSetting() {
        QFETCH(QString, address);
        QFETCH(QString, setting);
        QFETCH(int, port);
        const Result<quint16> chosen = UploadPort(SplitUrl(address), setting);
        QCOMPARE(chosen.ok() ? int(*chosen) : 0, port);
        if (!chosen)
            QVERIFY(chosen.error().description.contains(QStringLiteral("porta")));
    }

    void boundaryIsFreshAndInItsThreePlaces() {
        QSet<QString> seen;
        for (int i = 0; i < 200; ++i) {
            const QString boundary = requestFor("abc", u"http://h/p?q"_s).boundary;
            QCOMPARE(boundary.size(), 32);
            for (const QChar c : boundary)
                QVERIFY2(c.isDigit() || (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
                             (c >= QLatin1Char('a') && c <= QLatin1Char('z')),
                         qPrintable(boundary));
            seen.insert(boundary);
        }
        QCOMPARE(seen.size(), 200);

        const UploadRequest request = requestFor("abc", u"http://h/p?q"_s);
        const QByteArray bytes = receivedBy(request);
        const QByteArray mark = request.boundary.toLatin1();
        QCOMPARE(bytes.count(mark), 3);
        QVERIFY(bytes.contains(QByteArray("boundary=" + mark + "\r\n")));
        QVERIFY(bytes.contains(QByteArray("\r\n\r\n--" + mark + "\r\n")));
        QVERIFY(bytes.endsWith(QByteArray("\r\n--" + mark + "--")));
    }

    void progressRounding_data() {
        QTest::addColumn<qint64>("total");
        QTest::addColumn<qint64>("remaining");
        QTest::addColumn<int>("percent");
        QTest::newRow("half") << qint64(1000) << qint64(500) << 50;
        QTest::newRow("12.5 to even") << qint64(1000) << qint64(875) << 12;
        QTest::newRow("87.5 to even") << qint64(1000) << qint64(125) << 88;
        QTest::newRow("just above a half") << qint64(2001) << qint64(1000) << 50;
        QTest::newRow("nothing sent") << qint64(1000) << qint64(1000) << 0;
        QTest::newRow("all sent") << qint64(1000) << qint64(0) << 100;
        QTest::newRow("100 MB nearly done") << qint64(104857600) << qint64(1) << 100;
    }
    void progressRounding() {
        QFETCH(qint64, total);
        QFETCH(qint64, remaining);
        QFETCH(int, percent);
        QCOMPARE(ProgressPercent(total, remaining), percent);
        QCOMPARE(ProgressLabel(percent), QString::number(percent) + QStringLiteral("% completo."));
    }

    // The total is what remained at the first report; a first report with nothing left is 100.
    void progressTotalFromFirstReport() {
        UploadProgress progress;
        QCOMPARE(progress.report(800), 0);
        QCOMPARE(progress.report(200), 75);
        UploadProgress whole;
        QCOMPARE(whole.report(0), 100);
        QCOMPARE(whole.report(0), 100);
    }

    void giaContentIsDatabaseMarkerAndClickedFile() {
        const QByteArray database = readBytes(m_package);
        const QByteArray text = readBytes(m_text);
        QVERIFY(!database.isEmpty() && !text.isEmpty());
        for (const QString& clicked : {m_text, m_package}) {
            const UploadRequest request =
                BuildUploadRequest(*GiaContentPieces(m_package, clicked), SplitUrl(u"http://h/p?"_s),
                                   kUploadFieldName, u"a"_s, kUploadContentType);
            const QByteArray content = database + kGiaMarker + readBytes(clicked);
            QVERIFY(receivedBy(request).endsWith(
                QByteArray(content + "\r\n--" + request.boundary.toLatin1() + "--")));
        }
        const Result<QList<UploadFilePiece>> missing =
            GiaContentPieces(m_package, m_files.filePath(QStringLiteral("nada.prf")));
        QVERIFY(!missing.ok());
        QVERIFY(missing.error().description.startsWith(QStringLiteral("Arquivo não encontrado")));
    }

    // Python's multipart reader and the stand-in server read the same part from the request.
    void independentParserAndServerAgree_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("fileName");
        QByteArray binary;
        for (int i = 0; i < 4096; ++i)
            binary.append(char(i * 7 % 256));
        QFile pdf(QStringLiteral(FISCORA_SOURCE_DIR "/resources/demo/pgdas/declaracao-pgdas.pdf"));
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QTest::newRow("PDF, accented name") << pdf.readAll() << QStringLiteral("Declaração Março.pdf");
        QTest::newRow("binary with line ends and dashes")
            << QByteArray("\r\n--" + binary + "\r\n--\r\n") << QStringLiteral("b.pdf");
        QTest::newRow("empty") << QByteArray() << QStringLiteral("vazio.pdf");
    }
    void independentParserAndServerAgree() {
        QFETCH(QByteArray, content);
        QFETCH(QString, fileName);
        const UploadRequest request =
            toServer(QStringLiteral("xt_upload_simples.php"),
                     QStringLiteral("chave=%1&gias=").arg(kSimplesKey), content, fileName);
        QString pythonName = fileName;
        for (QChar& c : pythonName) {
            if (c.unicode() > 0x7f)
                c = QChar(0xfffd);
        }
        QCOMPARE(parsedByPython(receivedBy(request)),
                 (QStringList{QStringLiteral("1"), QStringLiteral("False"), QStringLiteral("objArquivo"),
                              QString::fromLatin1(pythonName.toUtf8().toHex()),
                              QString::number(content.size()), md5(content)}));

        upload(request, m_server.host(), quint16(m_server.port()));
        const QString expected = QStringLiteral("campo=objArquivo arquivo=%1 %2 bytes md5=%3")
                                     .arg(fileName)
                                     .arg(content.size())
                                     .arg(md5(content));
        QVERIFY2(m_server.requests().join(QLatin1Char('\n')).contains(expected), qPrintable(expected));
    }

    void giaUploadsRecordedAndListed_data() {
        QTest::addColumn<bool>("fromExport");
        QTest::addColumn<QString>("gias");
        QTest::addColumn<QStringList>("references");
        QTest::newRow("text file, one GIA") << false << "1" << QStringList{QStringLiteral("03/2009")};
        QTest::newRow("export, two GIAs")
            << true << "1,2" << QStringList{QStringLiteral("03/2009"), QStringLiteral("04/2009")};
    }
    void giaUploadsRecordedAndListed() {
        QFETCH(bool, fromExport);
        QFETCH(QString, gias);
        QFETCH(QStringList, references);
        const QString before = transmissions(kIE, kKey);
        // The text file's upload holds its content in memory, the export's is read while sent.
        const QString clicked = fromExport ? m_package : m_text;
        const Outcome outcome =
            fromExport ? sendGia(kKey, gias, *GiaContentPieces(m_package, clicked))
                       : sendGia(kKey, gias, readBytes(m_package) + kGiaMarker + readBytes(clicked));
        QVERIFY2(outcome.answer.contains("Resultado: OK"), outcome.answer.constData());
        QCOMPARE(outcome.completions, 1);
        QCOMPARE(outcome.lastPercent, 100);
        const QString after = transmissions(kIE, kKey);
        for (const QString& reference : references) {
            QCOMPARE(
                after.count(QStringLiteral("<referencia>") + reference + QStringLiteral("</referencia>")),
                before.count(QStringLiteral("<referencia>") + reference + QStringLiteral("</referencia>")) +
                    1);
        }
    }

    void giaRefusalsRecordNothing_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("gias");
        QTest::addColumn<QString>("database"); // damaged, or a table left out of the package
        QTest::addColumn<QByteArray>("code");
        QTest::newRow("wrong key") << "ERRADA00"
                                   << "1" << QString() << QByteArray("CHAVE_INVALIDA");
        QTest::newRow("another company's GIA")
            << kKey << "1,3" << QString() << QByteArray("GIA_DE_OUTRA_EMPRESA");
        QTest::newRow("GIA not in the file") << kKey << "9" << QString() << QByteArray("GIA_INEXISTENTE");
        QTest::newRow("no GIA named") << kKey << "" << QString() << QByteArray("SEM_GIAS");
        QTest::newRow("unreadable database") << kKey << "1"
                                             << "damaged" << QByteArray("BANCO_ILEGIVEL");
        // The value added cannot be known: not recorded as 0,00.
        QTest::newRow("no CFOP table") << kKey << "1"
                                       << "tblDetalhesCFOPs" << QByteArray("BANCO_ILEGIVEL");
    }
    void giaRefusalsRecordNothing() {
        QFETCH(QString, key);
        QFETCH(QString, gias);
        QFETCH(QString, database);
        QFETCH(QByteArray, code);
        const QByteArray text = readBytes(m_text);
        QByteArray content = readBytes(m_package) + kGiaMarker + text;
        if (database == u"damaged"_s) {
            content = QByteArray(4096, '\x5a') + kGiaMarker + text;
        } else if (!database.isEmpty()) {
            // The package without that table.
            const AccessReader::Reading read = test::readAccess(m_package);
            Result<jet::Database> rewritten = AccessReader::toJetDatabase(read.database);
            QVERIFY2(read.ok() && rewritten, qPrintable(read.detail + rewritten.error().description));
            rewritten->tables.removeIf([&](const jet::TableData& t) { return t.table.name == database; });
            const QString path = m_files.filePath(u"sem-cfop.mdb"_s);
            const Status written = jet::writeDatabase(path, *rewritten);
            QVERIFY2(written, qPrintable(written.error().description));
            content = readBytes(path) + kGiaMarker + text;
        }
        const QString before = transmissions(kIE, kKey);
        const Outcome outcome = sendGia(key, gias, content);
        QVERIFY2(outcome.answer.contains(QByteArray("Resultado: " + code)), outcome.answer.constData());
        QCOMPARE(transmissions(kIE, kKey), before);
    }

    // Each reading of an upload's database is a reader helper that may hold hundreds of
    // megabytes: the server runs a few at once and queues the others.
    void parallelUploadsShareFewReaders() {
        const QByteArray database = runawayExport();
        QVERIFY(!database.isEmpty());
        const UploadRequest request =
            toServer(QStringLiteral("xt_upload_1_15_01.php"), QStringLiteral("chave=%1&gias=1").arg(kKey),
                     database + kGiaMarker + readBytes(m_text), QStringLiteral("d.prf"));
        std::vector<std::unique_ptr<UploadSession>> sessions;
        QList<QByteArray> answers;
        for (int i = 0; i < 6; ++i) {
            sessions.push_back(std::make_unique<UploadSession>());
            QObject::connect(sessions.back().get(), &UploadSession::answered,
                             [&](const QByteArray& piece) { answers.append(piece); });
            startUpload(*sessions.back(), request, m_server.host(), quint16(m_server.port()));
        }
        int most = 0;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            most = qMax(most, childrenRunning(m_server.processId(), "fiscora-leitor-mdb"));
        });
        poll.start(2);
        QVERIFY(QTest::qWaitFor([&] { return answers.size() == 6; }, 60000));
        for (const QByteArray& answer : answers)
            QVERIFY2(answer.contains("Resultado: BANCO_ILEGIVEL"), answer.constData());
        QVERIFY(most > 0);
        QVERIFY2(most <= 3, qPrintable(QString::number(most)));
    }

    void pgdasDocuments_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("code");
        const auto demo = [](const char* name) {
            return readBytes(QStringLiteral(FISCORA_SOURCE_DIR "/resources/demo/pgdas/") +
                             QLatin1String(name));
        };
        QTest::newRow("declaration") << demo("declaracao-pgdas.pdf") << QByteArray("OK");
        QTest::newRow("extract") << demo("extrato-pgdas.pdf") << QByteArray("ARQUIVO INVALIDO - EXTRATO");
        QTest::newRow("receipt") << demo("recibo-pgdas.pdf") << QByteArray("ARQUIVO INVALIDO - RECIBO");
        QTest::newRow("saved again") << demo("declaracao-modificada.pdf")
                                     << QByteArray("ARQUIVO INVALIDO - MODIFICADO");
        QTest::newRow("not a PDF") << QByteArray("Extrato e Recibo em texto simples")
                                   << QByteArray("ARQUIVO INVALIDO - MODIFICADO");
        // Text deep in a compressed stream is read; what cannot be read is refused, not passed.
        const QByteArray far = QByteArray(20 << 20, ' ') + "(Extrato de 11/2026)";
        QTest::newRow("word 20 MiB into a stream")
            << pdfWithStream(deflated(far)) << QByteArray("ARQUIVO INVALIDO - EXTRATO");
        QTest::newRow("more text than is inflated")
            << pdfWithStream(deflated(QByteArray(65 << 20, ' ') + "(Recibo)"))
            << QByteArray("ARQUIVO INVALIDO - ILEGIVEL");
        QTest::newRow("stream cut short")
            << pdfWithStream(deflated(far).chopped(64)) << QByteArray("ARQUIVO INVALIDO - ILEGIVEL");
        QTest::newRow("damaged stream")
            << pdfWithStream(deflated("(Declaracao 11/2026)").replace(4, 4, "\xff\xff\xff\xff"))
            << QByteArray("ARQUIVO INVALIDO - ILEGIVEL");
    }
    void pgdasDocuments() {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, code);
        const QString simplesIE = QStringLiteral("648.120.377.258");
        const QString before = transmissions(simplesIE, kSimplesKey);
        const Outcome outcome = sendPdf(content);
        QVERIFY2(outcome.answer.contains(QByteArray("Resultado: " + code + "\r\n")),
                 outcome.answer.constData());
        const QString listed = QStringLiteral("<referencia>11/2026</referencia>");
        QCOMPARE(transmissions(simplesIE, kSimplesKey).count(listed),
                 before.count(listed) + (code == "OK" ? 1 : 0));
    }

    // The scan searches the text as it comes: a large document costs about its own size.
    void pgdasScanHoldsLittleMemoryBeyondTheBody() {
        const QByteArray pdf = "%PDF-1.4\n(" + QByteArray(64 << 20, 'a') + ")\n%%EOF\n";
        const qint64 before = peakMemory(m_server.processId());
        const Outcome outcome = sendPdf(pdf);
        QVERIFY2(outcome.answer.contains("Resultado: OK"), outcome.answer.constData());
        const qint64 grown = peakMemory(m_server.processId()) - before;
        QVERIFY2(grown < pdf.size() * 3 / 2, qPrintable(QString::number(grown >> 20) + u" MiB"_s));
    }

    void strictMultipart_data() {
        QTest::addColumn<int>("cut"); // bytes taken off the end of the body, Content-Length kept true
        QTest::addColumn<QByteArray>("extra");
        QTest::newRow("closing delimiter cut") << 2 << QByteArray();
        QTest::newRow("second part")
            << 2 << QByteArray("\r\nContent-Disposition: form-data; name=\"b\"\r\n\r\nx\r\n--B--");
        QTest::newRow("data after the closing delimiter") << 0 << QByteArray("\r\nlixo");
    }
    void strictMultipart() {
        QFETCH(int, cut);
        QFETCH(QByteArray, extra);
        const UploadRequest good =
            toServer(QStringLiteral("xt_upload_simples.php"),
                     QStringLiteral("chave=%1&gias=").arg(kSimplesKey), "%PDF-", QStringLiteral("a.pdf"));
        const QByteArray all = receivedBy(good);
        const qsizetype bodyStart = all.indexOf("\r\n\r\n") + 4;
        QByteArray body = all.mid(bodyStart);
        body.chop(cut);
        body += extra.replace("--B--", QByteArray("--" + good.boundary.toLatin1() + "--"));
        QByteArray head = all.left(bodyStart);
        head.replace(QByteArray("Content-Length: " + QByteArray::number(all.size() - bodyStart)),
                     QByteArray("Content-Length: " + QByteArray::number(body.size())));
        const UploadRequest request{head + body, {}, good.boundary, {}};
        const Outcome outcome = upload(request, m_server.host(), quint16(m_server.port()));
        QVERIFY2(outcome.answer.contains("Resultado: MULTIPART_INVALIDO"), outcome.answer.constData());
    }

    void connectionRefusedIsAnError() {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();
        const Outcome outcome =
            upload(requestFor("x", u"http://127.0.0.1/p?"_s), QStringLiteral("127.0.0.1"), port);
        QCOMPARE(outcome.error, QStringLiteral("O servidor 127.0.0.1 recusou a conexão."));
    }

    // A server that takes everything and then closes, or says nothing at all.
    void silentServers_data() {
        QTest::addColumn<bool>("closes");
        QTest::newRow("closes without answering") << true;
        QTest::newRow("never answers") << false;
    }
    void silentServers() {
        QFETCH(bool, closes);
        const UploadRequest request = requestFor(QByteArray(300000, 'g'), u"http://h/p?"_s);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        qint64 received = 0;
        connect(&server, &QTcpServer::newConnection, [&] {
            QTcpSocket* peer = server.nextPendingConnection();
            connect(peer, &QTcpSocket::readyRead, [&, peer] {
                received += peer->readAll().size();
                if (closes && received == request.size())
                    peer->close();
            });
        });
        const Outcome outcome = upload(request, QStringLiteral("127.0.0.1"), server.serverPort(), 300);
        QCOMPARE(received, request.size());
        QCOMPARE(outcome.completions, 1);
        QCOMPARE(outcome.closedWithoutAnswer, closes);
        QCOMPARE(outcome.error.isEmpty(), closes);
        if (!closes)
            QVERIFY(outcome.error.contains(QStringLiteral("não respondeu")));
    }

    // The server takes the connection and never reads: the send stalls once the buffers are
    // full, and the stall limit ends it.
    void serverThatNeverReadsFailsTheSend() {
        // Listening, never accepting: the system completes the connection and fills its buffers
        // (a QTcpServer would read everything into memory).
        quint16 port = 0;
        const int listener = loopbackListener(&port);
        QVERIFY(listener >= 0);
        const auto closeListener = qScopeGuard([listener] { ::close(listener); });
        UploadSession session;
        session.setSendStallTimeout(500);
        QString error;
        int completions = 0;
        connect(&session, &UploadSession::failed, [&](const AppError& e) { error = e.description; });
        connect(&session, &UploadSession::sendComplete, [&] { ++completions; });
        startUpload(session, requestFor(QByteArray(20 << 20, 'n'), u"http://h/p?"_s), u"127.0.0.1"_s, port);
        QVERIFY(QTest::qWaitFor([&] { return !error.isEmpty(); }, 20000));
        QVERIFY2(error.contains(u"parou de receber"_s), qPrintable(error));
        QCOMPARE(completions, 0);
    }

    // A file cut short after its piece was made cannot fill the announced length: the send
    // fails naming the file.
    void fileCutShortFailsTheSend() {
        const QString path = m_files.filePath(u"encolhe.pdf"_s);
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.write(QByteArray(300000, 'p')) == 300000);
        }
        const Result<UploadFilePiece> piece = UploadFile(path);
        QVERIFY(piece);
        QVERIFY(QFile::resize(path, 1000));
        const Outcome outcome = upload(toServer(u"xt_upload_simples.php"_s,
                                                u"contador=11144477735&chave=%1&gias="_s.arg(kSimplesKey),
                                                QList<UploadFilePiece>{*piece}, u"encolhe.pdf"_s),
                                       m_server.host(), quint16(m_server.port()));
        QCOMPARE(outcome.error, u"Não foi possível ler o arquivo %1 durante o envio."_s.arg(path));
        QCOMPARE(outcome.completions, 0);
    }

    // Through a proxy only the request line changes (absolute form) for http; https goes
    // through a tunnel, byte for byte.
    void throughAProxy_data() {
        QTest::addColumn<bool>("secure");
        QTest::newRow("http") << false;
        QTest::newRow("https") << true;
    }
    void throughAProxy() {
        QFETCH(bool, secure);
        ServerLauncher server;
        server.setSecure(secure);
        // The server's own refusal (not one of the statuses a proxy refuses with) passes through.
        QVERIFY2(
            server.start(writeSeed(
                server,
                {SeedCompany{
                    u"648.120.377.258"_s, u"23.456.789/0001-95"_s, u"Padaria"_s, kSimplesKey, true, {}}})),
            qPrintable(server.errorString()));
        ForwardProxy proxy;
        m_folder->setServer(server.host(), server.port(), secure, proxy.url());
        const auto restore = qScopeGuard([&] { m_folder->setServer(m_server.host(), m_server.port()); });
        const UploadRequest request =
            requestFor("%PDF-",
                       u"https://%1:%2 /client/xt_upload_simples.php?chave=%3&gias="_s.arg(server.host())
                           .arg(server.port())
                           .arg(kSimplesKey),
                       u"a.pdf"_s);
        UploadSession session;
        session.setScheme(secure ? u"https"_s : u"http"_s);
        QByteArray answer;
        QString error;
        connect(&session, &UploadSession::answered, [&](const QByteArray& piece) { answer = piece; });
        connect(&session, &UploadSession::failed, [&](const AppError& e) { error = e.description; });
        startUpload(session, request, server.host(), quint16(server.port()));
        QVERIFY(QTest::qWaitFor([&] { return !answer.isEmpty() || !error.isEmpty(); }, 20000));
        QVERIFY2(answer.contains("Resultado: ARQUIVO INVALIDO"),
                 qPrintable(error + QString::fromLatin1(answer)));
        const QString origin = u"%1:%2"_s.arg(server.host()).arg(server.port());
        const QByteArray head = request.head.left(request.head.indexOf("\r\n\r\n"));
        QCOMPARE(proxy.requests(),
                 QStringList{secure ? u"CONNECT %1 HTTP/1.1\r\nHost: %1\r\n"
                                      u"Proxy-Connection: Keep-Alive"_s.arg(origin)
                                    : QString::fromLatin1(head).replace(u"POST /"_s, u"POST http://"_s +
                                                                                         origin + u"/"_s)});
    }

    // A proxy that refuses, by the status of a CONNECT or of its answer on a plain route, ends the
    // upload as a failure that names it and its status; the server never sees the request.
    void proxyRefusals_data() {
        QTest::addColumn<bool>("secure");
        QTest::addColumn<QByteArray>("status");
        for (const char* status : {"403 Forbidden", "407 Proxy Authentication Required", "502 Bad Gateway",
                                   "503 Service Unavailable", "504 Gateway Timeout"}) {
            QTest::addRow("http, %s", status) << false << QByteArray(status);
            QTest::addRow("https, %s", status) << true << QByteArray(status);
        }
    }
    void proxyRefusals() {
        QFETCH(bool, secure);
        QFETCH(QByteArray, status);
        ForwardProxy proxy;
        proxy.refuseWith(status);
        m_folder->setServer(m_server.host(), m_server.port(), secure, proxy.url());
        const auto restore = qScopeGuard([&] { m_folder->setServer(m_server.host(), m_server.port()); });
        const int uploadsBefore = m_server.requests().filter(u"UPLOAD"_s).size();
        UploadSession session;
        session.setScheme(secure ? u"https"_s : u"http"_s);
        QByteArray answer;
        QString error;
        connect(&session, &UploadSession::answered, [&](const QByteArray& piece) { answer = piece; });
        connect(&session, &UploadSession::failed, [&](const AppError& e) { error = e.description; });
        startUpload(session,
                    toServer(u"xt_upload_simples.php"_s, u"chave=%1&gias="_s.arg(kSimplesKey),
                             QByteArray(300000, 'p'), u"a.pdf"_s),
                    m_server.host(), quint16(m_server.port()));
        QVERIFY(QTest::qWaitFor([&] { return !answer.isEmpty() || !error.isEmpty(); }, 20000));
        QVERIFY2(answer.isEmpty() && error.startsWith(u"O proxy 127.0.0.1 recusou"_s) &&
                     error.contains(QString::fromLatin1(status.left(3))) && error.contains(m_server.host()),
                 qPrintable(error + QString::fromLatin1(answer)));
        QCOMPARE(proxy.requests().size(), 1);
        QCOMPARE(m_server.requests().filter(u"UPLOAD"_s).size(), uploadsBefore);
    }

    // An upload that moves, however slowly, is not stalled: a reader taking 100 KB every 50 ms
    // on a link of small segments gets an upload larger than the deepest send queue, with limits
    // shorter than the queue takes to drain.
    void slowSteadyReaderIsNoStall() {
        quint16 port = 0;
        const int listener = loopbackListener(&port, 256 * 1024, 1400);
        QVERIFY(listener >= 0);
        const auto closeListener = qScopeGuard([listener] { ::close(listener); });
        const UploadRequest request = requestFor(QByteArray(9 << 20, 's'), u"http://h/p?"_s);
        std::atomic<bool> stop{false};
        std::thread reader([&] {
            const int peer = ::accept(listener, nullptr, nullptr);
            QByteArray chunk(100 * 1024, Qt::Uninitialized);
            qint64 received = 0;
            while (!stop && received < request.size()) {
                QThread::msleep(50);
                const ssize_t n = ::recv(peer, chunk.data(), size_t(chunk.size()), MSG_DONTWAIT);
                if (n == 0)
                    break;
                received += qMax<ssize_t>(n, 0);
            }
            ::send(peer, "HTTP/1.0 200 OK\r\n\r\nOK", 21, MSG_NOSIGNAL);
            ::close(peer);
        });
        const auto join = qScopeGuard([&] {
            stop = true;
            ::shutdown(listener, SHUT_RDWR);
            reader.join();
        });
        UploadSession session;
        session.setSendStallTimeout(1000);
        session.setAnswerTimeout(1000);
        QByteArray answer;
        QString error;
        connect(&session, &UploadSession::answered, [&](const QByteArray& piece) { answer = piece; });
        connect(&session, &UploadSession::failed, [&](const AppError& e) { error = e.description; });
        startUpload(session, request, u"127.0.0.1"_s, port);
        QVERIFY(QTest::qWaitFor([&] { return !answer.isEmpty() || !error.isEmpty(); }, 60000));
        QCOMPARE(error, QString());
        QCOMPARE(answer, QByteArray("HTTP/1.0 200 OK\r\n\r\nOK"));
    }

    // A certificate that does not verify ends the exchange before anything is sent, with the
    // host and the reason.
    void certificatesThatDoNotVerify_data() {
        QTest::addColumn<bool>("trustTheAuthority");
        QTest::addColumn<QString>("certifiedName"); // empty: the server's own address
        QTest::addColumn<QString>("reason");
        QTest::newRow("unknown authority") << false << QString() << u"autoridade"_s;
        QTest::newRow("another name") << true << u"127.0.0.1"_s << u"não foi emitido para"_s;
    }
    void certificatesThatDoNotVerify() {
        QFETCH(bool, trustTheAuthority);
        QFETCH(QString, certifiedName);
        QFETCH(QString, reason);
        ServerLauncher server;
        server.setSecure(true);
        QStringList arguments;
        if (!certifiedName.isEmpty()) {
            const QString other = m_files.filePath(u"outro"_s);
            QVERIFY(makeServerCertificate(other, {certifiedName}));
            arguments << u"--certificado"_s << other + u".pem"_s << u"--chave-certificado"_s
                      << other + u".key"_s;
        }
        QVERIFY2(server.start(arguments), qPrintable(server.errorString()));
        m_folder->setServer(server.host(), server.port(), true);
        if (!trustTheAuthority)
            m_folder->writeFile(u"fiscora.ini"_s, u"[servidor]\r\nhost=%1\r\nport=%2\r\nprotocolo=https\r\n"_s
                                                      .arg(server.host())
                                                      .arg(server.port())
                                                      .toLatin1());
        const auto restore = qScopeGuard([&] { m_folder->setServer(m_server.host(), m_server.port()); });
        const Result<QString> call = test::soapAnswer(u"Diagnostico.eco"_s, {});
        QVERIFY(!call.ok());
        UploadSession session;
        session.setScheme(u"https"_s);
        QString uploadError;
        connect(&session, &UploadSession::failed, [&](const AppError& e) { uploadError = e.description; });
        startUpload(session, requestFor("x", u"https://h/p?"_s), server.host(), quint16(server.port()));
        QVERIFY(QTest::qWaitFor([&] { return !uploadError.isEmpty(); }, 20000));
        for (const QString& error : {call.error().description, uploadError}) {
            QVERIFY2(
                error.startsWith(u"O certificado do servidor %1 não foi aceito: "_s.arg(server.host())) &&
                    error.contains(reason) && error.endsWith(u"Nada foi enviado."_s),
                qPrintable(error));
        }
        QVERIFY(server.requests().isEmpty());
    }

    // Deleting the session mid-send (the window closed) ends it without a further event.
    void deletedMidSend() {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        auto* session = new UploadSession;
        int events = 0;
        connect(session, &UploadSession::sendComplete, [&] { ++events; });
        connect(session, &UploadSession::answered, [&] { ++events; });
        connect(session, &UploadSession::failed, [&] { ++events; });
        connect(session, &UploadSession::closedWithoutAnswer, [&] { ++events; });
        QSignalSpy progress(session, &UploadSession::sendProgress);
        startUpload(*session, requestFor(QByteArray(64 << 20, 'p'), u"http://h/p?"_s), u"127.0.0.1"_s,
                    server.serverPort());
        QVERIFY(progress.wait(10000));
        delete session;
        QTest::qWait(50);
        QCOMPARE(events, 0);
    }
};

QTEST_GUILESS_MAIN(UploadTest)
#include "UploadTest.moc"
