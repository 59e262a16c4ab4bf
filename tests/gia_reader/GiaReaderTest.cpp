#include "data/AccessReader.h"
#include "data/AccessReaderProtocol.h"
#include "data/AccessValue.h"
#include "data/GiaDatabaseReader.h"
#include "jet/JetDatabase.h"
#include "jet/JetTestSupport.h"
#include "support/Await.h"
#include "support/ProgramFolderFixture.h"
#include "support/RunawayExport.h"
#include "support/ServerLauncher.h"
#include "support/TestMessageBox.h"
#include "support/TestSeams.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>

#include <atomic>
#include <limits>
#include <thread>
#include <vector>

using namespace fiscora;
using fiscora::test::readBytes;
using namespace Qt::StringLiterals;

namespace {

// Fixtures: what the reader helper wrote for Access-made files (the files themselves are not
// part of the project).
QString fixture(const QString& name) {
    return QStringLiteral(FISCORA_SOURCE_DIR "/tests/fixtures/access/") + name;
}

using jettest::column;

// Databases like the ones Access makes for the format's usual cases, written by our writer.
jet::Database sampleDatabase(const QString& name) {
    using jet::ColumnType;
    jet::Database database;
    const jet::Column id = column(u"ID"_s, ColumnType::Long, 0, true);
    const jet::Index primaryKey{u"PrimaryKey"_s, {0}, true, true};
    if (name == u"password"_s) {
        database.password = u"password"_s;
        database.tables.append(
            {jet::Table{u"Table1"_s, {id, column(u"Data"_s, ColumnType::Text, 255)}, {primaryKey}},
             {{jet::Value(), u"One"_s}, {jet::Value(), u"Two"_s}, {jet::Value(), u"Three"_s}}});
    } else if (name == u"compressed-text"_s) {
        QList<jet::Row> rows;
        for (const QString& text : {u"plain"_s, u"ääkkösiä"_s, u"Мир"_s, u"漢字仮名交じり文"_s})
            rows.append({jet::Value(), text});
        database.tables.append(
            {jet::Table{u"Table"_s, {id, column(u"Unicode"_s, ColumnType::Text, 255)}, {primaryKey}}, rows});
    } else if (name == u"indexes"_s) {
        const jet::Column text = column(u"Name"_s, ColumnType::Text, 50);
        const jet::Column other = column(u"Other"_s, ColumnType::Long);
        for (const QString& table : {u"Table1"_s, u"Table2"_s, u"Table3"_s}) {
            QList<jet::Row> rows;
            for (int i = 1; i <= 3; ++i)
                rows.append({jet::Value(), table + QString::number(i), qint64(i)});
            database.tables.append({jet::Table{table,
                                               {id, text, other},
                                               {primaryKey, jet::Index{u"Other"_s, {2}, false, false}}},
                                    rows});
        }
    }
    return database;
}

} // namespace

class GiaReaderTest final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString write(const QString& name, const QByteArray& bytes, QFile::Permissions extra = {}) {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write fixture");
        file.write(bytes);
        file.close();
        if (extra)
            file.setPermissions(file.permissions() | extra);
        return path;
    }

    QString sample(const QString& name) {
        const QString path = m_dir.filePath(name + u".mdb"_s);
        if (const Status written = jet::writeDatabase(path, sampleDatabase(name)); !written)
            qFatal("cannot write the sample database: %s", qPrintable(written.error().description));
        return path;
    }

    // The read as the program starts it: a job, reporting later.
    static std::optional<AccessReader::Reading> readAll(const QString& path,
                                                        const AccessReader& reader = test::builtReader()) {
        return test::await<AccessReader::Reading>(
            [&](QObject* context, std::function<void(AccessReader::Reading)> done) {
                reader.readAll(path, context, std::move(done));
            });
    }

    static GiaDatabaseReader::Records readGias(const QString& path) {
        return test::await<GiaDatabaseReader::Records>(
                   [&](QObject* context, std::function<void(GiaDatabaseReader::Records)> done) {
                       GiaDatabaseReader::readExport(
                           test::builtReader(), path, context,
                           [done](GiaDatabaseReader::Records records, const GiaDatabaseReader::Taxpayers&) {
                               done(std::move(records));
                           });
                   })
            .value();
    }

    // A stand-in helper: a shell script that behaves as told.
    QString fakeHelper(const QString& name, const QByteArray& body) {
        return write(name, "#!/bin/sh\n" + body + "\n", QFile::ExeOwner);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(QFile::exists(test::builtReader().helperPath())); }

    void readsPasswordProtectedFile() {
        const QString path = sample(u"password"_s);
        const AccessReader::Reading result = test::readAccess(path);
        QVERIFY2(result.ok(), qPrintable(result.detail));
        QCOMPARE(result.database.jetVersion, 4);
        QCOMPARE(result.database.tables.size(), 1);
        const AccessTable* table = result.database.table(QStringLiteral("TABLE1"));
        QVERIFY(table);
        QCOMPARE(table->definition.columns.size(), 2);
        const jet::Column& id = table->definition.columns.at(0);
        QCOMPARE(id.type, jet::ColumnType::Long);
        QVERIFY(id.autoNumber);
        QCOMPARE(table->definition.columns.at(1).type, jet::ColumnType::Text);
        QCOMPARE(table->definition.columns.at(1).size, 255);
        QCOMPARE(table->definition.indexes.size(), 1);
        QVERIFY(table->definition.indexes.at(0).primaryKey);
        QCOMPARE(table->definition.indexes.at(0).columns, QList<int>{0});
        QCOMPARE(table->rows.size(), 3);
        QCOMPARE(table->rows.at(2).at(0), jet::Value(qint64(3)));
        QCOMPARE(table->rows.at(2).at(1), jet::Value(QStringLiteral("Three")));
    }

    void readsUnicodeAndCompressedText() {
        const QString path = sample(u"compressed-text"_s);
        const AccessReader::Reading result = test::readAccess(path, {QStringLiteral("Table")});
        QVERIFY2(result.ok(), qPrintable(result.detail));
        const AccessTable* table = result.database.table(QStringLiteral("Table"));
        QVERIFY(table && table->rowsRead);
        QStringList texts;
        for (const jet::Row& row : table->rows)
            texts.append(AccessValue::toText(row.at(1)));
        QVERIFY(texts.contains(QStringLiteral("ääkkösiä")));
        QVERIFY(texts.contains(QStringLiteral("Мир")));
        QVERIFY(texts.contains(QStringLiteral("漢字仮名交じり文")));
    }

    // The helper's stream for a file Access made with a memo and Numeric(18,0) columns.
    void marksColumnsTheWriterCannotHold() {
        const Result<AccessDatabase> decoded =
            AccessReader::decode(readBytes(fixture(u"memo-numeric-access2000.stream"_s)));
        QVERIFY2(decoded, qPrintable(decoded.error().description));
        const AccessDatabase& database = *decoded;
        const AccessTable* table = database.table(QStringLiteral("test"));
        QVERIFY(table);
        QCOMPARE(table->definition.columns.at(0).type, jet::ColumnType::Memo);
        QVERIFY(!table->unsupported.at(0));
        QVERIFY(table->unsupported.at(1)); // Numeric(18,0)
        QCOMPARE(table->rows.size(), 1);
        QCOMPARE(table->rows.at(0).at(0), jet::Value(QStringLiteral("some data")));
        QCOMPARE(table->rows.at(0).at(5), jet::Value(QStringLiteral("-1")));
        const Result<jet::Database> rewritten = AccessReader::toJetDatabase(database);
        QVERIFY(!rewritten);
        QVERIFY(rewritten.error().description.contains(QStringLiteral("col2")));
    }

    void readsOnlyTheRowsAskedFor() {
        const QString path = sample(u"indexes"_s);
        const AccessReader::Reading result =
            test::readAccess(path, {QStringLiteral("table2"), QStringLiteral("NoSuchTable")});
        QVERIFY2(result.ok(), qPrintable(result.detail));
        QCOMPARE(result.database.tables.size(), 3);
        QVERIFY(!result.database.table(QStringLiteral("Table1"))->rowsRead);
        QVERIFY(result.database.table(QStringLiteral("Table2"))->rowsRead);
        QCOMPARE(result.database.table(QStringLiteral("Table2"))->rows.size(), 3);
        QVERIFY(!result.database.table(QStringLiteral("NoSuchTable")));
    }

    void emptyCatalogIsNoError() {
        const QString path = sample(u"empty"_s);
        const AccessReader::Reading result = test::readAccess(path);
        QVERIFY2(result.ok(), qPrintable(result.detail));
        QVERIFY(result.database.tables.isEmpty());
        const GiaDatabaseReader::Listing listing = test::listGias(path, QStringLiteral("1"));
        QCOMPARE(listing.outcome, GiaDatabaseReader::Outcome::InvalidFile);
    }

    void foreignFilesAreInvalid_data() {
        QTest::addColumn<QByteArray>("content");
        QByteArray header = QByteArray(4096, '\0');
        header.replace(0, 20, QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20));
        header[0x14] = 1;
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("text") << QByteArray("05123456789012\r\n10 5102  0000\r\n");
        QTest::newRow("zeros") << QByteArray(65536, '\0');
        QTest::newRow("header page only") << header;
        QTest::newRow("header and zero pages") << header + QByteArray(8 * 4096, '\0');
        QTest::newRow("pdf") << QByteArray("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n1 0 obj\n<<>>\nendobj\n");
    }

    void foreignFilesAreInvalid() {
        QFETCH(QByteArray, content);
        const QString path = write(QStringLiteral("foreign.mdb"), content);
        const AccessReader::Reading result = test::readAccess(path);
        QCOMPARE(result.status, AccessReader::Status::Invalid);
        QCOMPARE(test::listGias(path, QStringLiteral("1")).outcome, GiaDatabaseReader::Outcome::InvalidFile);
        QCOMPARE(test::readTaxpayers(path).outcome, GiaDatabaseReader::Outcome::InvalidFile);
    }

    void truncatedAccessFileIsInvalidOrPartial() {
        const QString source = sample(u"indexes"_s);
        const QByteArray whole = readBytes(source);
        for (const qsizetype size :
             {qsizetype(100), qsizetype(4096), qsizetype(3 * 4096), whole.size() / 2}) {
            const QString path = write(QStringLiteral("cut.mdb"), whole.first(size));
            const AccessReader::Reading result = test::readAccess(path);
            QVERIFY2(result.status != AccessReader::Status::Unavailable, qPrintable(result.detail));
        }
    }

    // The stand-in server reads uploads on its worker threads, each under a loop of its own.
    void readsOnPlainThreads() {
        const QString path = sample(u"password"_s);
        std::atomic<int> whole{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < 4; ++i) {
            threads.emplace_back([&] {
                for (int k = 0; k < 3; ++k) {
                    const AccessReader::Reading result = test::readAccess(path);
                    if (result.ok() && result.database.tables.size() == 1)
                        ++whole;
                }
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        QCOMPARE(whole.load(), 12);
    }

    void missingPathsAreInvalid() {
        QCOMPARE(test::readAccess(m_dir.filePath(QStringLiteral("nothing.mdb"))).status,
                 AccessReader::Status::Invalid);
        QCOMPARE(test::readAccess(m_dir.path()).status, AccessReader::Status::Invalid);
    }

    // An outcome that comes while a box of its program's seams is up is told once the box has
    // closed; the gate of other seams (another program's) does not hold it back.
    void outcomeWaitsForTheBoxOfItsSeams() {
        test::TestSeams other;
        const AccessReader otherReader(test::builtReader().helperPath(), other.gate);
        const QString missing = m_dir.filePath(u"nenhum.mdb"_s);
        QObject context;
        test::TestMessageBox box;
        QStringList told;
        const auto tell = [&told, &box](const QString& whose) {
            return [&told, &box, whose](const AccessReader::Reading&) {
                told.append(whose + (box.open() ? u" under the box"_s : u" after it"_s));
            };
        };
        box.onShow = [&](const MessageRequest&) {
            test::builtReader().read(missing, {}, &context, tell(u"this program's"_s));
            otherReader.read(missing, {}, &context, tell(u"the other's"_s));
        };
        box.holdUntil([&told] { return !told.isEmpty(); });
        test::sharedSeams().messages.show(u"Fiscora"_s, u"Continuar?"_s);
        QCOMPARE(told, (QStringList{u"the other's under the box"_s, u"this program's after it"_s}));
    }

    void helperFailuresAreContained_data() {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<int>("status");
        QTest::newRow("hangs") << QByteArray("exec sleep 30") << int(AccessReader::Status::Invalid);
        QTest::newRow("crashes") << QByteArray("kill -SEGV $$") << int(AccessReader::Status::Invalid);
        QTest::newRow("refuses") << QByteArray("exit 2") << int(AccessReader::Status::Invalid);
        QTest::newRow("garbage") << QByteArray("printf 'not the stream'")
                                 << int(AccessReader::Status::Invalid);
        QTest::newRow("stream cut short")
            << QByteArray("printf 'FISCORA-MDB 1\\n\\004T'") << int(AccessReader::Status::Invalid);
        QTest::newRow("usage") << QByteArray("exit 1") << int(AccessReader::Status::Unavailable);
    }

    // The read is a job: the window thread goes on while the helper runs (a 10 ms timer keeps
    // ticking), whatever the helper does.
    void helperFailuresAreContained() {
        QFETCH(QByteArray, script);
        QFETCH(int, status);
        const AccessReader reader(fakeHelper(QStringLiteral("helper.sh"), script), test::sharedSeams().gate,
                                  500);
        const QString path = write(QStringLiteral("any.mdb"), QByteArray(4096, 'x'));
        QElapsedTimer clock;
        clock.start();
        QElapsedTimer since;
        qint64 longest = 0;
        QTimer ticks;
        ticks.setInterval(10);
        connect(&ticks, &QTimer::timeout, this, [&] { longest = qMax(longest, since.restart()); });
        since.start();
        ticks.start();
        const std::optional<AccessReader::Reading> result = readAll(path, reader);
        QVERIFY(result);
        QCOMPARE(int(result->status), status);
        QVERIFY(clock.elapsed() < 5000);
        longest = qMax(longest, since.elapsed());
        QVERIFY2(longest <= 100, qPrintable(QString::number(longest)));
    }

    // One damaged byte makes libmdb take memory without end: the helper is stopped at its cap.
    void runawayHelperIsStoppedAtItsMemoryCap() {
        const QByteArray bytes = test::runawayExport();
        QVERIFY(!bytes.isEmpty());
        const std::optional<AccessReader::Reading> result = readAll(write(u"sem-fim.mdb"_s, bytes));
        QVERIFY(result);
        QCOMPARE(result->status, AccessReader::Status::Invalid);
        rusage children{};
        QCOMPARE(getrusage(RUSAGE_CHILDREN, &children), 0);
        const qint64 peak = qint64(children.ru_maxrss) << 10;
        QVERIFY2(peak < AccessReader::memoryLimitBytes(bytes.size()) + (qint64(64) << 20),
                 qPrintable(QString::number(peak >> 20) + u" MiB"_s));
    }

    void missingHelperIsReported() {
        const AccessReader reader(m_dir.filePath(QStringLiteral("no-helper")), test::sharedSeams().gate);
        const QString path = write(QStringLiteral("any.mdb"), QByteArray(4096, 'x'));
        QCOMPARE(readAll(path, reader)->status, AccessReader::Status::Unavailable);
        const std::optional<GiaDatabaseReader::Listing> listing = test::await<GiaDatabaseReader::Listing>(
            [&](QObject* context, std::function<void(GiaDatabaseReader::Listing)> done) {
                GiaDatabaseReader::listGias(reader, path, QStringLiteral("1"), context, std::move(done));
            });
        QVERIFY(listing);
        QCOMPARE(listing->outcome, GiaDatabaseReader::Outcome::ReaderUnavailable);
        QVERIFY(GiaDatabaseReader::message(listing->outcome).contains(QStringLiteral("fiscora-leitor-mdb")));
    }

    // Every cut of a well-formed stream short of its end is refused, never misread.
    void decoderRefusesEveryCutStream() {
        const QString path = sample(u"indexes"_s);
        QProcess helper;
        helper.start(test::builtReader().helperPath(), {path, QStringLiteral("*")});
        QVERIFY(helper.waitForFinished(10000));
        const QByteArray stream = helper.readAllStandardOutput();
        QVERIFY(AccessReader::decode(stream));
        for (qsizetype size = 0; size < stream.size(); ++size)
            QVERIFY2(!AccessReader::decode(stream.first(size)), qPrintable(QString::number(size)));
        QVERIFY(!AccessReader::decode(stream + 'Z'));
    }

    // Exports written with our writer: columns by position, odd tables, odd values.
    void taxpayersByPosition() {
        const auto text = [](const QString& name, int size = 50) {
            return column(name, jet::ColumnType::Text, size);
        };
        jet::Table full{
            u"tblContribuinte"_s, {text(u"IE"_s), text(u"Nome"_s), text(u"CNPJ"_s), text(u"CNAE"_s)}, {}};
        jet::Database database;
        database.tables.append(
            {full,
             {{u"111.111.111.111"_s, u"Padaria D'Ouro"_s, u"12.345.678/0001-95"_s, u"4711-3/02"_s},
              {u"222.222.222.222"_s, jet::Value(), u"1"_s, jet::Value()}}});
        const QString path = m_dir.filePath(u"export.mdb"_s);
        Status written = jet::writeDatabase(path, database);
        QVERIFY2(written, qPrintable(written.error().description));
        const auto taxpayers = test::readTaxpayers(path);
        QCOMPARE(taxpayers.outcome, GiaDatabaseReader::Outcome::Ok);
        QCOMPARE(taxpayers.rows, QList<QStringList>({{u"111.111.111.111"_s, u"Padaria D'Ouro"_s,
                                                      u"12.345.678/0001-95"_s, u"4711-3/02"_s},
                                                     {u"222.222.222.222"_s, u""_s, u"1"_s, u""_s}}));
        // No tblGIA: not a GIA database for the listing.
        QCOMPARE(test::listGias(path, u"111.111.111.111"_s).outcome, GiaDatabaseReader::Outcome::InvalidFile);

        database.tables[0].rows.clear();
        written = jet::writeDatabase(path, database);
        QVERIFY2(written, qPrintable(written.error().description));
        QCOMPARE(test::readTaxpayers(path).outcome, GiaDatabaseReader::Outcome::Ok);
        QVERIFY(test::readTaxpayers(path).rows.isEmpty());

        database.tables[0].table.columns.removeLast();
        written = jet::writeDatabase(path, database);
        QVERIFY2(written, qPrintable(written.error().description));
        QCOMPARE(test::readTaxpayers(path).outcome, GiaDatabaseReader::Outcome::InvalidFile);
    }

    // The export's password is checked by every reader of GIA databases.
    void passwordMustBeTheExports_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("the export's") << u"lanterna7"_s << true;
        QTest::newRow("none") << QString() << true;
        QTest::newRow("other") << u"outra"_s << false;
        QTest::newRow("other letter case") << u"Lanterna7"_s << false;
        QTest::newRow("longer") << u"lanterna77"_s << false;
    }

    void passwordMustBeTheExports() {
        QFETCH(QString, password);
        QFETCH(bool, accepted);
        const auto text = [](const QString& name) {
            return column(name, jet::ColumnType::Text, 20);
        };
        jet::Database database;
        database.password = password;
        database.tables.append({jet::Table{u"tblGIA"_s,
                                           {column(u"NroGIA"_s, jet::ColumnType::Long), text(u"IE"_s),
                                            column(u"Tipo"_s, jet::ColumnType::Long), text(u"RegTrib"_s),
                                            column(u"Ref1"_s, jet::ColumnType::DateTime)},
                                           {}},
                                {{qint64(1), u"1"_s, qint64(1), u"01"_s, jet::DateTime{39953.0}}}});
        database.tables.append({jet::Table{u"tblContribuinte"_s,
                                           {text(u"IE"_s), text(u"Nome"_s), text(u"CNPJ"_s), text(u"CNAE"_s)},
                                           {}},
                                {}});
        const QString path = m_dir.filePath(u"senha.mdb"_s);
        const Status written = jet::writeDatabase(path, database);
        QVERIFY2(written, qPrintable(written.error().description));
        const auto expected =
            accepted ? GiaDatabaseReader::Outcome::Ok : GiaDatabaseReader::Outcome::InvalidFile;
        QCOMPARE(test::listGias(path, u"1"_s).outcome, expected);
        QCOMPARE(readGias(path).outcome, expected);
        QCOMPARE(test::readTaxpayers(path).outcome, expected);
        const Status check = GiaDatabaseReader::checkExport(path);
        QCOMPARE(check.ok(), accepted);
        if (!accepted)
            QCOMPARE(check.error().description, GiaDatabaseReader::invalidFileMessage);
    }

    void listingNeedsItsColumns() {
        const jet::Column number{u"NroGIA"_s, jet::ColumnType::Long, 0, false, false};
        const jet::Column ie{u"IE"_s, jet::ColumnType::Text, 15, false, false};
        const jet::Column tipo{u"Tipo"_s, jet::ColumnType::Long, 0, false, false};
        const jet::Column regime{u"RegTrib"_s, jet::ColumnType::Text, 2, false, false};
        const jet::Column ref{u"Ref1"_s, jet::ColumnType::DateTime, 0, false, false};
        jet::Database database;
        database.tables.append({jet::Table{u"TBLGIA"_s, {regime, ref, ie, tipo, number}, {}},
                                {{u"02"_s, jet::DateTime{39953.0}, u"1"_s, qint64(2), qint64(7)},
                                 {u"01"_s, jet::Value(), u"1"_s, qint64(1), qint64(8)}}});
        const QString path = m_dir.filePath(u"gias.mdb"_s);
        Status written = jet::writeDatabase(path, database);
        QVERIFY2(written, qPrintable(written.error().description));
        // Columns found by name in any order and letter case; no Movimento needed; null months first.
        const auto listing = test::listGias(path, u"1"_s);
        QCOMPARE(listing.outcome, GiaDatabaseReader::Outcome::Ok);
        QCOMPARE(listing.rows, QList<GiaListRow>({{u"8"_s, u""_s, u"RPA"_s, u"Normal"_s},
                                                  {u"7"_s, u"05/2009"_s, u"RES"_s, u"Substitutiva"_s}}));

        database.tables[0].table.columns.removeAt(1); // no Ref1
        for (jet::Row& row : database.tables[0].rows)
            row.removeAt(1);
        written = jet::writeDatabase(path, database);
        QVERIFY2(written, qPrintable(written.error().description));
        QCOMPARE(test::listGias(path, u"1"_s).outcome, GiaDatabaseReader::Outcome::InvalidFile);
    }

    void gridTexts_data() {
        QTest::addColumn<jet::Value>("number");
        QTest::addColumn<jet::Value>("reference");
        QTest::addColumn<jet::Value>("regime");
        QTest::addColumn<jet::Value>("type");
        QTest::addColumn<GiaListRow>("expected");
        const auto day = [](int y, int m, int d) {
            return jet::Value(jet::DateTime{double(QDate(1899, 12, 30).daysTo(QDate(y, m, d)))});
        };
        QTest::newRow("RES normal") << jet::Value(qint64(1)) << day(2009, 5, 20)
                                    << jet::Value(QStringLiteral("02")) << jet::Value(qint64(1))
                                    << GiaListRow{u"1"_s, u"05/2009"_s, u"RES"_s, u"Normal"_s};
        QTest::newRow("RPA substitutiva")
            << jet::Value(qint64(12)) << day(2020, 12, 20) << jet::Value(QStringLiteral("01"))
            << jet::Value(qint64(2)) << GiaListRow{u"12"_s, u"12/2020"_s, u"RPA"_s, u"Substitutiva"_s};
        QTest::newRow("dispensado") << jet::Value(qint64(3)) << day(2010, 1, 20)
                                    << jet::Value(QStringLiteral("03")) << jet::Value(qint64(1))
                                    << GiaListRow{u"3"_s, u"01/2010"_s, u"Dispensado"_s, u"Normal"_s};
        QTest::newRow("simples") << jet::Value(qint64(4)) << day(2010, 2, 20)
                                 << jet::Value(QStringLiteral("04")) << jet::Value(qint64(1))
                                 << GiaListRow{u"4"_s, u"02/2010"_s, u"Simples-ST"_s, u"Normal"_s};
        QTest::newRow("not the 20th")
            << jet::Value(qint64(5)) << day(2009, 5, 15) << jet::Value(QStringLiteral("02"))
            << jet::Value(qint64(1)) << GiaListRow{u"5"_s, u"15/05/2009"_s, u"RES"_s, u"Normal"_s};
        QTest::newRow("unknown codes shown as stored")
            << jet::Value(qint64(6)) << day(2009, 5, 20) << jet::Value(QStringLiteral("07"))
            << jet::Value(qint64(3)) << GiaListRow{u"6"_s, u"05/2009"_s, u"07"_s, u"3"_s};
        QTest::newRow("nulls") << jet::Value() << jet::Value() << jet::Value() << jet::Value()
                               << GiaListRow{u""_s, u""_s, u""_s, u""_s};
        QTest::newRow("type as text")
            << jet::Value(qint64(7)) << day(2009, 5, 20) << jet::Value(QStringLiteral("2"))
            << jet::Value(QStringLiteral("2")) << GiaListRow{u"7"_s, u"05/2009"_s, u"2"_s, u"Substitutiva"_s};
    }

    void gridTexts() {
        QFETCH(jet::Value, number);
        QFETCH(jet::Value, reference);
        QFETCH(jet::Value, regime);
        QFETCH(jet::Value, type);
        QFETCH(GiaListRow, expected);
        QCOMPARE(GiaDatabaseReader::listRow(GiaRecord{number, {}, type, regime, reference, {}}), expected);
    }

    void valueTexts_data() {
        QTest::addColumn<jet::Value>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("null") << jet::Value() << "";
        QTest::newRow("currency cents") << jet::Value(jet::Currency{123456700}) << "12345.67";
        QTest::newRow("currency whole") << jet::Value(jet::Currency{100000}) << "10";
        QTest::newRow("currency negative") << jet::Value(jet::Currency{-5000}) << "-0.5";
        QTest::newRow("currency largest")
            << jet::Value(jet::Currency{std::numeric_limits<qint64>::min()}) << "-922337203685477.5808";
        QTest::newRow("date") << jet::Value(jet::DateTime{39953.0}) << "20/05/2009";
        QTest::newRow("date and time") << jet::Value(jet::DateTime{39953.75}) << "20/05/2009 18:00:00";
        QTest::newRow("before 1899-12-30") << jet::Value(jet::DateTime{-1.5}) << "29/12/1899 12:00:00";
        QTest::newRow("boolean") << jet::Value(true) << "Verdadeiro";
        QTest::newRow("double") << jet::Value(0.1) << "0.1";
    }

    void valueTexts() {
        QFETCH(jet::Value, value);
        QFETCH(QString, expected);
        QCOMPARE(AccessValue::toText(value), expected);
    }

    void orderingPutsNullsFirstAndDatesInTime() {
        QVERIFY(AccessValue::lessThan(jet::Value(), jet::Value(jet::DateTime{1.0})));
        QVERIFY(!AccessValue::lessThan(jet::Value(jet::DateTime{1.0}), jet::Value()));
        // 1899-12-29 06:00 (-1.25) comes before 1899-12-29 12:00 (-1.5).
        QVERIFY(AccessValue::lessThan(jet::Value(jet::DateTime{-1.25}), jet::Value(jet::DateTime{-1.5})));
        QVERIFY(AccessValue::lessThan(jet::Value(jet::DateTime{-2.0}), jet::Value(jet::DateTime{-1.5})));
    }
};

QTEST_GUILESS_MAIN(GiaReaderTest)
#include "GiaReaderTest.moc"
