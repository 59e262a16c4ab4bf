#include "certificates/CertificateStore.h"
#include "core/AppTexts.h"
#include "core/ProgramFolder.h"
#include "core/Session.h"
#include "core/UserPreferences.h"
#include "data/AccessReader.h"
#include "data/AccountantTable.h"
#include "data/GiaConversion.h"
#include "data/GiaDatabaseReader.h"
#include "data/TaxpayerTable.h"
#include "data/TransmissionJournal.h"
#include "gui/FileBrowser.h"
#include "gui/Principal.h"
#include "gui/frmUpload.h"
#include "gui/frmUploadSimples.h"
#include "net/HttpClient.h"
#include "support/Await.h"
#include "support/ForwardProxy.h"
#include "support/GiaTextBuilder.h"
#include "support/JournalRows.h"
#include "support/LocalTables.h"
#include "support/ProgramFolderFixture.h"
#include "support/ScopedEnvironment.h"
#include "support/SeedData.h"
#include "support/ServerLauncher.h"
#include "support/SimplePdf.h"
#include "support/TestCertificateChooser.h"
#include "support/TestMessageBox.h"
#include "support/TestPlatform.h"
#include "support/TestServices.h"
#include "support/TopLevelWindows.h"
#include "support/Widgets.h"
#include "transmission/PgdasAnswer.h"
#include "transmission/Transmission.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace fiscora;
using namespace fiscora::test;
using namespace Qt::StringLiterals;
using G = GiaTextBuilder;

namespace {

const QString kGiaIE = u"110.042.490.114"_s;
const QString kGiaKey = u"RV7K2M9Q"_s;
const QString kPgdasIE = u"648.120.377.258"_s;
const QString kPgdasKey = u"EV3P8T1L"_s;
const QString kYears = u"2025,2026"_s;
const QString kAccountantCertificate = u"11144477735"_s;
constexpr int kWaitMs = 20000;
// A GIA number in an upload's logged query.
const QRegularExpression kGiaNumbers(u"gias=\\d"_s);

// A GIA text file of the taxpayer: GIAs 1, 2, 3 in the order of the months given.
QByteArray giaText(const QList<QByteArray>& months, const QByteArray& ie = "110042490114") {
    QList<QByteArray> lines{G::header01()};
    for (const QByteArray& month : months) {
        lines.append(G::gia05(ie, month));
        lines.append(G::cfop10("5102", {150000}));
    }
    return G::file(lines);
}

// A one-page PDF whose text is `text`; saved again (a second %%EOF) when `saveAgain`.
QByteArray pdf(const QByteArray& text, bool saveAgain = false) {
    const QByteArray stream = "BT /F1 12 Tf 72 720 Td (" + text + ") Tj ET";
    QByteArray bytes = "%PDF-1.4\n1 0 obj\n<< /Type /Catalog >>\nendobj\n2 0 obj\n<< /Length " +
                       QByteArray::number(stream.size()) + " >>\nstream\n" + stream +
                       "\nendstream\nendobj\ntrailer\n<< /Root 1 0 R >>\n%%EOF\n";
    if (saveAgain)
        bytes += "trailer\n<< /Root 1 0 R /Prev 9 >>\n%%EOF\n";
    return bytes;
}

void clickFile(QWidget* window, const QString& name) {
    auto* list = child<QListWidget>(window, u"file"_s);
    const QList<QListWidgetItem*> found = list->findItems(name, Qt::MatchExactly);
    QVERIFY2(found.size() == 1, qPrintable(name));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(found.first()).center());
    // A GIA file is read by a helper: the window is inert until its GIAs are shown.
    const QPointer<QWidget> shown(window);
    QTRY_VERIFY_WITH_TIMEOUT(!shown || shown->isEnabled(), 20000);
}

// Press on one row, shift-click the other: the user's range from `from` to `to`.
void selectRows(QTableWidget* grid, int from, int to) {
    const auto at = [grid](int row) {
        return grid->visualRect(grid->model()->index(row, 0)).center();
    };
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at(from));
    if (to != from)
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ShiftModifier, at(to));
}

// A loopback server that takes the upload and then says nothing, or closes without a word.
class QuietServer final : public QObject {
public:
    // SplitAnswer: the status line and header fields, then after a pause the body, whose end its
    // Content-Length tells (the connection stays open); SplitAnswerThenClose: no length, the
    // close ends the body.
    enum class Mode { Silent, CloseAfterRequest, Answer, SplitAnswer, SplitAnswerThenClose };

    QuietServer(const QString& host, Mode mode, QByteArray answer = {})
        : m_mode(mode)
        , m_answer(std::move(answer)) {
        // The client's port field holds at most 32767.
        for (auto port = static_cast<quint16>(20000 + QRandomGenerator::global()->bounded(8000));
             !m_server.isListening(); ++port)
            m_server.listen(QHostAddress(host), port);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* socket = m_server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { received(socket); });
        });
    }
    int port() const { return m_server.serverPort(); }
    qint64 bytesReceived() const { return m_received.size(); }
    const QByteArray& received() const { return m_received; }

private:
    void received(QTcpSocket* socket) {
        m_received += socket->readAll();
        const qsizetype end = m_received.indexOf("\r\n\r\n");
        const qsizetype at = m_received.indexOf("Content-Length: ");
        if (end < 0 || at < 0 || m_mode == Mode::Silent)
            return;
        const qint64 length = m_received.mid(at + 16, m_received.indexOf('\r', at) - at - 16).toLongLong();
        if (m_received.size() < end + 4 + length)
            return;
        if (m_mode == Mode::SplitAnswer || m_mode == Mode::SplitAnswerThenClose) {
            const bool closes = m_mode == Mode::SplitAnswerThenClose;
            socket->write(
                "HTTP/1.0 200 OK\r\n" +
                (closes ? QByteArray() : "Content-Length: " + QByteArray::number(m_answer.size()) + "\r\n") +
                "\r\n");
            QTimer::singleShot(300, socket, [this, socket, closes] {
                socket->write(m_answer);
                if (closes)
                    socket->disconnectFromHost();
            });
            return;
        }
        if (m_mode == Mode::Answer)
            socket->write("HTTP/1.0 200 OK\r\n\r\n" + m_answer);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    Mode m_mode;
    QByteArray m_answer;
    QByteArray m_received;
};

} // namespace

class UploadWindowsTest final : public QObject {
    Q_OBJECT

private:
    FolderJournal journal;

    struct Scene {
        ServerLauncher server;
        std::unique_ptr<ProgramFolderFixture> folder;
        QTemporaryDir files;
        TestMessageBox boxes;
        TestPlatform platform;
        TestCertificateChooser chooser;
        Session session;
        Services services = testServices();
        Principal* main = nullptr;

        // Shorter limits for a server that does not answer.
        void shortenLimits(int answerMs) {
            services.transmission.connectMs = 5000;
            services.transmission.answerMs = answerMs;
            services.http =
                HttpClient(fiscora::test::sharedSeams().folder, fiscora::test::sharedSeams().gate, 500, 1000);
        }

        void writeFile(const QString& name, const QByteArray& bytes) const {
            QFile file(files.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        }
        void pointAt(const QString& host, int port) const { folder->setServer(host, port); }
        QStringList uploads() const {
            return server.requests().filter(QRegularExpression(u"^POST /client/"_s));
        }
        QTableWidget* transmissions() const { return child<QTableWidget>(main, u"GridTransmissoes"_s); }
    };

    QTemporaryDir m_certificates;

    // A server that knows both companies, the local database with both and the accountant, the
    // test files in the browser's folder, and the main window showing the taxpayer.
    std::unique_ptr<Scene> makeScene(const QString& ie, bool secure = false) {
        auto scene = std::make_unique<Scene>();
        scene->server.setSecure(secure);
        const QList<SeedCompany> companies{
            {kGiaIE, u"12.345.678/0001-95"_s, u"Comercial Ribeirão Verde Ltda"_s, kGiaKey, false, {}},
            {kPgdasIE, u"23.456.789/0001-95"_s, u"Padaria Estrela do Vale Ltda ME"_s, kPgdasKey, true, {}}};
        if (!scene->server.start(
                writeSeed(scene->server, companies,
                          {{u"anos"_s, kYears}, {u"dataServidor"_s, u"14/03/2026 10:22:33"_s}})))
            qWarning("server did not start: %s", qPrintable(scene->server.errorString()));
        scene->folder =
            std::make_unique<ProgramFolderFixture>(scene->server.host(), scene->server.port(), secure);
        scene->services.journal = &journal();
        insertSeededTaxpayers(companies);
        const Status saved =
            saveAccountant(fiscora::test::sharedSeams().folder, Accountant{u"111.444.777-35"_s,
                                                                           u"1SP000001"_s,
                                                                           u"José Contador da Silva"_s,
                                                                           u"Rua A"_s,
                                                                           u"1"_s,
                                                                           {},
                                                                           u"Centro"_s,
                                                                           u"Valdorra"_s,
                                                                           u"SP"_s,
                                                                           u"(11) 5555-0000"_s,
                                                                           u"01234-567"_s,
                                                                           u"contador@example.com"_s});
        if (!saved)
            qWarning("accountant not saved: %s", qPrintable(saved.error().description));
        scene->session.setUploadFolder(scene->files.path());
        const SeedCompany& company = ie == kGiaIE ? companies.at(0) : companies.at(1);
        scene->session.selectTaxpayer(company.razao, company.ie, company.chave);
        scene->main = new Principal(scene->session, scene->services);
        scene->main->show();
        scene->main->RecebeDadosServer();
        // The main window waits for the list, as the user would.
        if (!QTest::qWaitFor([&] { return !scene->main->waitingForServer(); }, kWaitMs))
            qWarning("the list did not come");
        return scene;
    }

    template <typename Window> Window* openWindow(Scene& scene) {
        QTest::mouseClick(child<QPushButton>(scene.main, u"Command1"_s), Qt::LeftButton);
        scene.boxes.clear(); // the certificate notice
        return topLevelWindow<Window>(true);
    }

    // A GIA export of the taxpayer (GIAs 1 and 2) and of another company (GIA 3), and a text file
    // with GIAs 1 (11/2024), 2 (01/2025) and 3 (02/2025).
    void writeGiaFiles(Scene& scene) {
        scene.writeFile(u"dados.PRF"_s, giaText({"202411", "202501", "202502"}));
        scene.writeFile(u"outro.prf"_s,
                        giaText({"202503"}, "110042490114") + giaText({"202504"}, "648120377258"));
        const GiaConversion::Outcome made =
            test::convertGia(scene.files.filePath(u"outro.prf"_s), scene.files.filePath(u"novagia.mdb"_s),
                             fiscora::test::sharedSeams().folder.file(u"gia_limpa.mdb"_s));
        QVERIFY2(made.ok, qPrintable(made.message));
        QFile::remove(scene.files.filePath(u"outro.prf"_s));
    }

    // Enviar with the accountant's certificate.
    void send(Scene& scene, QWidget* window) {
        scene.chooser.queueChoice(kAccountantCertificate);
        QTest::mouseClick(child<QPushButton>(window, u"cmdUpload"_s), Qt::LeftButton);
    }

private Q_SLOTS:
    void initTestCase() {
        const QString folder = m_certificates.filePath(u"certificados"_s);
        qputenv("FISCORA_CERTIFICADOS", folder.toUtf8());
        QVERIFY(CertificateStore(folder).importFile(certificateFixture(u"contador.cer"_s)).ok());
    }

    // Through a proxy named by the settings or by the environment: every exchange of the scene
    // goes through it.
    void useProxy(Scene& scene, const ForwardProxy& proxy, const QString& how, bool secure) {
        if (how == u"setting"_s)
            scene.folder->setServer(scene.server.host(), scene.server.port(), secure, proxy.url());
        else if (how == u"environment"_s)
            qputenv(secure ? "https_proxy" : "http_proxy", proxy.url().toLatin1());
    }

    void cleanup() {
        qunsetenv("http_proxy");
        qunsetenv("https_proxy");
        deleteTopLevelWindows();
        journal.reset();
    }

    // The export is sent twice around the marker; the text file after the package, under its own
    // name. The server records what was chosen and the main window lists it.
    void sendsAnExportAndATextFile_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("gias");
        QTest::addColumn<QStringList>("references");
        QTest::addColumn<bool>("secure");
        QTest::addColumn<QString>("proxy"); // how the proxy is named; empty: none
        const QStringList one{u"03/2025"_s};
        const QStringList two{u"01/2025"_s, u"02/2025"_s};
        QTest::newRow("export") << "novagia.mdb"
                                << "1" << one << false << QString();
        QTest::newRow("text file") << "dados.PRF"
                                   << "2,3" << two << false << QString();
        QTest::newRow("export, https") << "novagia.mdb"
                                       << "1" << one << true << QString();
        QTest::newRow("text file, https, proxy of the settings") << "dados.PRF"
                                                                 << "2,3" << two << true << u"setting"_s;
        QTest::newRow("export, http_proxy") << "novagia.mdb"
                                            << "1" << one << false << u"environment"_s;
    }

    void sendsAnExportAndATextFile() {
        QFETCH(QString, file);
        QFETCH(QString, gias);
        QFETCH(QStringList, references);
        QFETCH(bool, secure);
        QFETCH(QString, proxy);
        auto scene = makeScene(kGiaIE, secure);
        ForwardProxy forward;
        useProxy(*scene, forward, proxy, secure);
        writeGiaFiles(*scene);
        QPointer<frmUpload> window = openWindow<frmUpload>(*scene);
        QVERIFY(window && !scene->main->isEnabled());
        clickFile(window, file);
        auto* grid = child<QTableWidget>(window, u"GridRefencias"_s);
        QVERIFY(scene->main->isEnabled());
        const qsizetype rows = references.size();
        selectRows(grid, grid->rowCount() - static_cast<int>(rows), grid->rowCount() - 1);
        send(*scene, window);
        QTRY_VERIFY_WITH_TIMEOUT(!window, kWaitMs);
        QVERIFY(scene->boxes.shown().isEmpty());
        QVERIFY(scene->main->isEnabled());
        QTRY_VERIFY(!scene->main->waitingForServer());

        const QStringList uploads = scene->uploads();
        QCOMPARE(uploads.size(), 1);
        QVERIFY2(uploads.first().contains(u"contador=111.444.777-35"_s) &&
                     uploads.first().contains(u"chave="_s + kGiaKey) &&
                     uploads.first().contains(u"gias="_s + gias) && uploads.first().endsWith(u" 200"_s),
                 qPrintable(uploads.first()));
        const QStringList log = scene->server.requests().filter(u"UPLOAD "_s);
        QVERIFY2(log.size() == 1 && log.first().contains(u"arquivo="_s + file + u" "_s) &&
                     log.first().endsWith(u"200 OK"_s),
                 qPrintable(log.join(u'\n')));
        // The status line says which references the list now shows, with their protocols.
        const QString status = scene->main->statusBar()->currentMessage();
        for (const QString& reference : references) {
            QVERIFY(column(scene->transmissions(), 0).contains(reference));
            QVERIFY2(status.contains(reference + u": protocolo "_s), qPrintable(status));
        }
        if (file.endsWith(u"PRF"_s))
            QCOMPARE(scene->session.pathMDB(), fiscora::test::sharedSeams().folder.file(u"atual.mdb"_s));
        // The upload and the list after it went through the proxy: tunnelled for https, handed the
        // whole address for http.
        const QString origin = u"%1:%2"_s.arg(scene->server.host()).arg(scene->server.port());
        const QStringList expected =
            proxy.isEmpty() ? QStringList()
            : secure        ? QStringList{u"CONNECT "_s + origin + u" HTTP/1.1"_s}
                            : QStringList{u"POST http://"_s + origin + u"/client/xt_upload_1_15_01.php?"_s,
                                   u"POST http://"_s + origin + u"/lumo/server/index.php?wsdl HTTP/1.1"_s};
        for (const QString& line : expected)
            QVERIFY2(forward.requestLines().filter(line).size() >= 1,
                     qPrintable(forward.requestLines().join(u'\n')));
        QCOMPARE(forward.requestLines().isEmpty(), proxy.isEmpty());
    }

    void rangeSelectionEitherWayShowsItsYearMessageOnce_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("message");
        QTest::newRow("top to bottom") << 0 << 1 << frmUpload::accountantAskText + kYears;
        QTest::newRow("bottom to top") << 1 << 0 << frmUpload::acceptedOnlyText + kYears;
    }

    // 11/2024 is refused, 01/2025 sent. The message comes once per loading; a later send with only
    // refused rows still goes out (an earlier send counted accepted GIAs), with an empty list.
    void rangeSelectionEitherWayShowsItsYearMessageOnce() {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QString, message);
        auto scene = makeScene(kGiaIE);
        writeGiaFiles(*scene);
        QPointer<frmUpload> window = openWindow<frmUpload>(*scene);
        clickFile(window, u"dados.PRF"_s);
        auto* grid = child<QTableWidget>(window, u"GridRefencias"_s);
        QCOMPARE(column(grid, 1), (QStringList{u"11/2024"_s, u"01/2025"_s, u"02/2025"_s}));

        // First send: nobody listens on that port.
        scene->pointAt(scene->server.host(), 8079);
        selectRows(grid, from, to);
        send(*scene, window);
        QTRY_COMPARE_WITH_TIMEOUT(scene->boxes.shown().size(), 2, kWaitMs);
        QCOMPARE(scene->boxes.shown().at(0).title, AppTexts::programTitle);
        QCOMPARE(scene->boxes.shown().at(0).text, message);
        QCOMPARE(scene->boxes.shown().at(1).title, AppTexts::errorTitle);
        QVERIFY(scene->boxes.shown().at(1).text.contains(u"recusou"_s));
        QVERIFY(window && window->isVisible() && child<QPushButton>(window, u"cmdUpload"_s)->isEnabled());
        // Only the accepted GIA went.
        const JournalEntry refused = journal().findTransmissions()->first();
        QCOMPARE(refused.outcome, TransmissionOutcome::Failed);
        QCOMPARE(refused.gias, (QList<JournalGia>{JournalGia{u"2"_s, u"01/2025"_s}}));

        scene->pointAt(scene->server.host(), scene->server.port());
        selectRows(grid, 0, 0);
        send(*scene, window);
        QTRY_VERIFY_WITH_TIMEOUT(!window, kWaitMs);
        QCOMPARE(scene->boxes.shown().size(), 2);
        const QStringList uploads = scene->uploads();
        QVERIFY2(uploads.size() == 1 && !uploads.first().contains(kGiaNumbers),
                 qPrintable(uploads.join(u'\n')));
        QVERIFY(!column(scene->transmissions(), 0).contains(u"11/2024"_s));
    }

    // A reference the main window's list shows goes again only when the accountant says Yes to
    // a question that names it with its protocol; No is the default.
    void listedReferenceAsksBeforeGoingAgain() {
        auto scene = makeScene(kGiaIE);
        writeGiaFiles(*scene);
        QPointer<frmUpload> window = openWindow<frmUpload>(*scene);
        clickFile(window, u"novagia.mdb"_s);
        send(*scene, window);
        QTRY_VERIFY_WITH_TIMEOUT(!window, kWaitMs);
        QTRY_VERIFY(!scene->main->waitingForServer());
        const QString protocol = column(scene->transmissions(), 2).value(0);
        QVERIFY(!protocol.isEmpty());

        window = openWindow<frmUpload>(*scene);
        clickFile(window, u"novagia.mdb"_s);
        send(*scene, window);
        QCOMPARE(scene->boxes.shown().size(), 1);
        const MessageRequest& asked = scene->boxes.shown().first();
        QCOMPARE(asked.buttons, MessageButtons::YesNo);
        QCOMPARE(asked.defaultAnswer, std::optional(MessageAnswer::No));
        QVERIFY2(asked.text.contains(u"03/2025: protocolo "_s + protocol), qPrintable(asked.text));
        QVERIFY(window && !window->uploadBusy());
        QCOMPARE(scene->uploads().size(), 1);

        scene->boxes.queueAnswer(MessageAnswer::Yes);
        send(*scene, window);
        QTRY_VERIFY_WITH_TIMEOUT(!window, kWaitMs);
        QCOMPARE(scene->uploads().size(), 2);
    }

    void cancelKeepsTheWindowForTheNextOpening() {
        auto scene = makeScene(kGiaIE);
        writeGiaFiles(*scene);
        QPointer<frmUpload> window = openWindow<frmUpload>(*scene);
        clickFile(window, u"novagia.mdb"_s);
        const QString caption = window->windowTitle();
        QTest::mouseClick(child<QPushButton>(window, u"Command2"_s), Qt::LeftButton);
        QVERIFY(window && !window->isVisible() && scene->main->isEnabled());

        QCOMPARE(openWindow<frmUpload>(*scene), window.data());
        QCOMPARE(window->windowTitle(), caption);
        QCOMPARE(column(child<QTableWidget>(window, u"GridRefencias"_s), 1), QStringList{u"03/2025"_s});
        QVERIFY(child<QPushButton>(window, u"cmdUpload"_s)->isEnabled());
        // The chosen file is the one sent.
        send(*scene, window);
        QTRY_VERIFY_WITH_TIMEOUT(!window, kWaitMs);
        const QStringList log = scene->server.requests().filter(u"UPLOAD "_s);
        QVERIFY2(log.size() == 1 && log.first().contains(u"arquivo=novagia.mdb "_s),
                 qPrintable(log.join(u'\n')));
    }

    // Nothing is sent without a file or a host; the window stays usable.
    void noFileChosenAndInvalidHost() {
        auto scene = makeScene(kGiaIE);
        writeGiaFiles(*scene);
        QPointer<frmUpload> window = openWindow<frmUpload>(*scene);
        scene->chooser.queueChoice(kAccountantCertificate);
        window->send();
        clickFile(window, u"novagia.mdb"_s);
        scene->folder->writeFile(u"fiscora.ini"_s, "[servidor]\r\nhost=\r\nport=8080\r\n");
        send(*scene, window);
        QCOMPARE(scene->boxes.texts(), (QStringList{u"No File Chosen"_s, u"Invalid Host"_s}));
        for (const MessageRequest& box : scene->boxes.shown()) {
            QCOMPARE(box.title, AppTexts::errorTitle);
            QCOMPARE(box.icon, MessageIcon::Critical);
        }
        QVERIFY(window && scene->uploads().isEmpty());
    }

    // The wait for the answer ends; a server that closes without answering leaves a readable
    // window; closing the window in the middle ends the upload.
    void serverThatDoesNotAnswer_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("message");
        QTest::newRow("never answers") << int(QuietServer::Mode::Silent) << u"não respondeu"_s;
        QTest::newRow("closes silently") << int(QuietServer::Mode::CloseAfterRequest) << u"sem responder"_s;
        QTest::newRow("window closed") << int(QuietServer::Mode::Silent) << QString();
    }

    void serverThatDoesNotAnswer() {
        QFETCH(int, mode);
        QFETCH(QString, message);
        auto scene = makeScene(kGiaIE);
        writeGiaFiles(*scene);
        QPointer<frmUpload> window = openWindow<frmUpload>(*scene);
        clickFile(window, u"novagia.mdb"_s);
        QuietServer quiet(scene->server.host(), QuietServer::Mode(mode));
        scene->pointAt(scene->server.host(), quiet.port());
        // The list is asked of the silent server too.
        scene->shortenLimits(message.isEmpty() ? kWaitMs : 300);
        send(*scene, window);
        auto* label = child<QLabel>(window, u"lblSendSpeed"_s);
        if (message.isEmpty()) {
            QTRY_COMPARE_WITH_TIMEOUT(label->text(), kWaitingForAnswerText, kWaitMs);
            window->close();
            QTRY_VERIFY(!window);
            QVERIFY(scene->main->isEnabled() && scene->boxes.shown().isEmpty());
            // Sent, then interrupted: it may have reached the server.
            const JournalEntry row = journal().findTransmissions()->first();
            QVERIFY(row.outcome == TransmissionOutcome::Unknown && row.detail.contains(u"interrompido"_s));
            return;
        }
        // The request went out: the outcome is unknown, so the message sends the user to the list,
        // which is fetched again (from a server that is no web service here).
        QTRY_COMPARE_WITH_TIMEOUT(scene->boxes.shown().size(), 2, kWaitMs);
        QCOMPARE(scene->boxes.shown().first().title, AppTexts::errorTitle);
        QVERIFY2(scene->boxes.shown().first().text.contains(message) &&
                     scene->boxes.shown().first().text.endsWith(UploadWindow::checkListText),
                 qPrintable(scene->boxes.texts().join(u'\n')));
        QVERIFY(scene->boxes.shown().at(1).text.startsWith(u"O Servidor está indisponivel"_s));
        QVERIFY(window && window->isVisible() && !window->uploadBusy());
        QVERIFY(label->text() != kWaitingForAnswerText);
        QVERIFY(quiet.bytesReceived() > QFileInfo(scene->files.filePath(u"novagia.mdb"_s)).size() * 2);
    }

    // The main window stays enabled throughout; a name not ending in pdf is refused before
    // anything is sent; the good document is recorded and listed.
    void pgdasDocumentIsRecordedAndListed_data() {
        QTest::addColumn<bool>("secure");
        QTest::addColumn<QString>("proxy");
        QTest::newRow("http") << false << QString();
        QTest::newRow("https") << true << QString();
        QTest::newRow("https, https_proxy") << true << u"environment"_s;
    }

    void pgdasDocumentIsRecordedAndListed() {
        QFETCH(bool, secure);
        QFETCH(QString, proxy);
        auto scene = makeScene(kPgdasIE, secure);
        ForwardProxy forward;
        useProxy(*scene, forward, proxy, secure);
        scene->writeFile(u"DeclaracaoDASN-123.PDF"_s, pdf("Declaracao PGDAS-D 02/2026"));
        scene->writeFile(u"resumo.pdf.bak"_s, pdf("Declaracao PGDAS-D 02/2026"));
        QPointer<frmUploadSimples> window = openWindow<frmUploadSimples>(*scene);
        QVERIFY(window && scene->main->isEnabled());
        auto* cmdUpload = child<QPushButton>(window, u"cmdUpload"_s);
        clickFile(window, u"resumo.pdf.bak"_s);
        QCOMPARE(scene->boxes.texts(), QStringList{frmUploadSimples::invalidFileText});
        QCOMPARE(scene->boxes.shown().first().title, AppTexts::programTitle);
        QVERIFY(!cmdUpload->isEnabled());
        clickFile(window, u"DeclaracaoDASN-123.PDF"_s);
        QVERIFY(cmdUpload->isEnabled());
        send(*scene, window);
        QVERIFY(scene->main->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!window, kWaitMs);
        QCOMPARE(scene->boxes.shown().size(), 1);
        QVERIFY(scene->main->isEnabled());
        QTRY_VERIFY(!scene->main->waitingForServer());
        const QStringList uploads = scene->uploads();
        QVERIFY2(uploads.size() == 1 &&
                     uploads.first().startsWith(u"POST /client/xt_upload_simples.php?"_s) &&
                     !uploads.first().contains(kGiaNumbers) && uploads.first().endsWith(u" 200"_s),
                 qPrintable(uploads.join(u'\n')));
        QVERIFY(scene->server.requests()
                    .filter(u"UPLOAD "_s)
                    .first()
                    .contains(u"arquivo=DeclaracaoDASN-123.PDF "_s));
        QVERIFY(column(scene->transmissions(), 0).contains(u"02/2026"_s));
        QCOMPARE(forward.requestLines().isEmpty(), proxy.isEmpty());
    }

    void pgdasRefusalsShowTheirMessagesInTableOrder_data() {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QList<int>>("messages"); // rows of the refusal table
        QTest::newRow("extrato") << pdf("Extrato do Simples Nacional 02/2026") << QList<int>{0};
        QTest::newRow("recibo") << pdf("Recibo de entrega 02/2026") << QList<int>{1};
        QTest::newRow("modificado") << pdf("Declaracao 02/2026", true) << QList<int>{2};
        QTest::newRow("extrato and modificado") << pdf("Extrato 02/2026", true) << QList<int>{0, 2};
    }

    void pgdasRefusalsShowTheirMessagesInTableOrder() {
        QFETCH(QByteArray, document);
        QFETCH(QList<int>, messages);
        auto scene = makeScene(kPgdasIE);
        scene->writeFile(u"documento.pdf"_s, document);
        QPointer<frmUploadSimples> window = openWindow<frmUploadSimples>(*scene);
        clickFile(window, u"documento.pdf"_s);
        send(*scene, window);
        QTRY_VERIFY_WITH_TIMEOUT(!window, kWaitMs);
        QStringList expected;
        for (const int row : messages)
            expected.append(pgdasRefusals().at(row).message);
        QCOMPARE(scene->boxes.texts(), expected);
        QCOMPARE(scene->uploads().size(), 1);
        QVERIFY(!column(scene->transmissions(), 0).contains(u"02/2026"_s));
    }

    // The document's reference, read from its text, is shown; once the server lists it, sending
    // the document again asks first, naming it with its protocol, No by default.
    void pgdasListedReferenceAsksBeforeGoingAgain() {
        auto scene = makeScene(kPgdasIE);
        scene->writeFile(u"declaracao.pdf"_s,
                         simplePdf({u"CNPJ: 23.456.789/0001-95"_s, u"Periodo de Apuracao: 02/2026"_s}));
        QPointer<frmUploadSimples> window = openWindow<frmUploadSimples>(*scene);
        clickFile(window, u"declaracao.pdf"_s);
        QCOMPARE(column(child<QTableWidget>(window, u"GridRefencias"_s), 1), QStringList{u"02/2026"_s});
        send(*scene, window);
        QTRY_VERIFY_WITH_TIMEOUT(!window, kWaitMs);
        QTRY_VERIFY(!scene->main->waitingForServer());
        const QString protocol = column(scene->transmissions(), 2).value(0);
        QVERIFY(!protocol.isEmpty());

        window = openWindow<frmUploadSimples>(*scene);
        clickFile(window, u"declaracao.pdf"_s);
        send(*scene, window);
        QCOMPARE(scene->boxes.shown().size(), 1);
        const MessageRequest& asked = scene->boxes.shown().first();
        QCOMPARE(asked.defaultAnswer, std::optional(MessageAnswer::No));
        QVERIFY2(asked.text.contains(u"02/2026: protocolo "_s + protocol) &&
                     asked.text.contains(u"retificadora do PGDAS"_s),
                 qPrintable(asked.text));
        QVERIFY(window && !window->uploadBusy());
        QCOMPARE(scene->uploads().size(), 1);

        scene->boxes.queueAnswer(MessageAnswer::Yes);
        send(*scene, window);
        QTRY_VERIFY_WITH_TIMEOUT(!window, kWaitMs);
        QCOMPARE(scene->uploads().size(), 2);
    }

    // An answer with the marker in lower case is no refusal; a refused connection closes the
    // window without a word. Either way the main window is enabled.
    // A server that closes after the request leaves the window open; the list is fetched again,
    // since the request may have been recorded.
    void pgdasLowerCaseMarkerAndRefusedConnectionShowNothing_data() {
        QTest::addColumn<int>("mode"); // of the quiet server; -1: nobody listens
        QTest::addColumn<int>("listRequests");
        QTest::newRow("lower-case marker") << int(QuietServer::Mode::Answer) << 1;
        QTest::newRow("connection refused") << -1 << 0;
        QTest::newRow("closed without answer") << int(QuietServer::Mode::CloseAfterRequest) << 1;
    }

    void pgdasLowerCaseMarkerAndRefusedConnectionShowNothing() {
        QFETCH(int, mode);
        QFETCH(int, listRequests);
        auto scene = makeScene(kPgdasIE);
        scene->writeFile(u"declaracao.pdf"_s, pdf("Declaracao 02/2026"));
        QPointer<frmUploadSimples> window = openWindow<frmUploadSimples>(*scene);
        QuietServer answering(scene->server.host(), QuietServer::Mode(qMax(mode, 0)),
                              "arquivo invalido - recibo");
        scene->pointAt(scene->server.host(), mode < 0 ? 8079 : answering.port());
        // The list is not fetched from the answering stand-in: the request is only counted.
        QObject::disconnect(window, &UploadWindow::transmissionsChanged, scene->main, nullptr);
        QSignalSpy listed(window.data(), &UploadWindow::transmissionsChanged);
        clickFile(window, u"declaracao.pdf"_s);
        send(*scene, window);
        if (mode == int(QuietServer::Mode::CloseAfterRequest)) {
            QTRY_COMPARE_WITH_TIMEOUT(listed.size(), listRequests, kWaitMs);
            QVERIFY(window && !window->uploadBusy());
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(!window, kWaitMs);
        }
        QVERIFY(scene->boxes.shown().isEmpty());
        QCOMPARE(listed.size(), listRequests);
        QVERIFY(scene->main->isEnabled());
    }

    // A refusal whose body comes in a later packet than the header fields is still seen, in
    // the window and in the journal.
    void pgdasRefusalInALaterPacket_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("Content-Length, kept open") << int(QuietServer::Mode::SplitAnswer);
        QTest::newRow("ended by the close") << int(QuietServer::Mode::SplitAnswerThenClose);
    }

    void pgdasRefusalInALaterPacket() {
        QFETCH(int, mode);
        auto scene = makeScene(kPgdasIE);
        scene->writeFile(u"recibo.pdf"_s, pdf("Recibo 02/2026"));
        QPointer<frmUploadSimples> window = openWindow<frmUploadSimples>(*scene);
        QuietServer answering(scene->server.host(), QuietServer::Mode(mode),
                              "<html>ARQUIVO INVALIDO - RECIBO</html>");
        scene->pointAt(scene->server.host(), answering.port());
        QObject::disconnect(window, &UploadWindow::transmissionsChanged, scene->main, nullptr);
        clickFile(window, u"recibo.pdf"_s);
        send(*scene, window);
        QTRY_VERIFY_WITH_TIMEOUT(!window, kWaitMs);
        QCOMPARE(scene->boxes.texts(), QStringList{pgdasRefusals().at(1).message});
        const JournalEntry row = journal().findTransmissions()->first();
        QCOMPARE(row.outcome, TransmissionOutcome::Refused);
        QCOMPARE(row.detail, u"ARQUIVO INVALIDO - RECIBO"_s);
    }

    // An outcome that comes while a box or the certificate dialog of the window is open is shown
    // once that is closed; the window is never deleted under it.
    void noWindowGoesWhileItsBoxIsOpen_data() {
        QTest::addColumn<bool>("simples");
        QTest::addColumn<bool>("refused");   // nobody listens on the upload's port
        QTest::addColumn<bool>("sendAgain"); // PGDAS: Enviar again during the pause after the answer
        QTest::addColumn<QStringList>("expected");
        const QString notGia = GiaDatabaseReader::message(GiaDatabaseReader::Outcome::InvalidFile);
        const QString extrato = pgdasRefusals().at(0).message;
        QTest::newRow("GIA answer") << false << false << false << QStringList{notGia};
        // The refusal comes at once, before the helper has read the clicked file.
        QTest::newRow("GIA failure") << false << true << false << QStringList{u"recusou"_s, notGia};
        QTest::newRow("PGDAS pause") << true << false << false
                                     << QStringList{frmUploadSimples::invalidFileText, extrato};
        QTest::newRow("PGDAS pause, certificate dialog") << true << false << true << QStringList{extrato};
    }

    void noWindowGoesWhileItsBoxIsOpen() {
        QFETCH(bool, simples);
        QFETCH(bool, refused);
        QFETCH(bool, sendAgain);
        QFETCH(QStringList, expected);
        auto scene = makeScene(simples ? kPgdasIE : kGiaIE);
        writeGiaFiles(*scene);
        scene->writeFile(u"leia-me.txt"_s, "texto");
        scene->writeFile(u"extrato.pdf"_s, pdf("Extrato 02/2026"));
        QPointer<UploadWindow> window = simples
                                            ? static_cast<UploadWindow*>(openWindow<frmUploadSimples>(*scene))
                                            : openWindow<frmUpload>(*scene);
        bool deletedUnderALoop = false;
        const QObject probe; // the connection ends with this function
        connect(window, &QObject::destroyed, &probe, [&] {
            deletedUnderALoop = deletedUnderALoop || scene->boxes.open() || scene->chooser.open();
        });
        clickFile(window, simples ? u"extrato.pdf"_s : u"novagia.mdb"_s);
        if (refused)
            scene->pointAt(scene->server.host(), 8079);
        send(*scene, window);
        auto* upload = window->findChild<UploadSession*>();
        const auto ended = [upload] {
            return upload->state() == UploadSession::State::Answered ||
                   upload->state() == UploadSession::State::Failed;
        };
        if (simples) {
            // The answer is in (Enviar goes grey): the pause runs, and the box or dialog opens
            // during it.
            QTRY_VERIFY_WITH_TIMEOUT(!child<QPushButton>(window, u"cmdUpload"_s)->isEnabled(), kWaitMs);
            const auto pauseOver = [&scene] {
                return scene->boxes.shown().size() >= 2;
            };
            if (sendAgain) {
                clickFile(window, u"extrato.pdf"_s);
                scene->chooser.holdUntil(pauseOver);
                send(*scene, window);
            } else {
                scene->boxes.holdUntil(pauseOver);
                clickFile(window, u"leia-me.txt"_s);
            }
        } else {
            scene->boxes.holdUntil(ended);
            clickFile(window, u"leia-me.txt"_s);
        }
        // The GIA window stays after a failure, for another try.
        if (refused)
            QTRY_COMPARE_WITH_TIMEOUT(scene->boxes.shown().size(), expected.size(), kWaitMs);
        else
            QTRY_VERIFY_WITH_TIMEOUT(!window, kWaitMs);
        QVERIFY(!deletedUnderALoop);
        QCOMPARE(scene->boxes.shown().size(), expected.size());
        for (int i = 0; i < expected.size(); ++i)
            QVERIFY2(scene->boxes.shown().at(i).text.contains(expected.at(i)),
                     qPrintable(scene->boxes.texts().join(u'\n')));
        QCOMPARE(scene->uploads().size(), refused ? 0 : 1);
    }

    // A change of taxpayer unloads an idle upload window; the next transmit opens a fresh one. An
    // upload still running finishes and its outcome names the taxpayer it was for.
    void uploadWindowsBelongToTheirTaxpayer() {
        auto scene = makeScene(kGiaIE);
        writeGiaFiles(*scene);
        QPointer<frmUpload> gia = openWindow<frmUpload>(*scene);
        clickFile(gia, u"novagia.mdb"_s);
        QTest::mouseClick(child<QPushButton>(gia, u"Command2"_s), Qt::LeftButton);
        scene->session.selectTaxpayer(u"Padaria Estrela do Vale Ltda ME"_s, kPgdasIE, kPgdasKey);
        scene->main->RecebeDadosServer();
        QTRY_VERIFY(!gia);
        QTRY_VERIFY(!scene->main->waitingForServer());

        scene->writeFile(u"declaracao.pdf"_s, pdf("Declaracao 02/2026"));
        QPointer<frmUploadSimples> pgdas = openWindow<frmUploadSimples>(*scene);
        QuietServer answering(scene->server.host(), QuietServer::Mode::Answer, "OK");
        scene->pointAt(scene->server.host(), answering.port());
        clickFile(pgdas, u"declaracao.pdf"_s);
        send(*scene, pgdas);
        scene->pointAt(scene->server.host(), scene->server.port());
        scene->session.selectTaxpayer(u"Comercial Ribeirão Verde Ltda"_s, kGiaIE, kGiaKey);
        scene->main->RecebeDadosServer();
        QVERIFY(pgdas);
        QTRY_VERIFY_WITH_TIMEOUT(!pgdas, kWaitMs);
        QTRY_VERIFY(!scene->main->waitingForServer());
        QCOMPARE(scene->boxes.shown().size(), 1);
        QVERIFY2(scene->boxes.shown().first().text.startsWith(
                     u"Contribuinte Padaria Estrela do Vale Ltda ME (IE 648.120.377.258): "_s),
                 qPrintable(scene->boxes.shown().first().text));
        QVERIFY(answering.received().contains((u"chave="_s + kPgdasKey).toLatin1()));

        QPointer<frmUpload> fresh = openWindow<frmUpload>(*scene);
        QVERIFY(fresh && fresh != gia);
        QCOMPARE(child<QTableWidget>(fresh, u"GridRefencias"_s)->rowCount(), 0);
        // No file of the old window's: nothing to send.
        QVERIFY(!child<QPushButton>(fresh, u"cmdUpload"_s)->isEnabled());
    }

    // Closed in the pause after the answer, the window goes from view; the refusal and the list
    // still come.
    void closingDuringThePgdasPauseKeepsTheAnswer() {
        auto scene = makeScene(kPgdasIE);
        scene->writeFile(u"extrato.pdf"_s, pdf("Extrato 02/2026"));
        QPointer<frmUploadSimples> window = openWindow<frmUploadSimples>(*scene);
        QSignalSpy listed(window.data(), &UploadWindow::transmissionsChanged);
        clickFile(window, u"extrato.pdf"_s);
        send(*scene, window);
        auto* upload = window->findChild<UploadSession*>();
        // The answer is in when Enviar goes grey; the pause after it runs.
        QTRY_VERIFY_WITH_TIMEOUT(!child<QPushButton>(window, u"cmdUpload"_s)->isEnabled(), kWaitMs);
        QVERIFY(upload->state() == UploadSession::State::Answered && listed.isEmpty());
        window->close();
        QVERIFY(window && !window->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!window, kWaitMs);
        QCOMPARE(scene->boxes.texts(), QStringList{pgdasRefusals().at(0).message});
        QCOMPARE(listed.size(), 1);
    }

    // Every upload writes its journal row before the first byte and completes it with the
    // outcome; the list asked for afterwards closes it with the new protocol.
    void eachOutcomeWritesItsJournalRow_data() {
        QTest::addColumn<bool>("simples");
        QTest::addColumn<int>("mode"); // of a quiet server; -1: the stand-in server; -2: nobody listens
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<bool>("listed");
        // Both kinds keep the same words of an answer: its body's first line.
        QTest::newRow("GIA answered") << false << -1 << int(TransmissionOutcome::Answered) << u"OK"_s << true;
        QTest::newRow("PGDAS answered")
            << true << -1 << int(TransmissionOutcome::Answered) << u"OK"_s << true;
        QTest::newRow("PGDAS refused")
            << true << -1 << int(TransmissionOutcome::Refused) << u"ARQUIVO INVALIDO - EXTRATO"_s << false;
        QTest::newRow("connection refused")
            << false << -2 << int(TransmissionOutcome::Failed) << u"recusou"_s << false;
        QTest::newRow("no answer in time")
            << false << int(QuietServer::Mode::Silent) << int(TransmissionOutcome::Unknown)
            << u"não respondeu"_s << false;
        QTest::newRow("closed without answer")
            << false << int(QuietServer::Mode::CloseAfterRequest) << int(TransmissionOutcome::Unknown)
            << u"sem responder"_s << false;
        // The proxy's page is no answer of the server's.
        QTest::newRow("refused by the proxy")
            << false << -3 << int(TransmissionOutcome::Failed) << u"O proxy 127.0.0.1 recusou"_s << false;
    }

    void eachOutcomeWritesItsJournalRow() {
        QFETCH(bool, simples);
        QFETCH(int, mode);
        QFETCH(int, outcome);
        QFETCH(QString, detail);
        QFETCH(bool, listed);
        auto scene = makeScene(simples ? kPgdasIE : kGiaIE);
        writeGiaFiles(*scene);
        scene->writeFile(u"extrato.pdf"_s,
                         pdf(outcome == int(TransmissionOutcome::Answered) ? "Declaracao PGDAS-D 02/2026"
                                                                           : "Extrato 02/2026"));
        QPointer<UploadWindow> window = simples
                                            ? static_cast<UploadWindow*>(openWindow<frmUploadSimples>(*scene))
                                            : openWindow<frmUpload>(*scene);
        clickFile(window, simples ? u"extrato.pdf"_s : u"novagia.mdb"_s);
        QuietServer quiet(scene->server.host(), QuietServer::Mode(qMax(mode, 0)));
        ForwardProxy proxy;
        proxy.refuseWith("403 Forbidden");
        if (mode == -3)
            useProxy(*scene, proxy, u"setting"_s, false);
        else if (mode != -1)
            scene->pointAt(scene->server.host(), mode == -2 ? 8079 : quiet.port());
        scene->shortenLimits(300);
        send(*scene, window);
        // Written before the first byte.
        const Result<QList<JournalEntry>> sending = journal().findTransmissions();
        QVERIFY(sending && sending->size() == 1);
        QCOMPARE(sending->first().outcome, TransmissionOutcome::Sending);
        QCOMPARE(sending->first().ie, simples ? kPgdasIE : kGiaIE);
        QCOMPARE(sending->first().chave, simples ? kPgdasKey : kGiaKey);
        QCOMPARE(sending->first().certificateHolder, u"JOSÉ CONTADOR DA SILVA:11144477735"_s);

        QTRY_VERIFY_WITH_TIMEOUT(
            journal().findTransmissions()->first().outcome != TransmissionOutcome::Sending, kWaitMs);
        const JournalEntry row = journal().findTransmissions()->first();
        QCOMPARE(int(row.outcome), outcome);
        if (outcome == int(TransmissionOutcome::Answered))
            QCOMPARE(row.detail, detail);
        else
            QVERIFY2(row.detail.contains(detail), qPrintable(row.detail));
        if (outcome == int(TransmissionOutcome::Failed))
            return;
        // Once the whole content went out, its digest: for an export, the file twice about the marker.
        const QByteArray file =
            readBytes(scene->files.filePath(simples ? u"extrato.pdf"_s : u"novagia.mdb"_s));
        const QByteArray content = simples ? file : file + "###$$$***PRF***$$$###" + file;
        QCOMPARE(row.contentSize, content.size());
        QTRY_COMPARE(
            journal().findTransmissions()->first().contentSha256,
            QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex()));
        if (listed)
            QTRY_VERIFY_WITH_TIMEOUT(!journal().findTransmissions()->first().protocols.isEmpty(), kWaitMs);
        QCOMPARE(journal().findTransmissions()->first().unconfirmed(),
                 outcome == int(TransmissionOutcome::Unknown));
    }

    // Home first; then wherever the last browser was left, for every window of the run.
    void browserStartsAtHomeThenWhereItWasLeft() {
        QTemporaryDir dir;
        QDir(dir.path()).mkdir(u"sub"_s);
        Session session;
        UserPreferences::setUploadFolder({});
        FileBrowser first(session, sharedSeams()());
        QCOMPARE(first.folder(), QDir::homePath());
        QVERIFY(child<QComboBox>(&first, u"Drive1"_s)->findData(QDir::rootPath()) >= 0);
        QVERIFY(first.setFolder(dir.path()));
        auto* dirList = child<QTreeWidget>(&first, u"dir"_s);
        const QList<QTreeWidgetItem*> sub =
            dirList->findItems(u"sub"_s, Qt::MatchExactly | Qt::MatchRecursive);
        QCOMPARE(sub.size(), 1);
        Q_EMIT dirList->itemActivated(sub.first(), 0);
        QCOMPARE(FileBrowser(session, sharedSeams()()).folder(), QDir(dir.path()).filePath(u"sub"_s));
    }

    // The user's preferences keep the folder: a new run starts where the last one was left.
    void browserStartsWhereAnEarlierRunLeftIt() {
        QTemporaryDir preferences;
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(u"sub"_s));
        const test::ScopedEnvironment preferencesFolder("FISCORA_PREFERENCIAS", preferences.path());
        Session session;
        UserPreferences::setUploadFolder(dir.path()); // as the earlier run left it
        FileBrowser browser(session, sharedSeams()());
        QCOMPARE(browser.folder(), dir.path());
        QVERIFY(browser.setFolder(dir.filePath(u"sub"_s)));
        QCOMPARE(UserPreferences::uploadFolder(), dir.filePath(u"sub"_s));
        QVERIFY(UserPreferences::filePath().startsWith(preferences.path()));
    }

    void screenshots() {
        auto scene = makeScene(kGiaIE);
        writeGiaFiles(*scene);
        QPointer<frmUpload> gia = openWindow<frmUpload>(*scene);
        clickFile(gia, u"dados.PRF"_s);
        selectRows(child<QTableWidget>(gia, u"GridRefencias"_s), 1, 2);
        auto* simples = new frmUploadSimples(scene->session, scene->services);
        simples->show();
        const QString folder = QDir(buildProgramFolder()).filePath(u"../telas"_s);
        QDir().mkpath(folder);
        for (QWidget* window : {static_cast<QWidget*>(gia.data()), static_cast<QWidget*>(simples)}) {
            QVERIFY(QTest::qWaitForWindowExposed(window));
            QVERIFY(window->grab().save(QDir(folder).filePath(window->objectName() + u".png"_s)));
        }
    }
};

QTEST_MAIN(UploadWindowsTest)
#include "UploadWindowsTest.moc"
