#include "core/ServerDate.h"
#include "data/AccountantTable.h"
#include "data/LocalDatabase.h"
#include "data/LocalSchema.h"
#include "data/TaxpayerTable.h"
#include "data/TransmissionJournal.h"
#include "net/ContentDigest.h"
#include "support/JournalRows.h"
#include "support/ProgramFolderFixture.h"
#include "support/TestSeams.h"
#include "transmission/Batch.h"
#include "transmission/Transmission.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

using namespace fiscora;
using namespace fiscora::test;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(fiscora::TransmissionOutcome)

namespace {

const QString kIE = u"110.042.490.114"_s;

// Runs SQL on a file with the sqlite3 program, as another tool (or an older release) would.
bool sqlite(const QString& path, const QByteArray& sql) {
    QProcess process;
    process.start(u"sqlite3"_s, {u"-bail"_s, path});
    process.write(sql);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        qWarning("sqlite3: %s", process.readAllStandardError().constData());
        return false;
    }
    return true;
}

// fiscora.mdb as every release before the journal left it, holding an accountant and two
// taxpayers (one name with an apostrophe, one Simples Nacional company).
void writeVersionZero(const ProgramFolderFixture& folder, const QByteArray& extraSql = {}) {
    const QString path = folder.file(u"fiscora.mdb"_s);
    QFile::remove(path);
    QVERIFY(sqlite(
        path, readBytes(QStringLiteral(FISCORA_SOURCE_DIR) + u"/resources/fiscora-schema.sql"_s) +
                  "INSERT INTO tblContador VALUES ('111.444.777-35','1SP1','Escritório d''Ajuda','Rua A',"
                  "'1','','Centro','Valdorra','SP','(11) 5555-0000','01234-567','c@example.com');"
                  "INSERT INTO tblContribuinte VALUES ('110.042.490.114','Padaria D''Ávila','12.345.678/"
                  "0001-95','4711-3/02','RV7K2M9Q','',0);"
                  "INSERT INTO tblContribuinte (IE,RazaoSocial,Cnpj,Cnae,Chave) VALUES "
                  "('648.120.377.258','Estrela','23.456.789/0001-95','1091-1/02','EV3P8T1L');" +
                  extraSql));
}

QString layout(const QString& path) {
    QProcess process;
    process.start(u"sqlite3"_s, {path, u"SELECT type, name, sql FROM sqlite_master ORDER BY name;"_s});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

qint64 version() {
    LocalDatabase db;
    if (!db.open(fiscora::test::sharedSeams().folder))
        return -1;
    return db.first(u"PRAGMA user_version"_s)
        .valueOr({})
        .value_or(DbRow())
        .value(u"user_version"_s)
        .toLongLong();
}

QList<ListedTransmission> listed(const QStringList& pairs) {
    QList<ListedTransmission> rows;
    for (const QString& pair : pairs)
        rows.append({pair.section(u'=', 0, 0), pair.section(u'=', 1)});
    return rows;
}

// The list of a taxpayer whose server accepts these years and lists these "reference=protocol".
TaxpayerList taxpayerList(const QString& years, const QStringList& pairs) {
    TaxpayerList list;
    list.header.anoTrabalho = years;
    list.header.serverDate = QDateTime(QDate(2026, 3, 2), QTime(9, 0));
    for (const ListedTransmission& row : listed(pairs)) {
        QStringList cells(TransmissionColumnCount);
        cells[ColReferencia] = row.reference;
        cells[ColProtocolo] = row.protocol;
        list.rows.append(cells);
    }
    return list;
}

} // namespace

class EnviosTest final : public QObject {
    Q_OBJECT

    JournalEntry entry(qint64 id) {
        for (const JournalEntry& e : journal().findTransmissions().valueOr({})) {
            if (e.id == id)
                return e;
        }
        return {};
    }

    FolderJournal journal;

private Q_SLOTS:
    void cleanup() {
        sharedSeams().clock.fix({});
        journal.reset();
    }

    // The file of today's layout is upgraded in place: every row kept, a copy of its old bytes
    // beside it (a copy already there with the same bytes is kept; another file's is not
    // replaced).
    void upgradeKeepsEveryRowAndCopiesTheOldFile_data() {
        QTest::addColumn<QByteArray>("existingCopy"); // "" none, "same", or other bytes
        QTest::addColumn<QString>("expectedCopy");
        QTest::addColumn<QStringList>("copies");
        const QStringList one{u"fiscora.mdb.bak-0"_s};
        QTest::newRow("first upgrade") << QByteArray() << one.at(0) << one;
        QTest::newRow("same copy already there") << QByteArray("same") << one.at(0) << one;
        QTest::newRow("another file's copy there") << QByteArray("outro arquivo") << u"fiscora.mdb.bak-0-2"_s
                                                   << QStringList{one.at(0), u"fiscora.mdb.bak-0-2"_s};
    }

    void upgradeKeepsEveryRowAndCopiesTheOldFile() {
        QFETCH(QByteArray, existingCopy);
        QFETCH(QString, expectedCopy);
        QFETCH(QStringList, copies);
        ProgramFolderFixture folder;
        writeVersionZero(folder);
        const QByteArray before = folder.readFile(u"fiscora.mdb"_s);
        if (!existingCopy.isEmpty())
            folder.writeFile(u"fiscora.mdb.bak-0"_s, existingCopy == "same" ? before : existingCopy);

        const auto accountant = DadosContador(fiscora::test::sharedSeams().folder);
        QVERIFY2(accountant, qPrintable(accountant ? QString() : accountant.error().description));
        QCOMPARE(version(), qint64(schema::kVersion));
        QCOMPARE((*accountant)->cont_razao_nome, u"Escritório d'Ajuda"_s);
        QCOMPARE((*accountant)->cont_email, u"c@example.com"_s);
        const QList<Taxpayer> taxpayers = listTaxpayers(fiscora::test::sharedSeams().folder).valueOr({});
        QCOMPARE(taxpayers.size(), 2);
        QCOMPARE(taxpayers.at(0).RazaoSocial, u"Padaria D'Ávila"_s);
        QCOMPARE(taxpayers.at(0).Chave, u"RV7K2M9Q"_s);
        QVERIFY(!taxpayers.at(1).OptanteSimples);

        QCOMPARE(folder.readFile(expectedCopy), before);
        if (!existingCopy.isEmpty() && existingCopy != "same")
            QCOMPARE(folder.readFile(u"fiscora.mdb.bak-0"_s), existingCopy);
        // Later commands find the file up to date: no other copy.
        QCOMPARE(QDir(folder.path()).entryList({u"fiscora.mdb.*"_s}, QDir::Files, QDir::Name), copies);
        // The upgraded file has what the build lays out for a new installation.
        QCOMPARE(layout(folder.file(u"fiscora.mdb"_s)), layout(buildProgramFolder() + u"/fiscora.mdb"_s));
        QVERIFY(journal().startTransmission(upload(kIE)));
    }

    // A file the program cannot take is left exactly as it was: one of a newer release, and one
    // whose upgrade fails (a table of the new layout already there).
    void unusableFileIsLeftAsItWas_data() {
        QTest::addColumn<QByteArray>("sql");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("copied");
        QTest::newRow("newer") << QByteArray("PRAGMA user_version = 99;")
                               << u"O banco de dados fiscora.mdb está na versão 99, que esta versão do "
                                  u"Fiscora não conhece (ela conhece "
                                  "até a versão %1): foi gravado por uma versão mais nova do programa. "
                                  "Instale a versão mais nova do "
                                  "Fiscora; o arquivo não foi alterado."_s.arg(schema::kVersion)
                               << false;
        QTest::newRow("negative") << QByteArray("PRAGMA user_version = -1;")
                                  << u"O banco de dados fiscora.mdb está na versão -1, que esta versão do "
                                     u"Fiscora não conhece (ela conhece "
                                     "até a versão %1): foi gravado por uma versão mais nova do programa. "
                                     "Instale a versão mais nova do "
                                     "Fiscora; o arquivo não foi alterado."_s.arg(schema::kVersion)
                                  << false;
        QTest::newRow("upgrade fails")
            << QByteArray("CREATE TABLE tblUltimaLista (x);")
            << u"Não foi possível atualizar o banco de dados fiscora.mdb da versão 0 para a %1: table "
               u"tblUltimaLista "
               "already exists. O arquivo ficou como estava. A cópia feita antes está em fiscora.mdb.bak-0."_s
                   .arg(schema::kVersion)
            << true;
    }

    void unusableFileIsLeftAsItWas() {
        QFETCH(QByteArray, sql);
        QFETCH(QString, message);
        QFETCH(bool, copied);
        ProgramFolderFixture folder;
        writeVersionZero(folder, sql);
        const QByteArray before = folder.readFile(u"fiscora.mdb"_s);

        LocalDatabase db;
        const Status opened = db.open(fiscora::test::sharedSeams().folder);
        QVERIFY(!opened);
        QCOMPARE(opened.error().description, message);
        QCOMPARE(db.connectionErrors().size(), 1);
        QVERIFY(!countAccountants(fiscora::test::sharedSeams().folder));
        QCOMPARE(folder.readFile(u"fiscora.mdb"_s), before);
        QCOMPARE(QFile::exists(folder.file(u"fiscora.mdb.bak-0"_s)), copied);
        QCOMPARE(QFileInfo(folder.file(u"fiscora.mdb-journal"_s)).size(), qint64(0));
    }

    // Two copies of the program open an old file together: the one that gets the write lock
    // second finds the file upgraded and neither copies nor upgrades it again.
    void anotherCopyUpgradingMeanwhile() {
        ProgramFolderFixture folder;
        writeVersionZero(folder);
        const QString path = folder.file(u"fiscora.mdb"_s);
        QByteArray upgrade = ".timeout 10000\nBEGIN IMMEDIATE;\n";
        for (const char* step : schema::kSteps)
            upgrade += step;
        upgrade += "PRAGMA user_version = " + QByteArray::number(schema::kVersion) + ";\n";
        QProcess other;
        other.start(u"bash"_s,
                    {u"-c"_s, u"(printf '%s' \"$1\"; sleep 1; echo 'COMMIT;') | sqlite3 -bail \"$2\""_s,
                     u"bash"_s, QString::fromUtf8(upgrade), path});
        // Its transaction has begun once its journal holds something.
        QTRY_VERIFY(QFileInfo(path + u"-journal"_s).size() > 0);

        LocalDatabase db;
        const Status opened = db.open(fiscora::test::sharedSeams().folder);
        QVERIFY2(opened, qPrintable(opened.error().description));
        QVERIFY(other.waitForFinished(30000));
        QCOMPARE(other.exitCode(), 0);
        QCOMPARE(version(), qint64(schema::kVersion));
        QVERIFY(!QFile::exists(path + u".bak-0"_s));
    }

    // Each outcome completes the row once; only an upload sent without an answer (and one never
    // completed, left by a program that stopped mid-upload) stays unconfirmed.
    void outcomes_data() {
        QTest::addColumn<TransmissionOutcome>("outcome");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<bool>("unconfirmed");
        QTest::newRow("answered") << TransmissionOutcome::Answered << u"OK"_s << false;
        QTest::newRow("refused") << TransmissionOutcome::Refused << u"ARQUIVO INVALIDO - EXTRATO"_s << false;
        QTest::newRow("failed") << TransmissionOutcome::Failed << u"Conexão recusada"_s << false;
        QTest::newRow("unknown") << TransmissionOutcome::Unknown << u"Sem resposta em 120 s"_s << true;
        QTest::newRow("stopped mid-upload") << TransmissionOutcome::Sending << QString() << true;
    }

    void outcomes() {
        QFETCH(TransmissionOutcome, outcome);
        QFETCH(QString, detail);
        QFETCH(bool, unconfirmed);
        ProgramFolderFixture folder;
        const QDateTime start(QDate(2026, 11, 5), QTime(10, 22, 33));
        sharedSeams().clock.fix(start);
        JournalEntry sent = upload(kIE, {u"09/2026"_s, u"10/2026"_s});
        sent.serverDate = QDateTime(QDate(2026, 11, 5), QTime(10, 0));
        const Result<qint64> id = journal().startTransmission(sent);
        QVERIFY(id);
        sharedSeams().clock.fix(start.addSecs(5));
        if (outcome != TransmissionOutcome::Sending) {
            QVERIFY(journal().completeTransmission(*id, outcome, detail));
            QVERIFY(!journal().completeTransmission(*id, TransmissionOutcome::Answered, u"again"_s));
        }

        const JournalEntry row = entry(*id);
        QCOMPARE(row.outcome, outcome);
        QCOMPARE(row.detail, detail);
        QCOMPARE(row.localTime, start);
        QCOMPARE(row.serverDate, sent.serverDate);
        QCOMPARE(row.completedTime, outcome == TransmissionOutcome::Sending ? QDateTime() : start.addSecs(5));
        QCOMPARE(row.gias, sent.gias);
        QCOMPARE(row.contentSize, sent.contentSize);
        QCOMPARE(row.contentSha256, sent.contentSha256);
        QCOMPARE(row.certificateSerial, sent.certificateSerial);
        QCOMPARE(row.unconfirmed(), unconfirmed);
        JournalFilter filter;
        filter.unconfirmedOnly = true;
        QCOMPARE(journal().findTransmissions(filter).valueOr({}).size(), unconfirmed ? 1 : 0);

        // The main window's date before any list is the zero date: the row keeps none.
        JournalEntry early = sent;
        early.serverDate = zeroDateTime();
        QCOMPARE(entry(journal().startTransmission(early).valueOr(0)).serverDate, QDateTime());
    }

    // A later list closes an upload with the protocols it shows for the first time for the
    // upload's references; what it showed before the upload proves nothing.
    void listConfirms_data() {
        QTest::addColumn<QStringList>("before"); // reference=protocol of the last list; "-": none
        QTest::addColumn<QStringList>("references");
        QTest::addColumn<TransmissionOutcome>("outcome");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QStringList>("protocols"); // reference=protocol, in the GIAs' order
        const QStringList old{u"09/2026=100"_s};
        QTest::newRow("unknown upload listed")
            << old << QStringList{u"10/2026"_s} << TransmissionOutcome::Unknown
            << QStringList{u"09/2026=100"_s, u"10/2026 =101"_s} << QStringList{u"10/2026=101"_s};
        QTest::newRow("two GIAs, the list newest first")
            << QStringList{} << QStringList{u"09/2026"_s, u"10/2026"_s} << TransmissionOutcome::Answered
            << QStringList{u"10/2026=2026001189"_s, u"09/2026=2026001188"_s}
            << QStringList{u"09/2026=2026001188"_s, u"10/2026=2026001189"_s};
        QTest::newRow("older transmission of the reference")
            << old << QStringList{u"09/2026"_s} << TransmissionOutcome::Unknown << old << QStringList{};
        QTest::newRow("another reference's new protocol")
            << old << QStringList{u"10/2026"_s} << TransmissionOutcome::Sending
            << QStringList{u"09/2026=100"_s, u"11/2026=102"_s} << QStringList{};
        QTest::newRow("one protocol per GIA")
            << old << QStringList{u"09/2026"_s, u"09/2026"_s} << TransmissionOutcome::Sending
            << QStringList{u"09/2026=100"_s, u"09/2026=101"_s, u"09/2026=102"_s, u"09/2026=103"_s}
            << QStringList{u"09/2026=101"_s, u"09/2026=102"_s};
        QTest::newRow("PGDAS takes one") << old << QStringList{} << TransmissionOutcome::Unknown
                                         << QStringList{u"09/2026=100"_s, u"10/2026=104"_s, u"10/2026=105"_s}
                                         << QStringList{u"10/2026=104"_s};
        QTest::newRow("answered gets its protocol")
            << QStringList{} << QStringList{u"10/2026"_s} << TransmissionOutcome::Answered
            << QStringList{u"10/2026=101"_s} << QStringList{u"10/2026=101"_s};
        QTest::newRow("failed upload never reached")
            << old << QStringList{u"10/2026"_s} << TransmissionOutcome::Failed
            << QStringList{u"10/2026=101"_s} << QStringList{};
        QTest::newRow("no list before the upload") << QStringList{u"-"_s} << QStringList{u"09/2026"_s}
                                                   << TransmissionOutcome::Unknown << old << QStringList{};
    }

    void listConfirms() {
        QFETCH(QStringList, before);
        QFETCH(QStringList, references);
        QFETCH(TransmissionOutcome, outcome);
        QFETCH(QStringList, after);
        QFETCH(QStringList, protocols);
        ProgramFolderFixture folder;
        if (before != QStringList{u"-"_s})
            QVERIFY(journal().recordListedTransmissions(kIE, listed(before)));
        // Another taxpayer's row is never touched by this one's list.
        const Result<qint64> other = journal().startTransmission(upload(u"648.120.377.258"_s, references));
        const Result<qint64> id = journal().startTransmission(upload(kIE, references));
        QVERIFY(id && other);
        if (outcome != TransmissionOutcome::Sending)
            QVERIFY(journal().completeTransmission(*id, outcome, u"x"_s));

        const Result<QList<qint64>> recorded = journal().recordListedTransmissions(kIE, listed(after));
        QVERIFY(recorded);
        QCOMPARE(*recorded, protocols.isEmpty() ? QList<qint64>{} : QList<qint64>{*id});
        const JournalEntry row = entry(*id);
        QCOMPARE(row.protocols, listed(protocols));
        // A PGDAS upload's reference is the one the list gives it.
        if (references.isEmpty())
            QCOMPARE(row.references(), protocols.isEmpty() ? QString() : u"10/2026"_s);
        QCOMPARE(row.confirmedTime.isValid(), !protocols.isEmpty());
        QCOMPARE(row.unconfirmed(), protocols.isEmpty() && (outcome == TransmissionOutcome::Sending ||
                                                            outcome == TransmissionOutcome::Unknown));
        QVERIFY(entry(*other).protocols.isEmpty());
        // A protocol is recorded once: the same list again changes nothing.
        QCOMPARE(journal().recordListedTransmissions(kIE, listed(after)).valueOr({qint64(-1)}),
                 QList<qint64>{});
    }

    // An upload sent again after one without an answer: the one new protocol is the newer
    // upload's, and the first stays unconfirmed.
    void newestUploadClaimsTheProtocol() {
        ProgramFolderFixture folder;
        QVERIFY(journal().recordListedTransmissions(kIE, {}));
        const qint64 first = journal().startTransmission(upload(kIE)).valueOr(0);
        QVERIFY(journal().completeTransmission(first, TransmissionOutcome::Unknown, u"Sem resposta"_s));
        QVERIFY(journal().recordListedTransmissions(kIE, {}));
        const qint64 again = journal().startTransmission(upload(kIE)).valueOr(0);
        QVERIFY(journal().completeTransmission(again, TransmissionOutcome::Answered, u"OK"_s));
        QCOMPARE(journal().recordListedTransmissions(kIE, listed({u"09/2026=200"_s})).valueOr({}),
                 QList<qint64>{again});
        QVERIFY(entry(first).unconfirmed());
        QCOMPARE(entry(again).protocols, listed({u"09/2026=200"_s}));
    }

    // A row confirmed by an earlier layout kept its protocols without their references: it is
    // shown unpaired, never against the wrong reference, until a list names each one's.
    void protocolsKeptBeforeTheirReferences() {
        ProgramFolderFixture folder;
        writeVersionZero(folder);
        QVERIFY(
            sqlite(folder.file(u"fiscora.mdb"_s),
                   QByteArray(schema::kSteps[0]) +
                       "PRAGMA user_version = 1;"
                       "INSERT INTO tblEnvios (DataHoraLocal, IE, Tipo, NumerosGia, Referencias, "
                       "ProtocolosAnteriores, Situacao, Protocolos, DataHoraConfirmacao) VALUES "
                       "('2026-11-05 10:00:00', '110.042.490.114', 'GIA', '1, 2', '09/2026, 10/2026', '', "
                       "'respondido', '2026001189, 2026001188', '2026-11-05 10:01:00');"));
        const QList<JournalEntry> rows = journal().findTransmissions().valueOr({});
        QCOMPARE(rows.size(), 1);
        QCOMPARE(protocolsText(rows.first().protocols), u"protocolo 2026001189; protocolo 2026001188"_s);

        QCOMPARE(
            journal()
                .recordListedTransmissions(kIE, listed({u"10/2026=2026001189"_s, u"09/2026=2026001188"_s}))
                .valueOr({qint64(-1)}),
            QList<qint64>{});
        QCOMPARE(protocolsText(entry(rows.first().id).protocols),
                 u"09/2026: protocolo 2026001188; 10/2026: protocolo 2026001189"_s);
    }

    // A file of the layout before receipts were kept gains them: each protocol of a row its own
    // file and digest, a later one of the same protocol replacing it.
    void receiptsKeptPerProtocol() {
        ProgramFolderFixture folder;
        writeVersionZero(folder);
        QVERIFY(
            sqlite(folder.file(u"fiscora.mdb"_s),
                   QByteArray(schema::kSteps[0]) + schema::kSteps[1] +
                       "PRAGMA user_version = 2;"
                       "INSERT INTO tblEnvios (DataHoraLocal, IE, Tipo, NumerosGia, Referencias, "
                       "ProtocolosAnteriores, Situacao, Protocolos, ProtocolosPorReferencia) VALUES "
                       "('2026-11-05 10:00:00', '110.042.490.114', 'GIA', '1, 2', '09/2026, 10/2026', '', "
                       "'respondido', '2026001188, 2026001189', '09/2026=2026001188, 10/2026=2026001189');"));
        const QList<JournalEntry> rows = journal().findTransmissions().valueOr({});
        QCOMPARE(rows.size(), 1);
        QCOMPARE(version(), qint64(schema::kVersion));
        const qint64 id = rows.first().id;
        QVERIFY(rows.first().receipts.isEmpty());

        const JournalReceipt first{u"2026001188"_s, u"/docs/A, B=C/2026-09/2026001188.pdf"_s, u"aa"_s};
        const JournalReceipt second{u"2026001189"_s, u"/docs/x/2026-10/2026001189.pdf"_s, u"bb"_s};
        const JournalReceipt again{u"2026001188"_s, u"/docs/y/2026-09/2026001188.pdf"_s, u"cc"_s};
        QVERIFY(journal().recordReceipt(id, first));
        QVERIFY(journal().recordReceipt(id, second));
        QCOMPARE(entry(id).receipts, (QList<JournalReceipt>{first, second}));
        QVERIFY(journal().recordReceipt(id, again));
        QCOMPARE(entry(id).receipts, (QList<JournalReceipt>{second, again}));
        QCOMPARE(entry(id).receipt(u"2026001188"_s), std::optional<JournalReceipt>(again));
        QCOMPARE(protocolsText(entry(id).protocols),
                 u"09/2026: protocolo 2026001188; 10/2026: protocolo 2026001189"_s);
        QVERIFY(!journal().recordReceipt(id + 1, first));
    }

    // The words the journal and the batch keep of an answer: its body's first line, or the status
    // line of an answer without a body.
    void answerFirstLine_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("line");
        QTest::newRow("body's first line") << QByteArray("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n"
                                                         "Resultado: OK\r\nProtocolo: 2026000123\r\n")
                                           << u"Resultado: OK"_s;
        QTest::newRow("no body") << QByteArray("HTTP/1.1 500 Internal Server Error\r\nServer: x\r\n\r\n")
                                 << u"HTTP/1.1 500 Internal Server Error"_s;
        QTest::newRow("headers cut short")
            << QByteArray("HTTP/1.0 200 OK\r\nContent-Ty") << u"HTTP/1.0 200 OK"_s;
        QTest::newRow("not HTTP") << QByteArray("  Resultado: OK \nmais") << u"Resultado: OK"_s;
        QTest::newRow("one line, no end") << QByteArray("HTTP/1.0 200 OK\r\n\r\nOK") << u"OK"_s;
        QTest::newRow("UTF-8") << QByteArray("HTTP/1.0 200 OK\r\n\r\nRefer\xc3\xaancia inv\xc3\xa1lida\r\n")
                               << u"Referência inválida"_s;
    }
    void answerFirstLine() {
        QFETCH(QByteArray, answer);
        QFETCH(QString, line);
        QCOMPARE(Transmission::answerFirstLine(answer), line);
    }

    // A batch's item marked by its taxpayer's list. GIAs before and after: t ticked, u unticked,
    // L listed already (unticked), Y year not accepted.
    void batchItemMarkedByItsList_data() {
        QTest::addColumn<int>("list"); // 0: a list; 1: the key refused; 2: no list
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QStringList>("references");
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("readiness");
        QTest::addColumn<QString>("after");
        const QStringList three{u"11/2024"_s, u"03/2025"_s, u"04/2025"_s};
        QTest::newRow("listed, year refused, new")
            << 0 << QStringList{u"03/2025=2025000001"_s} << three << u"ttt"_s
            << int(BatchItem::Readiness::Ready) << u"YLt"_s;
        // The year is told before the list: such a GIA cannot go again in any case.
        QTest::newRow("listed in a year not accepted")
            << 0 << QStringList{u"11/2024=2024000009"_s} << three << u"ttt"_s
            << int(BatchItem::Readiness::Ready) << u"Ytt"_s;
        QTest::newRow("unticked by the accountant stays so")
            << 0 << QStringList{} << three << u"tut"_s << int(BatchItem::Readiness::Ready) << u"Yut"_s;
        QTest::newRow("no longer listed goes again")
            << 0 << QStringList{} << three << u"tLt"_s << int(BatchItem::Readiness::Ready) << u"Ytt"_s;
        QTest::newRow("key refused") << 1 << QStringList{} << three << u"ttt"_s
                                     << int(BatchItem::Readiness::KeyRefused) << u"uuu"_s;
        QTest::newRow("no list") << 2 << QStringList{} << three << u"ttt"_s
                                 << int(BatchItem::Readiness::ListUnavailable) << u"uuu"_s;
    }
    void batchItemMarkedByItsList() {
        QFETCH(int, list);
        QFETCH(QStringList, listed);
        QFETCH(QStringList, references);
        QFETCH(QString, before);
        QFETCH(int, readiness);
        QFETCH(QString, after);
        BatchItem item;
        for (qsizetype i = 0; i < references.size(); ++i) {
            const QChar state = before.at(i);
            item.gias.append({GiaListRow{QString::number(i + 1), references.at(i), {}, {}},
                              state == u'L' ? BatchGia::Note::AlreadyListed : BatchGia::Note::None,
                              state == u't',
                              {}});
        }
        TaxpayerList given = taxpayerList(u"2025,2026"_s, listed);
        given.keyRefused = list == 1;
        applyList(&item, list == 2 ? Result<TaxpayerList>(AppError::message(u"Servidor fora do ar."_s))
                                   : Result<TaxpayerList>(given));
        QCOMPARE(int(item.readiness), readiness);
        QString marks;
        for (const BatchGia& gia : item.gias)
            marks += gia.note == BatchGia::Note::YearNotAccepted ? u'Y'
                     : gia.note == BatchGia::Note::AlreadyListed ? u'L'
                     : gia.ticked                                ? u't'
                                                                 : u'u';
        QCOMPARE(marks, after);
        if (readiness == int(BatchItem::Readiness::Ready)) {
            QCOMPARE(item.serverDate, given.header.serverDate);
            for (const BatchGia& gia : item.gias)
                QVERIFY(gia.note != BatchGia::Note::AlreadyListed || !gia.protocols.isEmpty());
        } else {
            QCOMPARE(item.readinessDetail, list == 1 ? u"O servidor recusou a chave do contribuinte."_s
                                                     : u"Servidor fora do ar."_s);
        }
    }

    // The size and SHA-256 are those of the bytes the GIA upload sends: database, marker, file.
    void digestOfTheContentSent() {
        ProgramFolderFixture folder;
        folder.writeFile(u"base.mdb"_s, QByteArray(3 * 1024 * 1024 + 7, 'b'));
        folder.writeFile(u"texto.prf"_s, "05|texto\r\n");
        const QString database = folder.file(u"base.mdb"_s);
        const QString text = folder.file(u"texto.prf"_s);
        const QByteArray whole = readBytes(database) + "###$$$***PRF***$$$###" + readBytes(text);
        const Result<QList<UploadFilePiece>> pieces = GiaContentPieces(database, text);
        QVERIFY(pieces);
        const Result<ContentDigest> digest = digestContent(*pieces);
        QVERIFY(digest);
        QCOMPARE(digest->size, whole.size());
        QCOMPARE(digest->sha256,
                 QString::fromLatin1(QCryptographicHash::hash(whole, QCryptographicHash::Sha256).toHex()));

        folder.writeFile(u"texto.prf"_s, "05");
        const Result<ContentDigest> shrunk = digestContent(*pieces);
        QVERIFY(!shrunk);
        QVERIFY(shrunk.error().description.contains(text));
    }
};

QTEST_GUILESS_MAIN(EnviosTest)
#include "EnviosTest.moc"
