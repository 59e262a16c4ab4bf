#include "AccessFacts.h"
#include "JetFileChecker.h"
#include "JetTestSupport.h"
#include "MdbTableReader.h"

#include "jet/GeneralSortOrder.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <mdbtools.h>

#include <set>

using namespace jettest;

namespace {

QByteArray sortKey(const QString& text) {
    std::vector<quint8> out;
    if (!GeneralSortOrder::appendKey(text, out))
        return "<refused>";
    return QByteArray(reinterpret_cast<const char*>(out.data()), qsizetype(out.size()));
}

// The keys of the leaf page of the index "Unicode" on the text column of "Table", and the texts
// of the rows (UTF-8 as hex), one fact a line.
QStringList accessIndexFacts(const QString& path) {
    QStringList facts;
    MdbTableReader reader(path);
    MdbTableReader::Table t;
    if (!reader.read(QStringLiteral("Table"), &t))
        return facts;
    MdbHandle* mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!mdb)
        return facts;
    mdb_read_catalog(mdb, MDB_TABLE);
    char name[] = "Table";
    MdbTableDef* def = mdb_read_table_by_name(mdb, name, MDB_TABLE);
    mdb_read_columns(def);
    mdb_read_indices(def);
    quint32 leaf = 0;
    for (unsigned int i = 0; i < def->num_idxs; ++i) {
        auto* idx = static_cast<MdbIndex*>(g_ptr_array_index(def->indices, i));
        if (QByteArray(idx->name) == "Unicode")
            leaf = idx->first_pg;
    }
    mdb_free_tabledef(def);
    mdb_close(mdb);
    QFile file(path);
    if (!leaf || !file.open(QIODevice::ReadOnly) || !file.seek(qint64(leaf) * 4096))
        return facts;
    const QByteArray page = file.read(4096);
    if (page.size() != 4096 || page[0] != 4)
        return facts;
    int start = 0x1E0;
    for (int bit = 1; bit <= 4096 - 0x1E0; ++bit) {
        if (quint8(page[0x1B + bit / 8]) & (1 << (bit % 8))) {
            // flag and row pointer off
            facts << QStringLiteral("key ") +
                         QString::fromLatin1(page.mid(start + 1, 0x1E0 + bit - start - 5).toHex());
            start = 0x1E0 + bit;
        }
    }
    for (const Row& row : t.rows)
        facts << QStringLiteral("text ") + QString::fromLatin1(std::get<QString>(row[1]).toUtf8().toHex());
    return facts;
}

} // namespace

class StructureTest final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    static QString problems(const JetFileChecker& c) { return c.problems().join(QLatin1Char('\n')); }

private Q_SLOTS:
    void emptyDatabase() {
        const QString path = m_dir.filePath(QStringLiteral("empty.mdb"));
        QVERIFY(writeDatabase(path, Database{}));
        const JetFileChecker checker(path);
        QVERIFY2(checker.problems().isEmpty(), qPrintable(problems(checker)));
        QCOMPARE(checker.tables().size(), 5);
        QCOMPARE(checker.catalog().size(), 18);
        const auto* objects = checker.table(QStringLiteral("MSysObjects"));
        QCOMPARE(objects->rows, 18u);
        QCOMPARE(objects->indexes.size(), 2);
        for (const JetFileChecker::Index& index : objects->indexes)
            QCOMPARE(index.entries, 18u);
    }

    // A database shaped like a GIA package: accented names, memos, several indexes per table.
    void packageLikeDatabase() {
        Database db;
        db.password = QStringLiteral("lanterna7");
        TableData gia =
            table(QStringLiteral("tblGIA"), {column(QStringLiteral("NroGIA"), ColumnType::Long),
                                             column(QStringLiteral("IE"), ColumnType::Text, 15),
                                             column(QStringLiteral("Tipo"), ColumnType::Long),
                                             column(QStringLiteral("RegTrib"), ColumnType::Text, 2),
                                             column(QStringLiteral("Ref1"), ColumnType::DateTime)});
        gia.table.indexes = {Index{QStringLiteral("PrimaryKey"), {0}, true, true},
                             Index{QStringLiteral("IERef"), {1, 4}, false, false}};
        TableData occurrences = table(QStringLiteral("tblOcorrências"),
                                      {column(QStringLiteral("Código"), ColumnType::Long, 0, true),
                                       column(QStringLiteral("NroGIA"), ColumnType::Long),
                                       column(QStringLiteral("CódSubItem"), ColumnType::Text, 6),
                                       column(QStringLiteral("Valor"), ColumnType::Currency),
                                       column(QStringLiteral("Ocorrência"), ColumnType::Memo)});
        occurrences.table.indexes = {Index{QStringLiteral("PrimaryKey"), {0}, true, true},
                                     Index{QStringLiteral("NroGIA"), {1}, false, false},
                                     Index{QStringLiteral("CódSubItem"), {2}, false, false}};
        for (int i = 1; i <= 3000; ++i) {
            gia.rows << Row{Value{qint64(i)},
                            Value{QStringLiteral("110.%1.000.111").arg(i % 1000, 3, 10, QLatin1Char('0'))},
                            Value{qint64(1 + i % 2)}, Value{QStringLiteral("02")},
                            Value{DateTime::fromDate(QDate(2009, 1 + i % 12, 20))}};
            occurrences.rows << Row{
                Value{}, Value{qint64(i)}, Value{QStringLiteral("%1.%2").arg(i % 999).arg(i % 99)},
                Value{Currency{qint64(i) * 100}},
                Value{QStringLiteral("Ocorrência d'água nº %1 ").arg(i).repeated(1 + i % 40)}};
        }
        db.tables << gia << occurrences
                  << table(QStringLiteral("tblRegistroExportação"),
                           {column(QStringLiteral("NroGIA"), ColumnType::Long),
                            column(QStringLiteral("RE"), ColumnType::Text, 15)});
        const QString path = m_dir.filePath(QStringLiteral("package.mdb"));
        const Status written = writeDatabase(path, db);
        QVERIFY2(written, qPrintable(written.error().description));

        const JetFileChecker checker(path);
        QVERIFY2(checker.problems().isEmpty(), qPrintable(problems(checker)));
        const auto* occ = checker.table(QStringLiteral("tblOcorrências"));
        QVERIFY(occ);
        QCOMPARE(occ->rows, 3000u);
        QCOMPARE(occ->autoNumber, 3000u);
        QVERIFY(occ->inlineValues > 0 && occ->singleValues > 0);
        for (const JetFileChecker::Index& index : occ->indexes)
            QCOMPARE(index.leafEntries, 3000u);
        QVERIFY(occ->indexes[0].depth >= 2); // more than one leaf

        MdbTableReader reader(path);
        QCOMPARE(reader.tables(), (QStringList{QStringLiteral("tblGIA"), QStringLiteral("tblOcorrências"),
                                               QStringLiteral("tblRegistroExportação")}));
        MdbTableReader::Table t;
        QVERIFY(reader.read(QStringLiteral("tblOcorrências"), &t));
        QCOMPARE(t.rows.size(), 3000);
        QCOMPARE(t.rows[41][0], Value{qint64(42)});
        QCOMPARE(t.rows[41][4], occurrences.rows[41][4]);
        QCOMPARE(t.indexes.size(), 3);
        QVERIFY(reader.read(QStringLiteral("tblRegistroExportação"), &t));
        QCOMPARE(t.rows.size(), 0);
    }

    // Enough tables that the catalog, its indexes and the map rows take several pages.
    void manyTables() {
        Database db;
        for (int i = 0; i < 150; ++i) {
            TableData t = table(QStringLiteral("Tabela nº %1 de exportação").arg(i),
                                {column(QStringLiteral("Código"), ColumnType::Long, 0, true),
                                 column(QStringLiteral("Descrição"), ColumnType::Memo)},
                                {Row{Value{}, Value{QStringLiteral("x")}}});
            t.table.indexes = {Index{QStringLiteral("PrimaryKey"), {0}, true, true}};
            db.tables << t;
        }
        const QString path = m_dir.filePath(QStringLiteral("many.mdb"));
        const Status written = writeDatabase(path, db);
        QVERIFY2(written, qPrintable(written.error().description));
        const JetFileChecker checker(path);
        QVERIFY2(checker.problems().isEmpty(), qPrintable(problems(checker)));
        const auto* objects = checker.table(QStringLiteral("MSysObjects"));
        QCOMPARE(objects->rows, 18u + 150u);
        QVERIFY(objects->dataPages.size() > 1);
        QVERIFY(objects->indexes[0].depth >= 2);
        QCOMPARE(MdbTableReader(path).tables().size(), 150);
    }

    // A table whose definition does not fit on one page.
    void wideTable() {
        QList<Column> columns;
        Row row;
        for (int i = 0; i < 250; ++i) {
            columns << column(QStringLiteral("Coluna %1 com um nome bem comprido, até sessenta").arg(i),
                              ColumnType::Long);
            row << Value{qint64(i * 1000)};
        }
        Database db;
        db.tables << table(QStringLiteral("larga"), columns, {row, row});
        const QString path = m_dir.filePath(QStringLiteral("wide.mdb"));
        const Status written = writeDatabase(path, db);
        QVERIFY2(written, qPrintable(written.error().description));
        const JetFileChecker checker(path);
        QVERIFY2(checker.problems().isEmpty(), qPrintable(problems(checker)));
        QVERIFY(checker.table(QStringLiteral("larga"))->definitionPages > 1);
        MdbTableReader reader(path);
        MdbTableReader::Table t;
        QVERIFY(reader.read(QStringLiteral("larga"), &t));
        QCOMPARE(t.columns.size(), 250);
        QCOMPARE(t.columns.last().name, columns.last().name);
        QCOMPARE(t.rows.size(), 2);
        QCOMPARE(t.rows[1], row);
    }

    // The checker itself: damage a sound file in one place and it must say so.
    void checkerSeesDamage_data() {
        QTest::addColumn<int>("damage");
        QTest::newRow("page in use marked free") << 0;
        QTest::newRow("row count off by one") << 1;
        QTest::newRow("index entry count off by one") << 2;
        QTest::newRow("data page of another table") << 3;
        QTest::newRow("index entries out of order") << 4;
        QTest::newRow("page belonging to nothing") << 5;
        QTest::newRow("long value outside its map") << 6;
    }
    void checkerSeesDamage() {
        QFETCH(int, damage);
        Database db;
        db.tables << table(QStringLiteral("t"), {column(QStringLiteral("n"), ColumnType::Long),
                                                 column(QStringLiteral("m"), ColumnType::Memo)});
        db.tables[0].table.indexes = {Index{QStringLiteral("PrimaryKey"), {0}, true, true}};
        for (int i = 0; i < 50; ++i)
            db.tables[0].rows << Row{Value{qint64(i)}, Value{QString(100, QLatin1Char('m'))}};
        const QString path = m_dir.filePath(QStringLiteral("damaged%1.mdb").arg(damage));
        QVERIFY(writeDatabase(path, db));
        const JetFileChecker sound(path);
        QVERIFY2(sound.problems().isEmpty(), qPrintable(problems(sound)));
        const auto* info = sound.table(QStringLiteral("t"));

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        auto at = [&](qint64 page, int offset) -> char& {
            return bytes[page * 4096 + offset];
        };
        switch (damage) {
        case 0: {
            const int row = quint8(at(1, 14)) | (quint8(at(1, 15)) << 8);
            at(1, row + 5) = char(at(1, row + 5) | 0x08); // page 3
            break;
        }
        case 1:
            at(info->definitionPage, 16) = char(at(info->definitionPage, 16) + 1);
            break;
        case 2:
            at(info->definitionPage, 63 + 4) = char(at(info->definitionPage, 63 + 4) + 1);
            break;
        case 3:
            at(info->dataPages.front(), 4) = 3;
            break;
        case 4:
            at(info->indexes[0].pages.front(), 0x1E0 + 4) = char(0x7F); // first key above the others
            break;
        case 5:
            bytes.append(QByteArray(4096, '\0'));
            break;
        case 6: {
            // Point the first row's memo at the header page.
            const qint64 page = info->dataPages.front();
            const int start = quint8(at(page, 14)) | (quint8(at(page, 15)) << 8);
            at(page, start + 2 + 4 + 5) = 0; // row: count, fixed long, then the 12-byte reference
            at(page, start + 2 + 4 + 6) = 0;
            at(page, start + 2 + 4 + 7) = 0;
            break;
        }
        }
        QVERIFY(file.seek(0));
        file.write(bytes);
        file.close();
        QVERIFY(!JetFileChecker(path).problems().isEmpty());
    }

    // Keys as Access writes them in its own files' indexes.
    void sortKeys_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("key");
        QTest::newRow("Tables") << QStringLiteral("Tables") << QByteArray::fromHex("6d4a4c5e516b0100");
        QTest::newRow("case is ignored")
            << QStringLiteral("MSysACEs") << QByteArray::fromHex("606b766b4a4d516b0100");
        QTest::newRow("digits") << QStringLiteral("Table3Table1")
                                << QByteArray::fromHex("6d4a4c5e513c6d4a4c5e51380100");
        QTest::newRow("underscores")
            << QStringLiteral("f_B2444F72C17C49C3B2E92EED7C2E6EF3_Data")
            << QByteArray::fromHex(
                   "532b034c3a3e3e3e53443a4d38444d3e484d3c4c3a51483a51514f444d3a514251533c2b034f4a6d4a0100");
        QTest::newRow("umlaut") << QStringLiteral("ümlaut") << QByteArray::fromHex("6f605e4a6f6d011300");
        QTest::newRow("accents among plain letters")
            << QStringLiteral("ääkkösiä") << QByteArray::fromHex("4a4a5c5c646b594a01131302021302021300");
        QTest::newRow("unprintable characters")
            << QString::fromUtf8("3L9\x1d"
                                 "52\x02_AB(\xc2\xa5\x05!!V")
            << QByteArray::fromHex("3c5e48403a2b034a4c1434a909097101010101801306"
                                   "1a801b0604802f060700");
        QTest::newRow("empty") << QString() << QByteArray::fromHex("0100");
        QTest::newRow("beyond latin-1 refused") << QStringLiteral("漢") << QByteArray("<refused>");
    }
    void sortKeys() {
        QFETCH(QString, text);
        QFETCH(QByteArray, key);
        QCOMPARE(sortKey(text).toHex(), key.toHex());
    }

    // Access's own index over texts holding every Latin-1 character agrees with our keys: the
    // keys of its leaf page and the texts of its rows, taken from a file Access 2003 made.
    void sortKeysMatchAccessIndex() {
        const QString fixture = QStringLiteral("compressed-text-access2003.keys.txt");
        if (!deriveFixturesFrom().isEmpty())
            QVERIFY(writeFacts(fixture, accessIndexFacts(deriveFixturesFrom() +
                                                         QStringLiteral("/compressed-text-access2003.mdb"))));
        const QStringList facts = readFacts(fixture);
        std::multiset<QByteArray> accessKeys;
        for (const QString& line : factsOf(facts, QStringLiteral("key")))
            accessKeys.insert(QByteArray::fromHex(line.section(QLatin1Char(' '), 1).toLatin1()));
        QVERIFY(!accessKeys.empty());
        int compared = 0;
        for (const QString& line : factsOf(facts, QStringLiteral("text"))) {
            const QString text =
                QString::fromUtf8(QByteArray::fromHex(line.section(QLatin1Char(' '), 1).toLatin1()));
            const QByteArray key = sortKey(text);
            if (key == "<refused>")
                continue; // Greek, Cyrillic, Japanese: beyond our table
            QVERIFY2(accessKeys.count(key) == 1, qPrintable(text.left(40)));
            ++compared;
        }
        QCOMPARE(compared, 5); // including the row holding every Latin-1 character
    }
};

int jettest::runStructureTest(int argc, char** argv) {
    StructureTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "StructureTest.moc"
