#include "core/ProgramFolder.h"
#include "core/UserPreferences.h"
#include "data/TransmissionJournal.h"
#include "gui/frmSituacaoMes.h"
#include "support/LocalTables.h"
#include "support/ProgramFolderFixture.h"
#include "support/SeedData.h"
#include "support/ServerLauncher.h"
#include "support/TestSeams.h"
#include "support/TestServices.h"
#include "support/Widgets.h"
#include "transmission/MonthSituation.h"
#include "transmission/ReceiptKeeper.h"

#include <QCryptographicHash>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace fiscora;
using namespace fiscora::test;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(fiscora::MonthState)

namespace {

const SeedCompany kEntregue{
    u"110.042.490.114"_s,
    u"12.345.678/0001-95"_s,
    u"Comercial Ribeirão Verde Ltda"_s,
    u"RV7K2M9Q"_s,
    false,
    {{u"10/2026"_s, u"2026-11-10 09:00:00"_s, u"2026000777"_s, 1, u"1.000,00"_s, {}}}};
const SeedCompany kPendente{u"648.135.514.406"_s,
                            u"34.567.890/0001-30"_s,
                            u"Metalúrgica Serra d'Água Ltda"_s,
                            u"SA5N4W6X"_s,
                            false,
                            {}};
const SeedCompany kChave{u"648.120.377.258"_s,
                         u"23.456.789/0001-95"_s,
                         u"Padaria Estrela do Vale Ltda ME"_s,
                         u"EV3P8T1L"_s,
                         true,
                         {}};

Taxpayer taxpayerOf(const SeedCompany& company) {
    return Taxpayer{company.ie, company.razao, company.cnpj, {}, company.chave, {}, company.simples};
}

JournalEntry upload(const QString& reference, TransmissionOutcome outcome) {
    JournalEntry entry;
    entry.ie = kPendente.ie;
    entry.gias = {{u"1"_s, reference}};
    entry.outcome = outcome;
    entry.detail = u"motivo"_s;
    return entry;
}

} // namespace

class MesTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The list wins; otherwise the newest upload of the reference decides; a list that is missing
    // or refuses the key is said only when the journal has nothing.
    void states_data() {
        QTest::addColumn<int>("list");    // 0 none yet, 1 shows 10/2026, 2 does not, 3 refused key, 4 failed
        QTest::addColumn<int>("outcome"); // -1 no upload; else TransmissionOutcome
        QTest::addColumn<QString>("reference");
        QTest::addColumn<MonthState>("expected");
        using O = TransmissionOutcome;
        using S = MonthState;
        QTest::newRow("listed, a failure in the journal")
            << 1 << int(O::Failed) << u"10/2026"_s << S::Delivered;
        QTest::newRow("nothing anywhere") << 2 << -1 << u"10/2026"_s << S::Pending;
        QTest::newRow("an upload of another month") << 2 << int(O::Failed) << u"09/2026"_s << S::Pending;
        QTest::newRow("failed") << 2 << int(O::Failed) << u"10/2026"_s << S::Failed;
        QTest::newRow("refused") << 2 << int(O::Refused) << u"10/2026"_s << S::Refused;
        QTest::newRow("answered, not listed") << 2 << int(O::Answered) << u"10/2026"_s << S::Refused;
        QTest::newRow("answered, list not had")
            << 0 << int(O::Answered) << u"10/2026"_s << S::SentUnconfirmed;
        QTest::newRow("no answer") << 2 << int(O::Unknown) << u"10/2026"_s << S::SentUnconfirmed;
        QTest::newRow("left mid-upload, list failed")
            << 4 << int(O::Sending) << u"10/2026"_s << S::SentUnconfirmed;
        QTest::newRow("key refused") << 3 << -1 << u"10/2026"_s << S::KeyRefused;
        QTest::newRow("list failed") << 4 << -1 << u"10/2026"_s << S::ListUnavailable;
        QTest::newRow("not asked yet") << 0 << -1 << u"10/2026"_s << S::Pending;
    }
    void states() {
        QFETCH(int, list);
        QFETCH(int, outcome);
        QFETCH(QString, reference);
        QFETCH(MonthState, expected);
        TaxpayerList had;
        had.rows = {{u"09/2026"_s, u"10/10/2026"_s, u"2026000001"_s, u"1"_s, {}}};
        if (list == 1)
            had.rows.append({u"10/2026 "_s, u"10/11/2026"_s, u"2026000002"_s, u"1"_s, {}});
        had.keyRefused = list == 3;
        const Result<TaxpayerList> given = list == 4
                                               ? Result<TaxpayerList>(AppError{0, u"Teste"_s, u"sem rede"_s})
                                               : Result<TaxpayerList>(had);
        QList<JournalEntry> rows;
        if (outcome >= 0)
            rows.append(upload(reference, TransmissionOutcome(outcome)));
        const MonthRow row =
            monthRow(taxpayerOf(kPendente), u"10/2026"_s, list == 0 ? nullptr : &given, rows);
        QCOMPARE(row.state, expected);
        if (expected == MonthState::Delivered)
            QCOMPARE(row.protocol, u"2026000002"_s);
        if (expected == MonthState::ListUnavailable)
            QCOMPARE(row.detail, u"sem rede"_s);
    }

    // Over the stand-in server: the lists asked a few at a time, kept (showing again asks nothing),
    // asked again on refresh; the totals and the CSV.
    void overTheServer() {
        ServerLauncher server;
        QVERIFY(
            server.start(writeSeed(server, {kEntregue, kPendente, kChave}, {{u"anos"_s, u"2025,2026"_s}})));
        const ProgramFolderFixture folder(server.host(), server.port());
        SeedCompany wrongKey = kChave;
        wrongKey.chave = u"ERRADA00"_s;
        insertSeededTaxpayers({kEntregue, kPendente, wrongKey});
        JournalEntry failed = upload(u"10/2026"_s, TransmissionOutcome::Sending);
        TransmissionJournal journal(fiscora::test::sharedSeams().folder.file(u"fiscora.mdb"_s),
                                    sharedSeams().clock);
        const Result<qint64> id = journal.startTransmission(failed);
        QVERIFY(id);
        QVERIFY(journal.completeTransmission(*id, TransmissionOutcome::Failed, u"Conexão recusada."_s));

        const QList<Taxpayer> taxpayers{taxpayerOf(kEntregue), taxpayerOf(kPendente), taxpayerOf(wrongKey)};
        MonthSituation month(
            HttpClient(fiscora::test::sharedSeams().folder, fiscora::test::sharedSeams().gate), journal);
        QSignalSpy finished(&month, &MonthSituation::finished);
        month.show(taxpayers, u"10/2026"_s, 2);
        QVERIFY(finished.wait(20000));
        const auto states = [&month] {
            QStringList out;
            for (const MonthRow& row : month.rows())
                out.append(regimeText(row) + u' ' + monthStateText(row.state) + u' ' + row.protocol);
            return out;
        };
        QCOMPARE(states(),
                 (QStringList{u"GIA Entregue 2026000777"_s, u"GIA Falhou "_s, u"PGDAS Chave recusada "_s}));
        QCOMPARE(monthTotalsText(month.rows()), u"Entregues 1 · Falharam 1 · Chave recusada 1"_s);
        const auto lists = [&server] {
            return server.requests().filter(QRegularExpression(u"^POST /lumo/"_s)).size();
        };
        const qsizetype asked = lists();
        QCOMPARE(asked, 3);

        month.show(taxpayers, u"10/2026"_s, 2);
        QVERIFY(finished.wait(1000));
        QCOMPARE(lists(), asked);
        month.refresh();
        QVERIFY(finished.wait(20000));
        QCOMPARE(lists(), 2 * asked);

        QTemporaryDir dir;
        const QString csv = dir.filePath(u"mes.csv"_s);
        QVERIFY(exportMonthCsv(month.rows(), u"10/2026"_s, csv));
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.value(0),
                 QByteArray("\xEF\xBB\xBFRefer\xC3\xAAncia;IE;Raz\xC3\xA3o social;CNPJ;Regime;"
                            "Situa\xC3\xA7\xC3\xA3o;Protocolo;Data;Detalhe\r"));
        QCOMPARE(lines.value(1),
                 (u"10/2026;110.042.490.114;Comercial Ribeirão Verde Ltda;12.345.678/0001-95;GIA;"
                  "Entregue;2026000777;"_s +
                  month.rows().first().date + u";\r"_s)
                     .toUtf8());
    }

    // A protocol a list shows for an upload of this program gets its receipt kept as a file, its
    // path and digest in the upload's row; refused once, it is asked for again with the next list.
    void receiptsKeptAsTheListsShowThem() {
        ServerLauncher server;
        QVERIFY(server.start(writeSeed(server, {kEntregue}, {{u"anos"_s, u"2025,2026"_s}}) +
                             QStringList{u"--recusar-recibos"_s, u"1"_s}));
        if (!server.portalAvailable())
            QSKIP("port 80 of the loopback address cannot be bound here (needs root)");
        const ProgramFolderFixture folder(server.host(), server.port());
        insertSeededTaxpayers({kEntregue});
        QTemporaryDir documents;
        UserPreferences::setDocumentsFolder(documents.path());
        TransmissionJournal journal(fiscora::test::sharedSeams().folder.file(u"fiscora.mdb"_s),
                                    sharedSeams().clock);
        QVERIFY(journal.recordListedTransmissions(kEntregue.ie, {}));
        JournalEntry sent = upload(u"10/2026"_s, TransmissionOutcome::Sending);
        sent.ie = kEntregue.ie;
        const Result<qint64> id = journal.startTransmission(sent);
        QVERIFY(id && journal.completeTransmission(*id, TransmissionOutcome::Answered, u"OK"_s));

        ReceiptKeeper keeper(
            HttpClient(fiscora::test::sharedSeams().folder, fiscora::test::sharedSeams().gate), journal);
        QSignalSpy idle(&keeper, &ReceiptKeeper::idle);
        QSignalSpy failed(&keeper, &ReceiptKeeper::failed);
        MonthSituation month(
            HttpClient(fiscora::test::sharedSeams().folder, fiscora::test::sharedSeams().gate), journal);
        month.show({taxpayerOf(kEntregue)}, u"10/2026"_s, 1);
        QVERIFY(idle.wait(20000));
        QCOMPARE(failed.size(), 1);
        const auto row = [&journal, &id] {
            for (const JournalEntry& e : journal.findTransmissions().valueOr({})) {
                if (e.id == *id)
                    return e;
            }
            return JournalEntry{};
        };
        QVERIFY(row().receipts.isEmpty());

        month.refresh();
        QVERIFY(idle.wait(20000));
        const QString path = documents.path() +
                             u"/Fiscora/Recibos/110.042.490.114 - Comercial Ribeirão Verde Ltda/2026-10/"
                             "2026000777.pdf"_s;
        QCOMPARE(row().receipts.size(), 1);
        QCOMPARE(row().receipts.first().path, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(row().receipts.first().sha256,
                 QString::fromLatin1(
                     QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex()));
        // Kept: the next list asks for no page.
        const auto pages = [&server] {
            return server.requests().filter(u"protocoloDown"_s).size();
        };
        const qsizetype asked = pages();
        QCOMPARE(asked, 2);
        month.refresh();
        QTRY_VERIFY_WITH_TIMEOUT(!month.asking(), 20000);
        QTest::qWait(100);
        QCOMPARE(pages(), asked);
        UserPreferences::setDocumentsFolder(QString());
    }

    // The window: the filters and the search narrow the grid, the totals count every row, and
    // the pending GIA companies shown go to the batch.
    void window() {
        ServerLauncher server;
        QVERIFY(
            server.start(writeSeed(server, {kEntregue, kPendente, kChave}, {{u"anos"_s, u"2025,2026"_s}})));
        const ProgramFolderFixture folder(server.host(), server.port());
        insertSeededTaxpayers({kEntregue, kPendente, kChave});
        sharedSeams().clock.fix(QDateTime(QDate(2026, 11, 20), QTime(10, 0)));
        FolderServices services;
        auto* window = new frmSituacaoMes(services());
        sharedSeams().clock.fix({});
        window->show();
        QCOMPARE(child<QLineEdit>(window, u"txtReferencia"_s)->displayText(), u"10/2026"_s);
        QTRY_VERIFY_WITH_TIMEOUT(!window->situation().asking(), 20000);
        const auto shownIes = [window] {
            QStringList ies;
            for (const int i : window->shownRows())
                ies.append(window->situation().rows().at(i).taxpayer.IE);
            return ies;
        };
        QCOMPARE(shownIes(), (QStringList{kEntregue.ie, kPendente.ie, kChave.ie}));
        QCOMPARE(child<QLabel>(window, u"lblTotais"_s)->text(), u"Entregues 1 · Pendentes 2"_s);
        child<QCheckBox>(window, u"chkPendentes"_s)->setChecked(true);
        QCOMPARE(shownIes(), (QStringList{kPendente.ie, kChave.ie}));
        child<QComboBox>(window, u"cboRegime"_s)->setCurrentIndex(2);
        QCOMPARE(shownIes(), QStringList{kChave.ie});
        child<QComboBox>(window, u"cboRegime"_s)->setCurrentIndex(0);
        QTest::keyClicks(child<QLineEdit>(window, u"txtPesquisa"_s), u"serra"_s);
        QCOMPARE(shownIes(), QStringList{kPendente.ie});
        child<QLineEdit>(window, u"txtPesquisa"_s)->clear();
        QSignalSpy batch(window, &frmSituacaoMes::batchRequested);
        child<QPushButton>(window, u"cmdLote"_s)->click();
        QCOMPARE(batch.size(), 1);
        QCOMPARE(batch.first().first().toStringList(), QStringList{kPendente.ie});
        window->close();
    }
};

QTEST_MAIN(MesTest)
#include "MesTest.moc"
