#include "core/Session.h"
#include "data/TransmissionJournal.h"
#include "gui/GuiStartup.h"
#include "gui/Principal.h"
#include "gui/frmEnvios.h"
#include "support/JournalRows.h"
#include "support/LocalTables.h"
#include "support/ProgramFolderFixture.h"
#include "support/SeedData.h"
#include "support/ServerLauncher.h"
#include "support/TestFileChooser.h"
#include "support/TestMessageBox.h"
#include "support/TestPlatform.h"
#include "support/TestSeams.h"
#include "support/TestServices.h"
#include "support/TopLevelWindows.h"
#include "support/Widgets.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace fiscora;
using namespace fiscora::test;
using namespace Qt::StringLiterals;

namespace {

const QString kIE = u"110.042.490.114"_s;
const QString kName = u"Comercial Ribeirão Verde Ltda"_s;
const QString kOtherIE = u"648.120.377.258"_s;
const QDateTime kMorning(QDate(2012, 3, 14), QTime(9, 5, 7));

// Writes an upload's row at a fixed time and gives it its outcome (Sending: none).
qint64 sent(TransmissionJournal& journal, JournalEntry e, const QDateTime& when, TransmissionOutcome outcome,
            const QString& detail = {}) {
    sharedSeams().clock.fix(when);
    const qint64 id = journal.startTransmission(e).valueOr(0);
    if (outcome != TransmissionOutcome::Sending && !journal.completeTransmission(id, outcome, detail))
        qWarning("row %lld not completed", id);
    sharedSeams().clock.fix({});
    return id;
}

// The rows of a CSV file as Python's csv module reads them.
QList<QStringList> readCsv(const QString& path) {
    QProcess python;
    python.start(u"python3"_s,
                 {u"-c"_s,
                  u"import csv, json, sys\n"
                  "with open(sys.argv[1], newline='', encoding='utf-8-sig') as f:\n"
                  "    json.dump(list(csv.reader(f, delimiter=';', strict=True)), sys.stdout)\n"_s,
                  path});
    if (!python.waitForFinished(30000) || python.exitCode() != 0)
        qWarning("python3: %s", python.readAllStandardError().constData());
    QList<QStringList> rows;
    for (const QJsonValue& row : QJsonDocument::fromJson(python.readAllStandardOutput()).array()) {
        QStringList fields;
        for (const QJsonValue& field : row.toArray())
            fields.append(field.toString());
        rows.append(fields);
    }
    return rows;
}

QStringList gridColumn(frmEnvios* window, int column) {
    return fiscora::test::column(child<QTableWidget>(window, u"GridEnvios"_s), column);
}

void saveShot(QWidget* window, const QString& name) {
    QApplication::processEvents(); // the layouts catch up with the texts
    const QString dir = QDir(buildProgramFolder()).filePath(u"../screenshots"_s);
    QDir().mkpath(dir);
    QVERIFY(window->grab().save(QDir(dir).filePath(name)));
    QVERIFY(window->minimumSizeHint().width() <= window->width());
    QVERIFY(window->minimumSizeHint().height() <= window->height());
}

} // namespace

class EnviosJanelaTest final : public QObject {
    Q_OBJECT

    FolderServices services;

private Q_SLOTS:
    void cleanup() {
        deleteTopLevelWindows();
        services.reset();
        sharedSeams().clock.fix({});
    }

    // The window opens on the current taxpayer; the filters narrow what it lists; a row's
    // details name everything kept; "Exportar CSV" writes what is listed.
    void filtersDetailsAndExport() {
        ProgramFolderFixture folder;
        TestMessageBox boxes;
        TestFileChooser files;
        QVERIFY(services.journal().recordListedTransmissions(kIE, {}));
        JournalEntry tricky = upload(kIE, {u"02/2012"_s, u"03/2012"_s}, u"Padaria \"Pão; Mel\""_s);
        sent(services.journal(), tricky, kMorning, TransmissionOutcome::Answered,
             u"=HIPERLINK(\"x\")\r\nsegunda linha"_s);
        // The list shows the newest first; each protocol goes beside its own reference.
        QVERIFY(services.journal().recordListedTransmissions(
            kIE, {{u"03/2012"_s, u"2012000012"_s}, {u"02/2012"_s, u"2012000011"_s}}));
        const QString paired = u"02/2012: protocolo 2012000011; 03/2012: protocolo 2012000012"_s;
        const qint64 unknown = sent(services.journal(), upload(kIE), kMorning.addDays(2),
                                    TransmissionOutcome::Unknown, u"Sem resposta em 120 s"_s);
        sent(services.journal(), upload(kOtherIE, {}, u"Padaria Estrela do Vale Ltda ME"_s),
             kMorning.addDays(1), TransmissionOutcome::Sending);
        Session session;
        session.selectTaxpayer(kName, kIE, u"RV7K2M9Q"_s);

        auto* window = new frmEnvios(session, services.journal(), sharedSeams()());
        window->show();
        QCOMPARE(child<QComboBox>(window, u"cboContribuinte"_s)->currentData().toString(), kIE);
        QCOMPARE(gridColumn(window, frmEnvios::ColData),
                 (QStringList{u"16/03/2012 09:05:07"_s, u"14/03/2012 09:05:07"_s}));
        QCOMPARE(gridColumn(window, frmEnvios::ColReferencias),
                 (QStringList{u"09/2026"_s, u"02/2012, 03/2012"_s}));
        QCOMPARE(gridColumn(window, frmEnvios::ColProtocolos), (QStringList{QString(), paired}));
        QCOMPARE(child<QLabel>(window, u"lblTotal"_s)->text(), u"2 envios"_s);

        auto* outcome = child<QComboBox>(window, u"cboSituacao"_s);
        outcome->setCurrentIndex(outcome->findText(u"Sem confirmação do servidor"_s));
        QCOMPARE(window->shownEntries().size(), 1);
        QCOMPARE(window->shownEntries().at(0).id, unknown);
        auto* taxpayer = child<QComboBox>(window, u"cboContribuinte"_s);
        taxpayer->setCurrentIndex(0);
        QCOMPARE(gridColumn(window, frmEnvios::ColTipo), (QStringList{u"PGDAS"_s, u"GIA"_s}));
        outcome->setCurrentIndex(0);
        QCOMPARE(window->shownEntries().size(), 3);
        child<QCheckBox>(window, u"chkPeriodo"_s)->setChecked(true);
        child<QDateEdit>(window, u"dtpDe"_s)->setDate(QDate(2012, 3, 14));
        child<QDateEdit>(window, u"dtpAte"_s)->setDate(QDate(2012, 3, 15));
        QCOMPARE(gridColumn(window, frmEnvios::ColSituacao),
                 (QStringList{u"Enviando (sem conclusão)"_s, u"Respondido"_s}));

        child<QTableWidget>(window, u"GridEnvios"_s)->selectRow(1);
        const QString details = child<QPlainTextEdit>(window, u"txtDetalhes"_s)->toPlainText();
        for (const QString& part : {u"GIAs: 1 (02/2012), 2 (03/2012)"_s, u"1234567 bytes, SHA-256 9f86d081"_s,
                                    u"série 4f:1a:02"_s, u"Documento do contador: 111.444.777-35"_s,
                                    u"Situação: Respondido"_s, QString(u"Protocolos: "_s + paired)})
            QVERIFY2(details.contains(part), qPrintable(details));
        saveShot(window, u"envios.png"_s);

        QTemporaryDir out;
        files.queuePath(out.filePath(u"envios"_s));
        QTest::mouseClick(child<QPushButton>(window, u"cmdExportar"_s), Qt::LeftButton);
        QCOMPARE(files.requests().size(), 1);
        QCOMPARE(files.requests().at(0).mode, FileChooser::Mode::Save);
        const QString path = out.filePath(u"envios.csv"_s);
        QCOMPARE(boxes.texts(), QStringList{u"2 envios exportados para "_s + path + u"."_s});

        const QByteArray bytes = readBytes(path);
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"
                                 "Data e hora;"));
        QVERIFY(bytes.endsWith("\r\n"));
        QCOMPARE(bytes.count("\r\n"), 4); // header, two rows, and the line end inside the detail
        const QList<QStringList> rows = readCsv(path);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows.at(0).size(), 20);
        QCOMPARE(rows.at(0).at(3), u"Razão social"_s);
        const QStringList& row = rows.at(2);
        QCOMPARE(row.size(), 20);
        QCOMPARE(row.at(0), u"14/03/2012 09:05:07"_s);
        QCOMPARE(row.at(2), kIE);
        QCOMPARE(row.at(3), u"Padaria \"Pão; Mel\""_s);
        QCOMPARE(row.at(6), u"1, 2"_s);
        QCOMPARE(row.at(7), u"02/2012, 03/2012"_s);
        QCOMPARE(row.at(9), u"1234567"_s);
        QCOMPARE(row.at(14), u"Respondido"_s);
        // Text from the server never becomes a spreadsheet formula.
        QCOMPARE(row.at(15), u"'=HIPERLINK(\"x\")\r\nsegunda linha"_s);
        QCOMPARE(row.at(16), u"14/03/2012 09:05:07"_s);
        QCOMPARE(row.at(17), paired);
        QCOMPARE(row.at(19), u"Não"_s);
        QCOMPARE(rows.at(1).at(14), u"Enviando (sem conclusão)"_s);
        QCOMPARE(rows.at(1).at(19), u"Sim"_s);
    }

    // What is typed keeps the rows whose name, IE, references or protocols match it; the reference
    // month narrows them too; the CSV's proposed name tells the date and the filters.
    void searchAndReferenceNarrowTheRows() {
        ProgramFolderFixture folder;
        QVERIFY(services.journal().recordListedTransmissions(kIE, {}));
        const qint64 pair = sent(services.journal(), upload(kIE, {u"02/2012"_s, u"03/2012"_s}), kMorning,
                                 TransmissionOutcome::Answered);
        QVERIFY(services.journal().recordListedTransmissions(kIE, {{u"03/2012"_s, u"2012000012"_s}}));
        const qint64 september =
            sent(services.journal(), upload(kIE), kMorning.addDays(2), TransmissionOutcome::Unknown);
        const qint64 bakery =
            sent(services.journal(), upload(kOtherIE, {u"03/2012"_s}, u"Padaria Estrela do Vale Ltda ME"_s),
                 kMorning.addDays(1), TransmissionOutcome::Refused);
        Session session;
        auto* window = new frmEnvios(session, services.journal(), sharedSeams()());
        window->show();
        auto* search = child<QLineEdit>(window, u"txtPesquisa"_s);
        const auto ids = [window] {
            QList<qint64> out;
            for (const JournalEntry& e : window->shownEntries())
                out.append(e.id);
            return out;
        };
        const QList<std::pair<QString, QList<qint64>>> searches = {
            {u"110042"_s, {september, pair}}, {u"estrela VALE"_s, {bakery}}, {u"2012000012"_s, {pair}},
            {u"ribeirao 03/2012"_s, {pair}},  {u"09/2026"_s, {september}},   {u"nada disso"_s, {}}};
        for (const auto& [typed, expected] : searches) {
            search->setText(typed);
            QCOMPARE(ids(), expected);
            QCOMPARE(child<QTableWidget>(window, u"GridEnvios"_s)->rowCount(), expected.size());
        }
        search->clear();
        child<QCheckBox>(window, u"chkReferencia"_s)->setChecked(true);
        child<QDateEdit>(window, u"dtpReferencia"_s)->setDate(QDate(2012, 3, 1));
        QCOMPARE(ids(), (QList<qint64>{bakery, pair}));

        sharedSeams().clock.fix(QDateTime(QDate(2026, 12, 9), QTime(18, 0)));
        auto* outcome = child<QComboBox>(window, u"cboSituacao"_s);
        outcome->setCurrentIndex(outcome->findText(u"Recusado"_s));
        QCOMPARE(ids(), QList<qint64>{bakery});
        QCOMPARE(window->proposedCsvName(), u"envios-2026-12-09-recusado-ref-2012-03.csv"_s);
    }

    // "Abrir recibo" opens the files kept for the row's protocols that are still there, and says
    // so when there is none.
    void opensTheKeptReceipt() {
        ProgramFolderFixture folder;
        TestMessageBox boxes;
        TestPlatform platform;
        QVERIFY(services.journal().recordListedTransmissions(kIE, {}));
        const qint64 id = sent(services.journal(), upload(kIE, {u"02/2012"_s, u"03/2012"_s}), kMorning,
                               TransmissionOutcome::Answered);
        QVERIFY(services.journal().recordListedTransmissions(
            kIE, {{u"03/2012"_s, u"2012000012"_s}, {u"02/2012"_s, u"2012000011"_s}}));
        folder.writeFile(u"2012000011.pdf"_s, "%PDF-1.4");
        const QString kept = folder.file(u"2012000011.pdf"_s);
        QVERIFY(services.journal().recordReceipt(id, {u"2012000011"_s, kept, u"aa"_s}));
        QVERIFY(
            services.journal().recordReceipt(id, {u"2012000012"_s, folder.file(u"apagado.pdf"_s), u"bb"_s}));
        Session session;
        auto* window = new frmEnvios(session, services.journal(), sharedSeams()());
        window->show();
        auto* open = child<QPushButton>(window, u"cmdRecibo"_s);
        child<QTableWidget>(window, u"GridEnvios"_s)->selectRow(0);
        QVERIFY(open->isEnabled());
        open->click();
        QCOMPARE(platform.openedUrls, QStringList{QUrl::fromLocalFile(kept).toString()});
        QVERIFY(boxes.shown().isEmpty());

        QVERIFY(QFile::remove(kept));
        open->click();
        QCOMPARE(platform.openedUrls.size(), 1);
        QCOMPARE(boxes.shown().size(), 1);
        QVERIFY(boxes.texts().first().startsWith(u"Não há recibo guardado para este envio."_s));
    }

    // At 1366x768 the rows have the room: the details take a few lines until the user widens them.
    void rowsHaveTheRoom() {
        ProgramFolderFixture folder;
        for (int i = 0; i < 20; ++i)
            sent(services.journal(), upload(kIE), kMorning.addSecs(60 * i), TransmissionOutcome::Answered);
        Session session;
        auto* window = new frmEnvios(session, services.journal(), sharedSeams()());
        window->show();
        window->resize(1366, 720); // the screen less a title bar and a panel
        QVERIFY(QTest::qWaitForWindowExposed(window));
        auto* grid = child<QTableWidget>(window, u"GridEnvios"_s);
        QApplication::processEvents();
        int whole = 0;
        for (int row = 0; row < grid->rowCount(); ++row)
            whole += grid->rowViewportPosition(row) + grid->rowHeight(row) <= grid->viewport()->height();
        QVERIFY2(whole >= 15, qPrintable(QString::number(whole)));
        grid->selectRow(0);
        QVERIFY(!child<QPlainTextEdit>(window, u"txtDetalhes"_s)->toPlainText().isEmpty());
        saveShot(window, u"envios-1366x768.png"_s);
    }

    // The main window tells how many of the current taxpayer's uploads have no confirmed outcome;
    // a list that shows one of them closes it with its protocol. At start the same uploads are
    // listed in a box.
    void unconfirmedNoticeAndStartupReport() {
        ServerLauncher server;
        const SeedCompany company{
            kIE,
            u"12.345.678/0001-95"_s,
            kName,
            u"RV7K2M9Q"_s,
            false,
            {{u"01/2012"_s, u"2012-02-10 09:00:00"_s, u"2012000001"_s, 1, u"1,00"_s, {}},
             {u"02/2012"_s, u"2012-03-14 09:05:09"_s, u"2012000002"_s, 1, u"2,00"_s, {}}}};
        QVERIFY2(server.start(writeSeed(server, {company},
                                        {{u"anos"_s, u"2011,2012"_s},
                                         {u"dataServidor"_s, u"14/03/2012 10:22:33"_s},
                                         {u"versao"_s, u"1.15.01"_s}})),
                 qPrintable(server.errorString()));
        ProgramFolderFixture folder(server.host(), server.port());
        insertSeededTaxpayers({company});
        TestMessageBox boxes;
        TestPlatform platform;
        // What the list showed before the uploads, then one sent without an answer and one that
        // never ended.
        QVERIFY(services.journal().recordListedTransmissions(kIE, {{u"01/2012"_s, u"2012000001"_s}}));
        const qint64 unanswered = sent(services.journal(), upload(kIE, {u"02/2012"_s}), kMorning,
                                       TransmissionOutcome::Unknown, u"Sem resposta"_s);
        sent(services.journal(), upload(kIE, {u"03/2012"_s}), kMorning.addSecs(60),
             TransmissionOutcome::Sending);

        Session session;
        MainWindowHost host(session, services());
        host.show();
        auto* main = topLevelWindow<Principal>();
        QVERIFY(main);
        QTRY_COMPARE(boxes.shown().size(), 1);
        QCOMPARE(boxes.shown().at(0).icon, MessageIcon::Warning);
        QCOMPARE(
            boxes.shown().at(0).text,
            u"2 envios sem confirmação do servidor: não se sabe se chegaram ao servidor. Confira a lista de "
            "transmissões do contribuinte antes de enviar de novo; os detalhes estão em Contribuinte > "
            "Envios "
            "realizados.\n\n"
            "• 110.042.490.114 - Comercial Ribeirão Verde Ltda: GIA 03/2012, 14/03/2012 09:06:07 (Enviando "
            "(sem conclusão))\n"
            "• 110.042.490.114 - Comercial Ribeirão Verde Ltda: GIA 02/2012, 14/03/2012 09:05:07 (Resultado "
            "desconhecido)"_s);

        auto* notice = child<QLabel>(main, u"lblEnviosSemConfirmacao"_s);
        session.selectTaxpayer(kName, kIE, u"RV7K2M9Q"_s);
        QVERIFY(notice->isVisible());
        QCOMPARE(notice->text(), u"2 envios sem confirmação do servidor"_s);
        main->RecebeDadosServer();
        QTRY_VERIFY(!main->waitingForServer());
        QCOMPARE(boxes.shown().size(), 1);
        QCOMPARE(notice->text(), u"1 envio sem confirmação do servidor"_s);
        JournalFilter mine;
        mine.ie = kIE;
        const QList<JournalEntry> rows = services.journal().findTransmissions(mine).valueOr({});
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(1).id, unanswered);
        QCOMPARE(rows.at(1).protocols, (QList<ListedTransmission>{{u"02/2012"_s, u"2012000002"_s}}));
        saveShot(main, u"principal-envios.png"_s);

        session.selectTaxpayer(u"Outra"_s, kOtherIE, u"EV3P8T1L"_s);
        QVERIFY(!notice->isVisible());
        // The menu opens the window on the current taxpayer.
        child<QAction>(main, u"mnEnvios"_s)->trigger();
        auto* window = topLevelWindow<frmEnvios>(true);
        QVERIFY(window);
        QCOMPARE(child<QComboBox>(window, u"cboContribuinte"_s)->currentData().toString(), kOtherIE);
        QVERIFY(window->shownEntries().isEmpty());
    }
};

QTEST_MAIN(EnviosJanelaTest)
#include "EnviosJanelaTest.moc"
