#include "certificates/CertificateStore.h"
#include "core/ProgramFolder.h"
#include "core/Session.h"
#include "core/UserPreferences.h"
#include "data/AccessReader.h"
#include "data/AccountantTable.h"
#include "data/GiaConversion.h"
#include "data/LocalDatabase.h"
#include "data/TaxpayerTable.h"
#include "data/TransmissionJournal.h"
#include "gui/FileBrowser.h"
#include "gui/frmLote.h"
#include "support/Await.h"
#include "support/GiaTextBuilder.h"
#include "support/JournalRows.h"
#include "support/LocalTables.h"
#include "support/ProgramFolderFixture.h"
#include "support/SeedData.h"
#include "support/ServerLauncher.h"
#include "support/SimplePdf.h"
#include "support/TestCertificateChooser.h"
#include "support/TestFileChooser.h"
#include "support/TestMessageBox.h"
#include "support/TestServices.h"
#include "support/TopLevelWindows.h"
#include "support/Widgets.h"
#include "transmission/AcceptedYear.h"
#include "transmission/Batch.h"
#include "transmission/PgdasAnswer.h"
#include "transmission/Transmission.h"
#include "validation/Documents.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <optional>

using namespace fiscora;
using namespace fiscora::test;
using namespace Qt::StringLiterals;
using G = GiaTextBuilder;

Q_DECLARE_METATYPE(fiscora::TransmissionOutcome)

namespace {

// A: two GIAs, one of a year the server does not accept. B: one. C: one the server lists already
// and one new. D: registered with a key the server refuses. E: not registered.
const SeedCompany kA{u"110.042.490.114"_s,
                     u"12.345.678/0001-95"_s,
                     u"Comercial Ribeirão Verde Ltda"_s,
                     u"RV7K2M9Q"_s,
                     false,
                     {}};
const SeedCompany kB{u"648.135.514.406"_s,
                     u"34.567.890/0001-30"_s,
                     u"Metalúrgica Serra d'Água Ltda"_s,
                     u"SA5N4W6X"_s,
                     false,
                     {}};
const SeedCompany kC{u"648.097.729.184"_s,
                     u"45.678.901/0001-75"_s,
                     u"Distribuidora Campo Alto Ltda"_s,
                     u"CA9D2F7H"_s,
                     false,
                     {{u"03/2025"_s, u"2025-04-10 09:00:00"_s, u"2025000001"_s, 1, u"1.000,00"_s, {}}}};
const SeedCompany kD{u"648.120.377.258"_s,
                     u"23.456.789/0001-95"_s,
                     u"Padaria Estrela do Vale Ltda ME"_s,
                     u"EV3P8T1L"_s,
                     false,
                     {}};
const QString kE = u"648.166.118.420"_s;

// Simples Nacional companies: P with 10/2026 listed already, Q.
const SeedCompany kP{u"648.120.377.258"_s,
                     u"23.456.789/0001-95"_s,
                     u"Padaria Estrela do Vale Ltda ME"_s,
                     u"EV3P8T1L"_s,
                     true,
                     {{u"10/2026"_s, u"2026-11-10 09:00:00"_s, u"2026000001"_s, 1, u"1.000,00"_s, {}}}};
const SeedCompany kQ{
    u"648.213.570.204"_s, u"11.222.333/0001-81"_s, u"Horizonte Digital Ltda"_s, u"HD4R6T8Y"_s, true, {}};

QByteArray gia(const QString& ie, const QByteArray& month) {
    QString digits = ie;
    digits.remove(u'.');
    return G::gia05(digits.toLatin1(), month) + "\r\n" + G::cfop10("5102", {150000});
}

// A PGDAS upload of company A with this document.
TransmissionOrder pgdasOrder(const QString& document) {
    TransmissionOrder order;
    order.kind = TransmissionKind::Pgdas;
    order.ie = kA.ie;
    order.chave = kA.chave;
    order.accountantDocument = u"111.444.777-35"_s;
    order.databasePath = order.chosenPath = document;
    order.fileName = QFileInfo(document).fileName();
    return order;
}

} // namespace

class LoteTest final : public QObject {
    Q_OBJECT

    std::unique_ptr<ServerLauncher> m_server;
    std::unique_ptr<ProgramFolderFixture> m_folder;
    QTemporaryDir m_files;
    QTemporaryDir m_certificates;
    QString m_export;
    FolderServices m_services;

    // The export of the five companies, the server that knows A to D, the local database with A
    // to D (D's key wrong) and the accountant.
    void setUpScene() {
        m_server = std::make_unique<ServerLauncher>();
        QVERIFY(m_server->start(writeSeed(*m_server, {kA, kB, kC, kD}, {{u"anos"_s, u"2025,2026"_s}})));
        m_folder = std::make_unique<ProgramFolderFixture>(m_server->host(), m_server->port());
        SeedCompany wrongKey = kD;
        wrongKey.chave = u"ERRADA00"_s;
        insertSeededTaxpayers({kA, kB, kC, wrongKey});
        QVERIFY(saveTestAccountant());
        QList<QByteArray> lines{G::header01()};
        for (const auto& [ie, month] : {std::pair{kA.ie, "202411"},
                                        {kA.ie, "202501"},
                                        {kB.ie, "202502"},
                                        {kC.ie, "202503"},
                                        {kC.ie, "202504"},
                                        {kD.ie, "202505"},
                                        {kE, "202506"}})
            lines.append(gia(ie, month));
        const QString text = m_files.filePath(u"escritorio.prf"_s);
        QFile file(text);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(G::file(lines));
        file.close();
        m_export = m_files.filePath(u"escritorio.mdb"_s);
        const GiaConversion::Outcome made =
            test::convertGia(text, m_export, fiscora::test::sharedSeams().folder.file(u"gia_limpa.mdb"_s));
        QVERIFY2(made.ok, qPrintable(made.message));
    }

    QStringList uploads() const {
        return m_server->requests().filter(QRegularExpression(u"^POST /client/"_s));
    }

    QString m_pgdas; // the folder of PGDAS documents

    // A folder of PGDAS documents: P's of 11/2026 and of 10/2026 (listed already), Q's extract
    // (matched by its name, refused by the server), one of C (not of the Simples), one of a CNPJ
    // nobody has, one of A's CNPJ, which another taxpayer has too. The server knows P, Q and C.
    void setUpPgdasScene() {
        m_services.reset();
        m_folder.reset();
        m_server = std::make_unique<ServerLauncher>();
        QVERIFY(m_server->start(writeSeed(*m_server, {kP, kQ, kC}, {{u"anos"_s, u"2025,2026"_s}})));
        m_folder = std::make_unique<ProgramFolderFixture>(m_server->host(), m_server->port());
        SeedCompany twin = kB;
        twin.cnpj = kA.cnpj;
        insertSeededTaxpayers({kP, kQ, kC, kA, twin});
        QVERIFY(saveTestAccountant());
        m_export.clear();
        m_pgdas = m_files.filePath(u"pgdas"_s);
        QVERIFY(QDir().mkpath(m_pgdas));
        const auto write = [this](const QString& name, const QStringList& lines) {
            QFile file(QDir(m_pgdas).filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(simplePdf(lines));
        };
        const QString period = u"Periodo de Apuracao: %1"_s;
        write(u"novembro.pdf"_s, {u"CNPJ: "_s + kP.cnpj, period.arg(u"11/2026"_s)});
        write(u"outubro.pdf"_s, {u"CNPJ: "_s + kP.cnpj, period.arg(u"10/2026"_s)});
        write(u"extrato 11.222.333-0001-81.pdf"_s,
              {u"Extrato do Simples Nacional"_s, period.arg(u"11/2026"_s)});
        write(u"geral.pdf"_s, {u"CNPJ: "_s + kC.cnpj, period.arg(u"11/2026"_s)});
        write(u"sem-cadastro.pdf"_s, {u"CNPJ: 11.444.777/0001-61"_s, period.arg(u"11/2026"_s)});
        write(u"dois.pdf"_s, {u"CNPJ: "_s + kA.cnpj, period.arg(u"11/2026"_s)});
    }

    // fiscora --transmitir, its output lines and exit code.
    int transmit(const QStringList& arguments, QStringList* lines, QString* errors = nullptr,
                 const QString& password = u"1234"_s) const {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"FISCORA_SENHA_CERTIFICADO"_s, password);
        process.setProcessEnvironment(environment);
        process.start(builtProgram(u"fiscora"_s),
                      QStringList{u"--pasta"_s, m_folder->path(), u"--transmitir"_s} +
                          (m_export.isEmpty() ? QStringList() : QStringList{m_export}) + arguments);
        process.waitForFinished(60000);
        *lines = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        if (errors)
            *errors = QString::fromUtf8(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

private Q_SLOTS:
    void initTestCase() {
        const QString folder = m_certificates.filePath(u"certificados"_s);
        qputenv("FISCORA_CERTIFICADOS", folder.toUtf8());
        QVERIFY(CertificateStore(folder).importFile(certificateFixture(u"contador.cer"_s)).ok());
    }
    void init() { setUpScene(); }
    void cleanup() {
        deleteTopLevelWindows();
        m_services.reset();
        m_folder.reset();
        m_server.reset();
    }

    // What the window lists from the export; then a run while the server is unreachable fails
    // for the three that can go, and sending the failed ones again sends each with its own key and
    // GIAs, listed with their protocols.
    void windowListsSendsAndSendsTheFailedAgain() {
        TestMessageBox boxes;
        TestCertificateChooser chooser;
        Session session;
        auto* window = new frmLote(session, m_services());
        window->show();
        QApplication::setActiveWindow(window);
        QVERIFY(QTest::qWaitForWindowActive(window));
        // The path may be typed (or pasted): Return opens it.
        auto* origin = child<QLineEdit>(window, u"txtOrigem"_s);
        origin->setFocus();
        QTest::keyClicks(origin, m_export);
        QTest::keyClick(origin, Qt::Key_Return);
        // The file is read and the lists asked for while the window, inert, waits.
        QVERIFY(!window->isEnabled() && window->items().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(!window->preparing(), 20000);
        QVERIFY(window->isEnabled());
        const QList<BatchItem>& items = window->items();
        QCOMPARE(items.size(), 4);
        QCOMPARE(items.at(0).taxpayer.IE, kA.ie);
        QCOMPARE(items.at(0).gias.at(0).note, BatchGia::Note::YearNotAccepted);
        QVERIFY(!items.at(0).canTick(0) && items.at(0).gias.at(1).ticked);
        QCOMPARE(items.at(1).taxpayer.IE, kC.ie);
        QCOMPARE(items.at(1).gias.at(0).note, BatchGia::Note::AlreadyListed);
        QVERIFY(!items.at(1).gias.at(0).ticked && items.at(1).gias.at(1).ticked);
        QCOMPARE(items.at(3).readiness, BatchItem::Readiness::KeyRefused);
        QVERIFY(child<QListWidget>(window, u"lstNaoCadastradas"_s)->item(0)->text().startsWith(kE));

        // The current taxpayer's transmissions are listed again after a run that sent for it only.
        const auto makeCurrent = [&session](const Taxpayer& t) {
            session.selectTaxpayer(t.RazaoSocial, t.IE, t.Chave);
        };
        QSignalSpy listAgain(window, &frmLote::transmissionsChanged);
        makeCurrent(items.at(3).taxpayer);
        m_folder->setServer(m_server->host(), 8079);
        chooser.queueChoice(u"11144477735"_s);
        window->send();
        QTRY_VERIFY_WITH_TIMEOUT(!window->sending(), 20000);
        QCOMPARE(listAgain.count(), 0);
        for (const int i : {0, 1, 2})
            QCOMPARE(items.at(i).result, BatchItem::Outcome::Failed);
        QCOMPARE(items.at(3).result, BatchItem::Outcome::NotSent);
        QVERIFY(child<QLabel>(window, u"lblResumo"_s)->text().contains(u"Com falha: 3"_s));
        QVERIFY(uploads().isEmpty());

        m_folder->setServer(m_server->host(), m_server->port());
        makeCurrent(items.at(0).taxpayer);
        chooser.queueChoice(u"11144477735"_s);
        window->sendFailedAgain();
        QTRY_VERIFY_WITH_TIMEOUT(!window->sending(), 20000);
        QCOMPARE(listAgain.count(), 1);
        const QStringList sent = uploads();
        QCOMPARE(sent.size(), 3);
        for (const int i : {0, 1, 2}) {
            const BatchItem& item = items.at(i);
            QCOMPARE(item.result, BatchItem::Outcome::Listed);
            QCOMPARE(item.protocols.size(), 1);
            const QString gias = item.gias.last().row.number;
            QVERIFY2(sent.filter(u"chave="_s + item.taxpayer.Chave + u"&contador=111.444.777-35&gias="_s +
                                 gias + u" 200"_s)
                             .size() == 1,
                     qPrintable(sent.join(u'\n')));
        }
        // The totals are the whole batch's, not the second round's: D was never sent.
        QCOMPARE(child<QLabel>(window, u"lblResumo"_s)->text(),
                 u"Enviadas e listadas: 3 · Já transmitidas: 0 · Recusadas: 0 · Com falha: 0 · Sem "
                 "confirmação: 0 · Não enviadas: 1"_s);
        // Each attempt has its journal row: three failed, three confirmed.
        QCOMPARE(m_services.journal().findTransmissions()->size(), 6);
        JournalFilter failed;
        failed.outcome = TransmissionOutcome::Failed;
        QCOMPARE(m_services.journal().findTransmissions(failed)->size(), 3);

        const QString folder = QDir(buildProgramFolder()).filePath(u"../telas"_s);
        QDir().mkpath(folder);
        QVERIFY(window->grab().save(QDir(folder).filePath(u"frmLote.png"_s)));
    }

    // The references the server lists among those given, once each, with every protocol it gives.
    void listedReferences_data() {
        QTest::addColumn<QStringList>("given");
        QTest::addColumn<QStringList>("expected"); // "reference=protocols"
        QTest::newRow("none listed") << QStringList{u"05/2025"_s} << QStringList{};
        QTest::newRow("blanks, order given, once each")
            << QStringList{u" 02/2025"_s, u"01/2025"_s, u"02/2025 "_s}
            << QStringList{u"02/2025=2025000003,2025000009"_s, u"01/2025=2025000002"_s};
    }
    void listedReferences() {
        QFETCH(QStringList, given);
        QFETCH(QStringList, expected);
        const QList<ListedTransmission> list{{u"01/2025 "_s, u"2025000002"_s},
                                             {u"02/2025"_s, u"2025000003"_s},
                                             {u"03/2025"_s, u"2025000004"_s},
                                             {u" 02/2025"_s, u"2025000009 "_s}};
        QStringList found;
        for (const ListedReference& item : fiscora::listedReferences(list, given))
            found.append(item.reference + u'=' + item.protocols.join(u','));
        QCOMPARE(found, expected);
    }

    // The GIA window and the batch take a reference when the server's list names its year.
    void acceptedYear_data() {
        QTest::addColumn<QString>("reference");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("a year the list names") << u"02/2026"_s << true;
        QTest::newRow("another year") << u"11/2024"_s << false;
        QTest::newRow("no reference") << QString() << false;
    }
    void acceptedYear() {
        QFETCH(QString, reference);
        QFETCH(bool, accepted);
        QCOMPARE(acceptsYear(u"2025,2026"_s, reference), accepted);
    }

    // Once the batch has sent them, the GIAs the server lists are unticked and marked as at the
    // first listing, so Return cannot send them again; ticking one back asks first, No by default.
    void sentGiasAreNotSentTwice() {
        TestMessageBox boxes;
        TestCertificateChooser chooser;
        Session session;
        auto* window = new frmLote(session, m_services());
        window->show();
        window->openSource(m_export);
        QTRY_VERIFY_WITH_TIMEOUT(!window->preparing(), 20000);
        chooser.queueChoice(u"11144477735"_s);
        window->send();
        QTRY_VERIFY_WITH_TIMEOUT(!window->sending(), 20000);
        QCOMPARE(uploads().size(), 3);
        const QList<BatchItem>& items = window->items();
        for (const int i : {0, 1, 2}) {
            QCOMPARE(items.at(i).result, BatchItem::Outcome::Listed);
            QVERIFY(items.at(i).tickedGias().isEmpty());
            QCOMPARE(items.at(i).gias.last().note, BatchGia::Note::AlreadyListed);
        }
        auto* enviar = child<QPushButton>(window, u"cmdEnviar"_s);
        QVERIFY(!enviar->isEnabled());

        // C's 03/2025, listed before the batch, ticked again by hand.
        QTreeWidgetItem* listed = child<QTreeWidget>(window, u"GridLote"_s)->topLevelItem(1)->child(0);
        QCOMPARE(listed->text(4), u"já transmitida (protocolo 2025000001)"_s);
        listed->setCheckState(0, Qt::Checked);
        QVERIFY(enviar->isEnabled());
        boxes.clear();
        window->send();
        QCOMPARE(boxes.shown().size(), 1);
        const MessageRequest& asked = boxes.shown().first();
        QCOMPARE(asked.buttons, MessageButtons::YesNo);
        QCOMPARE(asked.defaultAnswer, std::optional(MessageAnswer::No));
        QVERIFY2(asked.text.contains(u"03/2025: protocolo 2025000001"_s) &&
                     asked.text.contains(u"substitutiva"_s),
                 qPrintable(asked.text));
        QVERIFY(!window->sending());
        QCOMPARE(uploads().size(), 3);

        boxes.queueAnswer(MessageAnswer::Yes);
        chooser.queueChoice(u"11144477735"_s);
        window->send();
        QTRY_VERIFY_WITH_TIMEOUT(!window->sending(), 20000);
        QCOMPARE(uploads().size(), 4);
        QCOMPARE(items.at(1).result, BatchItem::Outcome::Listed);
        // A and B, whose GIAs the server lists, were not sent: already sent, not failures.
        QCOMPARE(child<QLabel>(window, u"lblResumo"_s)->text(),
                 u"Enviadas e listadas: 1 · Já transmitidas: 2 · Recusadas: 0 · Com falha: 0 · Sem "
                 "confirmação: 0 · Não enviadas: 1"_s);
        const QString stateB = child<QTreeWidget>(window, u"GridLote"_s)->topLevelItem(2)->text(4);
        QVERIFY2(stateB.startsWith(u"Nada a enviar: o servidor já lista 02/2025 (protocolo "_s),
                 qPrintable(stateB));
    }

    // The program ends while the batch waits for the server: the rows of the uploads under way
    // (the three ready companies, sent together) are completed as interrupted, not left without
    // an outcome.
    void quittingMidBatchCompletesTheRunningRow() {
        TestCertificateChooser chooser;
        Session session;
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress(m_server->host()), 8079));
        auto* window = new frmLote(session, m_services());
        window->show();
        window->openSource(m_export);
        QTRY_VERIFY_WITH_TIMEOUT(!window->preparing(), 20000);
        m_folder->setServer(m_server->host(), silent.serverPort());
        chooser.queueChoice(u"11144477735"_s);
        window->send();
        QTRY_COMPARE_WITH_TIMEOUT(m_services.journal().findTransmissions()->size(), 3, 20000);
        // As the program quits: exit(), which asks no window whether it may close.
        QTimer::singleShot(0, QCoreApplication::instance(), [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
        const QList<JournalEntry> rows = *m_services.journal().findTransmissions();
        QCOMPARE(rows.size(), 3);
        for (const JournalEntry& row : rows) {
            QVERIFY(row.outcome != TransmissionOutcome::Sending);
            QVERIFY2(row.detail.contains(u"interrompido"_s), qPrintable(row.detail));
        }
    }

    // A folder of PGDAS documents: the matched ones listed by taxpayer with their references, the
    // others apart with why; a reference the server lists is unticked and, ticked back, asks
    // first. Then one upload per document, as the PGDAS window sends it, each with its journal
    // row; the refused one tells the server's refusal.
    void pgdasFolderInTheWindow() {
        setUpPgdasScene();
        TestMessageBox boxes;
        TestCertificateChooser chooser;
        TestFileChooser files;
        Session session;
        auto* window = new frmLote(session, m_services());
        window->show();
        files.queuePath(m_pgdas);
        QTest::mouseClick(child<QPushButton>(window, u"cmdPgdas"_s), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!window->preparing() && window->isEnabled(), 20000);
        const QList<BatchItem>& items = window->items();
        QStringList listed;
        for (const BatchItem& item : items)
            listed.append(QFileInfo(item.chosenPath).fileName() + u' ' + item.taxpayer.IE + u' ' +
                          item.gias.first().row.reference + u' ' + batchNoteText(item.gias.first().note));
        QCOMPARE(listed, (QStringList{u"extrato 11.222.333-0001-81.pdf "_s + kQ.ie + u" 11/2026 "_s,
                                      u"novembro.pdf "_s + kP.ie + u" 11/2026 "_s,
                                      u"outubro.pdf "_s + kP.ie + u" 10/2026 já transmitida"_s}));
        QVERIFY(!items.at(2).gias.first().ticked);
        QStringList apart;
        for (const PgdasMatch& match : window->setApart())
            apart.append(setApartText(match));
        QCOMPARE(apart.size(), 3);
        QVERIFY2(apart.at(0).startsWith(u"dois.pdf: O arquivo corresponde a mais de um contribuinte"_s) &&
                     apart.at(1).startsWith(u"geral.pdf: O contribuinte "_s + kC.ie) &&
                     apart.at(1).endsWith(u"não é optante do Simples Nacional."_s) &&
                     apart.at(2) == u"sem-cadastro.pdf: Nenhum contribuinte cadastrado com o CNPJ "
                                    "11.444.777/0001-61."_s,
                 qPrintable(apart.join(u'\n')));
        QCOMPARE(child<QListWidget>(window, u"lstSeparados"_s)->count(), 3);

        QTreeWidgetItem* october = child<QTreeWidget>(window, u"GridLote"_s)->topLevelItem(2)->child(0);
        october->setCheckState(0, Qt::Checked);
        window->send();
        QCOMPARE(boxes.shown().size(), 1);
        QCOMPARE(boxes.shown().first().defaultAnswer, std::optional(MessageAnswer::No));
        QVERIFY2(boxes.shown().first().text.contains(u"10/2026: protocolo 2026000001"_s) &&
                     boxes.shown().first().text.contains(u"retificadora do PGDAS"_s),
                 qPrintable(boxes.shown().first().text));
        QVERIFY(!window->sending() && uploads().isEmpty());

        october->setCheckState(0, Qt::Unchecked);
        chooser.queueChoice(u"11144477735"_s);
        window->send();
        QTRY_VERIFY_WITH_TIMEOUT(!window->sending(), 20000);
        QCOMPARE(items.at(0).result, BatchItem::Outcome::Refused);
        QCOMPARE(items.at(0).detail, pgdasRefusals().at(0).message);
        QCOMPARE(items.at(1).result, BatchItem::Outcome::Listed);
        QCOMPARE(items.at(1).protocols.size(), 1);
        QVERIFY(items.at(2).skipped());
        const QStringList sent = uploads();
        QCOMPARE(sent.size(), 2);
        for (const QString& upload : sent)
            QVERIFY2(upload.startsWith(u"POST /client/xt_upload_simples.php?"_s) &&
                         !upload.contains(u"gias=1"_s),
                     qPrintable(upload));
        const QList<JournalEntry> rows = *m_services.journal().findTransmissions();
        QCOMPARE(rows.size(), 2);
        for (const JournalEntry& row : rows)
            QVERIFY(row.kind == TransmissionKind::Pgdas && row.gias.isEmpty());
        QCOMPARE(child<QLabel>(window, u"lblResumo"_s)->text(),
                 u"Enviadas e listadas: 1 · Já transmitidas: 1 · Recusadas: 1 · Com falha: 0 · Sem "
                 "confirmação: 0 · Não enviadas: 0"_s);
    }

    // The same folder unattended: the listed reference is not sent (nobody can be asked), the
    // documents set apart close the output, and the run does not end as done.
    void pgdasFolderOnTheCommandLine() {
        setUpPgdasScene();
        QStringList lines;
        QString errors;
        QCOMPARE(transmit({u"--pgdas"_s, m_pgdas, u"--certificado"_s, certificateFixture(u"contador.pfx"_s)},
                          &lines, &errors),
                 1);
        const QStringList expected{
            kQ.ie + u"\tHorizonte Digital Ltda\tRecusada\textrato 11.222.333-0001-81.pdf: "_s +
                pgdasRefusals().at(0).message,
            kP.ie +
                u"\tPadaria Estrela do Vale Ltda ME\tEnviada e listada\tnovembro.pdf: 11/2026: protocolo "_s,
            kP.ie + u"\tPadaria Estrela do Vale Ltda ME\tNada a enviar\toutubro.pdf: o servidor já lista "
                    u"10/2026 (protocolo "
                    "2026000001)"_s,
            u"\t\tArquivo separado\tdois.pdf: "_s,
            kC.ie + u"\tDistribuidora Campo Alto Ltda\tArquivo separado\tgeral.pdf: "_s,
            u"\t\tArquivo separado\tsem-cadastro.pdf: "_s};
        QCOMPARE(lines.size(), expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i)
            QVERIFY2(lines.at(i).startsWith(expected.at(i)), qPrintable(lines.join(u'\n') + u'\n' + errors));
        QCOMPARE(uploads().size(), 2);
    }

    // One line per taxpayer and the exit code: 0 only when everything asked for was sent and
    // listed; wrong arguments are 2.
    void commandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("expected"); // the start of each line, IE and result
        QTest::addColumn<int>("uploads");          // what the server received
        const QString pfx = certificateFixture(u"contador.pfx"_s);
        QTest::newRow("two taxpayers, IE with and without points")
            << QStringList{u"--ie"_s, u"110042490114"_s, u"--ie"_s, kB.ie, u"--certificado"_s, pfx}
            << u"1234"_s << 0
            << QStringList{kA.ie +
                               u"\tComercial Ribeirão Verde Ltda\tEnviada e listada\t01/2025: protocolo "_s,
                           kB.ie +
                               u"\tMetalúrgica Serra d'Água Ltda\tEnviada e listada\t02/2025: protocolo "_s}
            << 2;
        QTest::newRow("the whole export, a public certificate")
            << QStringList{u"--certificado"_s, certificateFixture(u"contador.cer"_s)} << QString() << 1
            << QStringList{kA.ie + u"\t"_s, kC.ie + u"\t"_s, kB.ie + u"\t"_s,
                           kD.ie +
                               u"\tPadaria Estrela do Vale Ltda ME\tNão enviada\tO servidor recusou a chave"_s,
                           kE + u"\t"_s}
            << 3;
        QTest::newRow("a certificate not the accountant's")
            << QStringList{u"--ie"_s,          kA.ie,
                           u"--ie"_s,          kB.ie,
                           u"--certificado"_s, certificateFixture(u"terceiro.pfx"_s)}
            << u"1234"_s << 1
            << QStringList{kA.ie + u"\tComercial Ribeirão Verde Ltda\tNão enviada\tO certificado escolhido "
                                   u"não é do contador"_s,
                           kB.ie + u"\tMetalúrgica Serra d'Água Ltda\tNão enviada\tO certificado escolhido "
                                   u"não é do contador"_s}
            << 0;
        QTest::newRow("wrong password")
            << QStringList{u"--certificado"_s, pfx} << u"4321"_s << 1 << QStringList{} << 0;
        QTest::newRow("no certificate")
            << QStringList{u"--ie"_s, kA.ie} << u"1234"_s << 2 << QStringList{} << 0;
    }

    // A rerun sends nothing and still succeeds, and first tells of an upload an earlier run left
    // without an outcome, as the start-up box would; --reenviar sends the listed references again,
    // and one that could not go is not taken for nothing to send.
    void commandLineRerun() {
        const QStringList arguments{u"--ie"_s, kA.ie, u"--certificado"_s,
                                    certificateFixture(u"contador.pfx"_s)};
        QStringList lines;
        QCOMPARE(transmit(arguments, &lines), 0);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().contains(u"\tEnviada e listada\t01/2025: protocolo "_s),
                 qPrintable(lines.first()));
        const QString protocol = lines.first().section(u"protocolo "_s, 1);

        JournalEntry left;
        left.ie = kA.ie;
        left.companyName = kA.razao;
        left.kind = TransmissionKind::Pgdas;
        left.fileName = u"documento.pdf"_s;
        QVERIFY(m_services.journal().startTransmission(left));
        const QString when = journalDateText(m_services.journal().findTransmissions()->first().localTime);
        QString errors;
        QCOMPARE(transmit(arguments, &lines, &errors), 0);
        QCOMPARE(errors,
                 u"1 envio sem confirmação do servidor: não se sabe se chegou ao servidor. Confira a "
                 "lista de transmissões do contribuinte antes de enviar de novo; os detalhes estão em "
                 "Contribuinte > Envios realizados.\n\n• "_s +
                     kA.ie + u" - Comercial Ribeirão Verde Ltda: PGDAS documento.pdf, "_s + when +
                     u" (Enviando (sem conclusão))\n"_s);
        QCOMPARE(lines,
                 QStringList{kA.ie +
                             u"\tComercial Ribeirão Verde Ltda\tNada a enviar\to servidor já lista 01/2025 "
                             "(protocolo "_s +
                             protocol + u"); ano não aceito pelo servidor (2025,2026): 11/2024"_s});
        QCOMPARE(uploads().size(), 1);

        QCOMPARE(transmit(arguments + QStringList{u"--reenviar"_s}, &lines), 0);
        QVERIFY2(lines.size() == 1 && lines.first().contains(u"\tEnviada e listada\t01/2025: protocolo "_s) &&
                     !lines.first().endsWith(protocol),
                 qPrintable(lines.join(u'\n')));
        QCOMPARE(uploads().size(), 2);

        QCOMPARE(transmit({u"--ie"_s, kA.ie, u"--certificado"_s, certificateFixture(u"terceiro.pfx"_s),
                           u"--reenviar"_s},
                          &lines),
                 1);
        QVERIFY2(lines.size() == 1 &&
                     lines.first().contains(u"\tNão enviada\tO certificado escolhido não é do contador"_s),
                 qPrintable(lines.join(u'\n')));
    }

    void commandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, password);
        QFETCH(int, exitCode);
        QFETCH(QStringList, expected);
        QFETCH(int, uploads);
        QStringList lines;
        QString errors;
        QCOMPARE(transmit(arguments, &lines, &errors, password), exitCode);
        QCOMPARE(lines.size(), expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i)
            QVERIFY2(lines.at(i).startsWith(expected.at(i)), qPrintable(lines.join(u'\n') + u'\n' + errors));
        QCOMPARE(this->uploads().size(), uploads);
        if (password == u"4321"_s)
            QVERIFY(errors.contains(u"não confere"_s));
    }

    // After an upload the taxpayer's list settles it: listed only when the list confirms the
    // upload's own row. An older upload of the taxpayer's other GIA, which no list had confirmed
    // yet and which this list confirms, lends the upload none of its protocols.
    void settleAfterTheUpload_data() {
        QTest::addColumn<bool>("damaged"); // the database sent cannot be read: the server refuses it
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QStringList>("listed"); // the references of the item's protocols
        QTest::newRow("refused") << true << int(BatchItem::Outcome::Refused)
                                 << u"O servidor respondeu: BANCO_ILEGIVEL"_s << QStringList{};
        QTest::newRow("listed") << false << int(BatchItem::Outcome::Listed) << QString()
                                << QStringList{u"03/2025"_s};
    }
    void settleAfterTheUpload() {
        QFETCH(bool, damaged);
        QFETCH(int, result);
        QFETCH(QString, detail);
        QFETCH(QStringList, listed);
        std::optional<Result<BatchSource>> opened;
        BatchSource::open(sharedSeams().folder, m_services().reader, m_export, m_files.path(), this,
                          [&opened](const Result<BatchSource>& source) { opened = source; });
        QTRY_VERIFY_WITH_TIMEOUT(opened.has_value(), 30000);
        QVERIFY(*opened);
        QList<BatchItem> items = (*opened)->items;
        items.removeIf([](const BatchItem& i) { return i.taxpayer.IE != kC.ie; });
        QCOMPARE(items.size(), 1);
        BatchPreparation preparation(m_services().http, m_services.journal());
        QSignalSpy prepared(&preparation, &BatchPreparation::finished);
        preparation.start(&items);
        QVERIFY(prepared.wait(30000));
        BatchItem& item = items[0];
        QCOMPARE(item.tickedGias().size(), 1); // 04/2025; the server lists 03/2025

        TransmissionOrder order;
        order.ie = kC.ie;
        order.companyName = kC.razao;
        order.chave = kC.chave;
        order.accountantDocument = u"111.444.777-35"_s;
        order.gias = item.tickedGias();
        order.databasePath = order.chosenPath = m_export;
        order.fileName = QFileInfo(m_export).fileName();
        Transmission older(m_services.journal(), TransmissionLimits{}, sharedSeams().folder);
        QSignalSpy answered(&older, &Transmission::answered);
        QVERIFY(!older.start(order));
        QVERIFY(answered.wait(30000));

        // 03/2025 goes again, as with --reenviar.
        for (BatchGia& gia : item.gias)
            gia.ticked = gia.row.reference == u"03/2025"_s;
        if (damaged) {
            item.databasePath = m_files.filePath(u"ilegivel.mdb"_s);
            QFile file(item.databasePath);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(4096, 'Z')) == 4096);
        }
        BatchRun run(m_services().http, m_services.journal(), TransmissionLimits{});
        QSignalSpy finished(&run, &BatchRun::finished);
        run.start(&items, {0}, fixtureCertificate(u"contador"_s), u"111.444.777-35"_s);
        QVERIFY(finished.wait(30000));
        QVERIFY2(int(item.result) == result, qPrintable(item.detail + protocolsText(item.protocols)));
        QCOMPARE(item.detail, detail);
        QStringList references;
        for (const ListedTransmission& protocol : item.protocols)
            references.append(protocol.reference);
        QCOMPARE(references, listed);
        // The same list confirmed the older upload.
        const QList<JournalEntry> rows = m_services.journal().findTransmissions().valueOr({});
        QVERIFY(std::any_of(rows.cbegin(), rows.cend(), [&](const JournalEntry& e) {
            return e.id == older.journalId() && !e.protocols.isEmpty();
        }));
    }

    // An outcome the journal does not keep is named, and the run does not end as if it were.
    void commandLineNamesAnOutcomeNotRecorded() {
        {
            LocalDatabase db;
            QVERIFY(db.open(fiscora::test::sharedSeams().folder));
            QVERIFY(db.exec(u"CREATE TRIGGER recusa BEFORE UPDATE OF Situacao ON tblEnvios "
                            "BEGIN SELECT RAISE(ABORT, 'recusado'); END"_s));
        }
        QStringList lines;
        QString errors;
        QCOMPARE(transmit({u"--ie"_s, kB.ie, u"--certificado"_s, certificateFixture(u"contador.pfx"_s)},
                          &lines, &errors),
                 1);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(errors.contains(u"O resultado do envio de "_s + kB.ie +
                                 u" (Metalúrgica Serra d'Água Ltda) não foi gravado no registro de envios"_s),
                 qPrintable(errors));
        QCOMPARE(m_services.journal().findTransmissions()->first().outcome, TransmissionOutcome::Sending);
    }

    // Another program holds the journal when the answer comes: the outcome waits for it and is
    // written once the lock clears; past the limit the transmission tells why it was not.
    void outcomeWaitsForTheJournal_data() {
        QTest::addColumn<int>("limitMs");
        QTest::addColumn<TransmissionOutcome>("atEvent");
        QTest::newRow("lock clears") << 30000 << TransmissionOutcome::Answered;
        QTest::newRow("lock held past the limit") << 1000 << TransmissionOutcome::Sending;
    }

    void outcomeWaitsForTheJournal() {
        QFETCH(int, limitMs);
        QFETCH(TransmissionOutcome, atEvent);
        QTcpServer server;
        // The settings' port holds at most 32767.
        for (quint16 port = 20000; !server.isListening() && port < 32000; port += 7)
            server.listen(QHostAddress(m_server->host()), port);
        m_folder->setServer(m_server->host(), server.serverPort());
        QTcpSocket* socket = nullptr;
        QByteArray request;
        connect(&server, &QTcpServer::newConnection, this, [&] {
            socket = server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, this, [&] { request += socket->readAll(); });
        });
        const QString document = m_files.filePath(u"documento.pdf"_s);
        QFile file(document);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("%PDF-1.4\n") > 0);
        file.close();
        const TransmissionOrder order = pgdasOrder(document);
        TransmissionJournal limited(m_folder->file(u"fiscora.mdb"_s), sharedSeams().clock, {250, limitMs});
        Transmission transmission(limited, TransmissionLimits{}, sharedSeams().folder);
        TransmissionOutcome recorded = TransmissionOutcome::Unknown;
        connect(&transmission, &Transmission::answered, this,
                [this, &recorded] { recorded = m_services.journal().findTransmissions()->first().outcome; });
        QSignalSpy answered(&transmission, &Transmission::answered);
        QVERIFY(!transmission.start(order));
        const auto whole = [&request] {
            const qsizetype end = request.indexOf("\r\n\r\n");
            const qsizetype at = request.indexOf("Content-Length: ");
            return end > 0 && at > 0 &&
                   request.size() >=
                       end + 4 + request.mid(at + 16, request.indexOf('\r', at) - at - 16).toLongLong();
        };
        QTRY_VERIFY2(whole(), request.right(200).constData());

        // A second connection, of another process, holds the write lock for 7 s.
        const QString path = m_folder->file(u"fiscora.mdb"_s);
        QProcess holder;
        holder.start(u"bash"_s,
                     {u"-c"_s,
                      u"(echo \"BEGIN IMMEDIATE; INSERT INTO tblUltimaLista VALUES ('x', '', '');\"; "
                      "sleep 7; echo 'ROLLBACK;') | sqlite3 -bail \"$1\""_s,
                      u"bash"_s, path});
        QTRY_VERIFY(QFileInfo(path + u"-journal"_s).size() > 0);
        socket->write("HTTP/1.0 200 OK\r\n\r\nOK\n");
        socket->disconnectFromHost();
        // Meanwhile the window thread goes on: no try waits on it for seconds.
        QElapsedTimer since;
        qint64 longest = 0;
        QTimer ticks;
        ticks.setInterval(10);
        connect(&ticks, &QTimer::timeout, this, [&] { longest = qMax(longest, since.restart()); });
        since.start();
        ticks.start();

        QTRY_COMPARE_WITH_TIMEOUT(answered.count(), 1, 20000);
        QVERIFY2(longest < 1000, qPrintable(QString::number(longest)));
        QCOMPARE(recorded, atEvent);
        if (atEvent == TransmissionOutcome::Sending) {
            QVERIFY(transmission.journalError());
            QVERIFY2(transmission.journalError()->description.startsWith(
                         u"Falha no banco de dados "_s + path + u": o arquivo continuou em uso"_s),
                     qPrintable(transmission.journalError()->description));
        } else {
            QVERIFY(!transmission.journalError());
        }
        QTRY_COMPARE_WITH_TIMEOUT(holder.state(), QProcess::NotRunning, 20000);
    }

    // A dozen companies go three at a time as they go one at a time: the same lines in the same
    // order (the protocols aside), one journal row each with its own key and GIA, the server never
    // has more than three uploads at once, and the lists share kept connections.
    void aFewAtATime() {
        QList<SeedCompany> companies;
        QRandomGenerator random(34);
        while (companies.size() < 12) {
            QString ie, cnpj;
            for (int i = 0; i < 12; ++i)
                ie.append(QChar(u'0' + random.bounded(10)));
            for (int i = 0; i < 14; ++i)
                cnpj.append(QChar(u'0' + random.bounded(10)));
            ie = ie.left(3) + u'.' + ie.mid(3, 3) + u'.' + ie.mid(6, 3) + u'.' + ie.mid(9);
            cnpj = cnpj.left(2) + u'.' + cnpj.mid(2, 3) + u'.' + cnpj.mid(5, 3) + u'/' + cnpj.mid(8, 4) +
                   u'-' + cnpj.mid(12);
            if (IEValida(ie, u"SP"_s) && CNPJValida(cnpj))
                companies.append({ie,
                                  cnpj,
                                  u"Empresa %1 Ltda"_s.arg(companies.size() + 1),
                                  u"K%1"_s.arg(companies.size() + 1, 7, 10, QLatin1Char('0')),
                                  false,
                                  {}});
        }
        QList<QByteArray> lines{G::header01()};
        for (const SeedCompany& company : companies)
            lines.append(gia(company.ie, "202501"));
        QFile text(m_files.filePath(u"doze.prf"_s));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write(G::file(lines));
        text.close();
        m_export = m_files.filePath(u"doze.mdb"_s);
        QVERIFY(test::convertGia(text.fileName(), m_export,
                                 fiscora::test::sharedSeams().folder.file(u"gia_limpa.mdb"_s))
                    .ok);

        QHash<int, QStringList> printed;
        for (const int atOnce : {1, 3}) {
            m_folder.reset();
            m_server = std::make_unique<ServerLauncher>();
            QVERIFY(m_server->start(writeSeed(*m_server, companies, {{u"anos"_s, u"2025,2026"_s}}) +
                                    QStringList{u"--espera-envio-ms"_s, u"150"_s}));
            m_folder = std::make_unique<ProgramFolderFixture>(m_server->host(), m_server->port());
            insertSeededTaxpayers(companies);
            QVERIFY(saveTestAccountant());
            QSettings(UserPreferences::filePath(), QSettings::IniFormat)
                .setValue(u"lote/simultaneos"_s, atOnce);
            QStringList out;
            QCOMPARE(transmit({u"--certificado"_s, certificateFixture(u"contador.pfx"_s)}, &out), 0);
            for (QString& line : out)
                line.remove(QRegularExpression(u"protocolo \\d+"_s));
            printed.insert(atOnce, out);
            QFile peak(m_server->dataFile(u"envios-simultaneos"_s));
            QVERIFY(peak.open(QIODevice::ReadOnly));
            const int most = peak.readAll().toInt();
            QVERIFY2(atOnce == 1 ? most == 1 : most >= 2 && most <= 3, qPrintable(QString::number(most)));
            // The lists go over kept connections: the server tells them by the client's port.
            QFile times(m_server->dataFile(u"tempos.log"_s));
            QVERIFY(times.open(QIODevice::ReadOnly));
            int calls = 0;
            QSet<QByteArray> connections;
            for (const QByteArray& line : times.readAll().split('\n')) {
                if (line.startsWith("POST /lumo/server/index.php")) {
                    ++calls;
                    connections.insert(line.split('\t').value(1));
                }
            }
            QVERIFY2(calls >= 24 && connections.size() * 3 <= calls,
                     qPrintable(u"%1 chamadas em %2 conexões"_s.arg(calls).arg(connections.size())));
            const QList<JournalEntry> rows = *m_services.journal().findTransmissions();
            QCOMPARE(rows.size(), companies.size());
            for (const SeedCompany& company : companies) {
                const auto row = std::find_if(rows.cbegin(), rows.cend(), [&company](const JournalEntry& e) {
                    return e.ie == company.ie;
                });
                QVERIFY(row != rows.cend());
                QCOMPARE(row->chave, company.chave);
                QCOMPARE(row->gias.size(), 1);
                QCOMPARE(row->gias.first().reference, u"01/2025"_s);
                QCOMPARE(row->protocols.size(), 1);
            }
        }
        QSettings(UserPreferences::filePath(), QSettings::IniFormat).remove(u"lote/simultaneos"_s);
        QCOMPARE(printed.value(3), printed.value(1));
        QCOMPARE(printed.value(1).size(), 12);
    }

    // A large upload's digest is reckoned once it has gone out. A transmission deleted at its
    // answer, as the windows delete theirs, leaves the digest to end on its own: the window thread
    // goes on meanwhile, and the row still gets the digest.
    void transmissionDeletedAtTheAnswerDoesNotWaitForItsDigest() {
        QTcpServer server;
        for (quint16 port = 20000; !server.isListening() && port < 32000; port += 7)
            server.listen(QHostAddress(m_server->host()), port);
        m_folder->setServer(m_server->host(), server.serverPort());
        QTcpSocket* socket = nullptr;
        connect(&server, &QTcpServer::newConnection, this, [&] {
            socket = server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, this, [&] { socket->readAll(); });
        });
        const QString document = m_files.filePath(u"grande.pdf"_s);
        QFile file(document);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray block(1 << 20, 'a');
        for (int i = 0; i < 100; ++i)
            QCOMPARE(file.write(block), block.size());
        file.close();
        const TransmissionOrder order = pgdasOrder(document);
        auto* transmission =
            new Transmission(m_services.journal(), TransmissionLimits{}, sharedSeams().folder);
        connect(transmission, &Transmission::sendComplete, this, [&socket] {
            socket->write("HTTP/1.0 200 OK\r\n\r\nOK\n");
            socket->disconnectFromHost();
        });
        QElapsedTimer since;
        qint64 longest = 0;
        QTimer ticks;
        ticks.setInterval(10);
        connect(&ticks, &QTimer::timeout, this, [&] { longest = qMax(longest, since.restart()); });
        bool answered = false;
        connect(transmission, &Transmission::answered, this, [&] {
            answered = true;
            since.start();
            ticks.start();
            transmission->deleteLater();
        });
        QVERIFY(!transmission->start(order));
        QTRY_VERIFY_WITH_TIMEOUT(answered, 60000);
        QTest::qWait(1500);
        QVERIFY2(longest <= 100, qPrintable(QString::number(longest)));
        QTRY_VERIFY_WITH_TIMEOUT(!m_services.journal().findTransmissions()->first().contentSha256.isEmpty(),
                                 20000);
    }
};

QTEST_MAIN(LoteTest)
#include "LoteTest.moc"
