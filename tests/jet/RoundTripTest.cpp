#include "JetFileChecker.h"
#include "JetTestSupport.h"
#include "MdbTableReader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>

using namespace jettest;

Q_DECLARE_METATYPE(fiscora::jet::Value)
Q_DECLARE_METATYPE(fiscora::jet::ColumnType)

namespace {

Value text(const QString& s) {
    return Value{s};
}
Value number(qint64 n) {
    return Value{n};
}
Value money(qint64 scaled) {
    return Value{Currency{scaled}};
}
Value date(const QDate& d, const QTime& t = QTime(0, 0)) {
    double days = DateTime::fromDate(d).oleDays;
    const double fraction = t.msecsSinceStartOfDay() / 86400000.0;
    days = days >= 0 ? days + fraction : days - fraction; // before 1899-12-30 the time counts down
    return Value{DateTime{days}};
}

QString latin(int n) // compressible: one byte per character once stored
{
    QString s;
    for (int i = 0; i < n; ++i)
        s += QChar(u"abcdefghijçãéõü' "[i % 17]);
    return s;
}

QString wide(int n) // not compressible: two bytes per character
{
    QString s = latin(n);
    if (n > 0)
        s[n / 2] = QChar(0x03A9); // Ω
    return s;
}

} // namespace

class RoundTripTest final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_count = 0;

    QString write(const Database& db) {
        const QString path = m_dir.filePath(QStringLiteral("t%1.mdb").arg(++m_count));
        if (const Status written = writeDatabase(path, db); !written)
            qWarning("write failed: %s", qPrintable(written.error().description));
        return path;
    }

    static void verifyStructure(const QString& path) {
        const JetFileChecker checker(path);
        QVERIFY2(checker.problems().isEmpty(), qPrintable(checker.problems().join(QLatin1Char('\n'))));
    }

private Q_SLOTS:
    void value_data() {
        QTest::addColumn<ColumnType>("type");
        QTest::addColumn<int>("size");
        QTest::addColumn<Value>("value");
        QTest::addColumn<int>("storage"); // long values: 1 inline, 2 one row, 3 chained

        const auto row = [](const char* name, ColumnType t, int size, const Value& v, int storage = 0) {
            QTest::newRow(name) << t << size << v << storage;
        };
        row("text empty", ColumnType::Text, 10, text(QString()));
        row("text 255", ColumnType::Text, 255, text(latin(255)));
        row("text 255 wide", ColumnType::Text, 255, text(wide(255)));
        row("text accents", ColumnType::Text, 50, text(QStringLiteral("Ocorrência ção ÁÉÍÓÚ ãõ ü")));
        row("text apostrophes", ColumnType::Text, 50, text(QStringLiteral("d'água 'x' ''")));
        row("text beyond latin-1", ColumnType::Text, 50, text(QStringLiteral("€ “aspas” — Ω 漢字")));
        row("text two characters", ColumnType::Text, 5, text(QStringLiteral("ab")));
        row("text null", ColumnType::Text, 5, Value{});
        row("memo 64 bytes", ColumnType::Memo, 0, text(latin(62)), 1);
        row("memo 65 bytes", ColumnType::Memo, 0, text(latin(63)), 2);
        row("memo 600 bytes", ColumnType::Memo, 0, text(latin(598)), 2);
        row("memo 4076 bytes", ColumnType::Memo, 0, text(wide(2038)), 2);
        row("memo 5000 bytes", ColumnType::Memo, 0, text(wide(2500)), 3);
        row("memo 1025 characters", ColumnType::Memo, 0, text(latin(1025)), 2);
        row("memo 100000 characters", ColumnType::Memo, 0, text(latin(100000)), 3);
        row("memo empty", ColumnType::Memo, 0, text(QString()), 1);
        row("memo null", ColumnType::Memo, 0, Value{});
        row("long min", ColumnType::Long, 0, number(std::numeric_limits<qint32>::min()));
        row("long max", ColumnType::Long, 0, number(std::numeric_limits<qint32>::max()));
        row("long null", ColumnType::Long, 0, Value{});
        row("integer min", ColumnType::Integer, 0, number(-32768));
        row("integer max", ColumnType::Integer, 0, number(32767));
        row("byte 0", ColumnType::Byte, 0, number(0));
        row("byte 255", ColumnType::Byte, 0, number(255));
        row("boolean true", ColumnType::Boolean, 0, Value{true});
        row("boolean false", ColumnType::Boolean, 0, Value{false});
        row("currency 0.01", ColumnType::Currency, 0, money(100));
        row("currency 9,999,999,999,999.99", ColumnType::Currency, 0, money(99999999999999900LL));
        row("currency -0.0001", ColumnType::Currency, 0, money(-1));
        row("currency int64 min", ColumnType::Currency, 0, money(std::numeric_limits<qint64>::min()));
        row("currency zero", ColumnType::Currency, 0, money(0));
        row("double 0.1", ColumnType::Double, 0, Value{0.1});
        row("double -1e300", ColumnType::Double, 0, Value{-1e300});
        row("double denormal", ColumnType::Double, 0, Value{5e-324});
        row("single 1.5", ColumnType::Single, 0, Value{1.5});
        row("single -3e38", ColumnType::Single, 0, Value{double(-3e38f)});
        row("date 2009-05-20", ColumnType::DateTime, 0, date(QDate(2009, 5, 20)));
        row("date 1850-03-04", ColumnType::DateTime, 0, date(QDate(1850, 3, 4)));
        row("date 1899-12-29 noon", ColumnType::DateTime, 0, date(QDate(1899, 12, 29), QTime(12, 0)));
        row("date 0100-01-01", ColumnType::DateTime, 0, date(QDate(100, 1, 1)));
        row("date 9999-12-31 23:59:59", ColumnType::DateTime, 0,
            date(QDate(9999, 12, 31), QTime(23, 59, 59)));
        row("date null", ColumnType::DateTime, 0, Value{});
    }
    void value() {
        QFETCH(ColumnType, type);
        QFETCH(int, size);
        QFETCH(Value, value);
        QFETCH(int, storage);
        Database db;
        db.tables << table(
            QStringLiteral("t"),
            {column(QStringLiteral("id"), ColumnType::Long), column(QStringLiteral("v"), type, size)},
            {Row{number(1), value}, Row{number(2), value}});
        const QString path = write(db);
        verifyStructure(path);

        MdbTableReader reader(path);
        QVERIFY(reader.isOpen());
        MdbTableReader::Table t;
        QVERIFY(reader.read(QStringLiteral("t"), &t));
        QCOMPARE(t.rows.size(), 2);
        QCOMPARE(t.rows[0][1], value);
        QCOMPARE(t.rows[1][1], value);

        if (storage) {
            const JetFileChecker checker(path);
            const auto* info = checker.table(QStringLiteral("t"));
            QVERIFY(info);
            const int kinds[] = {0, info->inlineValues, info->singleValues, info->chainedValues};
            QCOMPARE(kinds[storage], 2);
        }
    }

    void everyTypeInOneRow() {
        Database db;
        db.password = QStringLiteral("lanterna7");
        db.tables << table(QStringLiteral("tblDetalhesCFOPs"),
                           {column(QStringLiteral("NroGIA"), ColumnType::Long),
                            column(QStringLiteral("CFOP"), ColumnType::Text, 5),
                            column(QStringLiteral("ValorContábil"), ColumnType::Currency),
                            column(QStringLiteral("Data"), ColumnType::DateTime),
                            column(QStringLiteral("Ocorrência"), ColumnType::Memo),
                            column(QStringLiteral("Ok"), ColumnType::Boolean),
                            column(QStringLiteral("Razão"), ColumnType::Double),
                            column(QStringLiteral("Tipo"), ColumnType::Integer),
                            column(QStringLiteral("Movimento"), ColumnType::Byte),
                            column(QStringLiteral("Taxa"), ColumnType::Single)});
        const Row full{number(7),
                       text(QStringLiteral("5.102")),
                       money(1234567),
                       date(QDate(2009, 5, 20)),
                       text(QStringLiteral("d'água")),
                       Value{true},
                       Value{2.5},
                       number(-2),
                       number(9),
                       Value{0.25}};
        const Row empty{Value{},      Value{}, Value{}, Value{}, Value{},
                        Value{false}, Value{}, Value{}, Value{}, Value{}};
        db.tables[0].rows = {full, empty, full};
        const QString path = write(db);
        verifyStructure(path);
        MdbTableReader reader(path);
        MdbTableReader::Table t;
        QVERIFY(reader.read(QStringLiteral("tblDetalhesCFOPs"), &t));
        QCOMPARE(t.rows.size(), 3);
        QCOMPARE(t.rows[0], full);
        QCOMPARE(t.rows[1], empty);
        QCOMPARE(t.rows[2], full);
        QCOMPARE(reader.tables(), QStringList{QStringLiteral("tblDetalhesCFOPs")});
    }

    void autoNumber() {
        Database db;
        db.tables << table(QStringLiteral("tblOcorrências"),
                           {column(QStringLiteral("Código"), ColumnType::Long, 0, true),
                            column(QStringLiteral("NroGIA"), ColumnType::Long)},
                           {Row{Value{}, number(1)}, Row{Value{}, number(1)}, Row{number(10), number(2)},
                            Row{Value{}, number(2)}, Row{number(5), number(3)}, Row{Value{}, number(3)}});
        db.tables[0].table.indexes = {Index{QStringLiteral("PrimaryKey"), {0}, true, true}};
        const QString path = write(db);
        verifyStructure(path);
        MdbTableReader reader(path);
        MdbTableReader::Table t;
        QVERIFY(reader.read(QStringLiteral("tblOcorrências"), &t));
        QList<qint64> codes;
        for (const Row& r : t.rows)
            codes << std::get<qint64>(r[0]);
        QCOMPARE(codes, (QList<qint64>{1, 2, 10, 11, 5, 12}));
        QCOMPARE(JetFileChecker(path).table(QStringLiteral("tblOcorrências"))->autoNumber, 12u);
    }

    // 15 rows of 255 compressed characters and one of 49 fill a page to its last byte.
    void pageFilledExactly() {
        QList<Row> rows;
        for (int i = 0; i < 15; ++i)
            rows << Row{text(latin(255))};
        rows << Row{text(latin(49))} << Row{text(QStringLiteral("next"))};
        Database db;
        db.tables << table(QStringLiteral("t"), {column(QStringLiteral("v"), ColumnType::Text, 255)}, rows);
        const QString path = write(db);
        verifyStructure(path);
        const JetFileChecker checker(path);
        const auto* info = checker.table(QStringLiteral("t"));
        QVERIFY(info);
        QCOMPARE(info->rowsPerPage, (std::vector<int>{16, 1}));
        QCOMPARE(info->freeSpace.front(), 0);
        MdbTableReader reader(path);
        MdbTableReader::Table t;
        QVERIFY(reader.read(QStringLiteral("t"), &t));
        QCOMPARE(t.rows.size(), 17);
        QCOMPARE(t.rows[15][0], text(latin(49)));
        QCOMPARE(t.rows[16][0], text(QStringLiteral("next")));
    }

    void atMost255RowsOnAPage() {
        QList<Row> rows;
        for (int i = 0; i < 300; ++i)
            rows << Row{number(i % 256)};
        Database db;
        db.tables << table(QStringLiteral("t"), {column(QStringLiteral("b"), ColumnType::Byte)}, rows);
        const QString path = write(db);
        verifyStructure(path);
        QCOMPARE(JetFileChecker(path).table(QStringLiteral("t"))->rowsPerPage, (std::vector<int>{255, 45}));
        MdbTableReader reader(path);
        MdbTableReader::Table t;
        QVERIFY(reader.read(QStringLiteral("t"), &t));
        QCOMPARE(t.rows.size(), 300);
        QCOMPARE(t.rows[299][0], number(299 % 256));
    }

    // More than 512 data pages: the table's usage map must refer to bitmap pages.
    void tableOfMoreThan512Pages() {
        QList<Row> rows;
        for (int i = 0; i < 15 * 520; ++i)
            rows << Row{number(i), text(QString::number(i).rightJustified(250, QLatin1Char('x')))};
        Database db;
        db.tables << table(QStringLiteral("big"),
                           {column(QStringLiteral("n"), ColumnType::Long),
                            column(QStringLiteral("v"), ColumnType::Text, 255)},
                           rows);
        db.tables[0].table.indexes = {Index{QStringLiteral("PrimaryKey"), {0}, true, true},
                                      Index{QStringLiteral("v"), {1}, false, false}};
        const QString path = write(db);
        verifyStructure(path);
        const JetFileChecker checker(path);
        const auto* info = checker.table(QStringLiteral("big"));
        QVERIFY(info);
        QVERIFY(info->dataPages.size() > 512);
        QCOMPARE(info->ownedMapType, 1);
        QVERIFY(info->indexes[1].depth >= 2);

        MdbTableReader reader(path);
        MdbTableReader::Table t;
        QVERIFY(reader.read(QStringLiteral("big"), &t));
        QCOMPARE(t.rows.size(), rows.size());
        for (qsizetype i = 0; i < rows.size(); i += 997)
            QCOMPARE(t.rows[i], rows[i]);
        QCOMPARE(t.rows.last(), rows.last());
    }

    void refusesWhatCannotBeStored_data() {
        QTest::addColumn<int>("which");
        QTest::newRow("text into a long") << 0;
        QTest::newRow("text longer than its column") << 1;
        QTest::newRow("null in a required column") << 2;
        QTest::newRow("duplicate in a unique index") << 3;
        QTest::newRow("unknown character in an indexed text") << 4;
        QTest::newRow("invalid table name") << 5;
        QTest::newRow("duplicate table") << 6;
        QTest::newRow("table named like a system table") << 7;
        QTest::newRow("autonumber on text") << 8;
        QTest::newRow("index on a memo") << 9;
        QTest::newRow("row longer than a page allows") << 10;
        QTest::newRow("wrong number of values") << 11;
        QTest::newRow("long out of range") << 12;
        QTest::newRow("date after 9999") << 13;
        QTest::newRow("not a number") << 14;
        QTest::newRow("currency as a double") << 15;
        QTest::newRow("text size 256") << 16;
        QTest::newRow("duplicate in the primary key") << 17;
        QTest::newRow("tables named alike for Access") << 18;
        QTest::newRow("index key larger than a page") << 19;
    }
    void refusesWhatCannotBeStored() {
        QFETCH(int, which);
        Database db;
        TableData t = table(QStringLiteral("t"), {column(QStringLiteral("n"), ColumnType::Long),
                                                  column(QStringLiteral("s"), ColumnType::Text, 5)});
        switch (which) {
        case 0:
            t.rows = {Row{text(QStringLiteral("1")), Value{}}};
            break;
        case 1:
            t.rows = {Row{number(1), text(QStringLiteral("123456"))}};
            break;
        case 2:
            t.table.columns[1].required = true;
            t.rows = {Row{number(1), Value{}}};
            break;
        case 3:
            t.table.indexes = {Index{QStringLiteral("s"), {1}, false, true}};
            t.rows = {Row{number(1), text(QStringLiteral("Ab"))}, Row{number(2), text(QStringLiteral("aB"))}};
            break;
        case 4:
            t.table.indexes = {Index{QStringLiteral("s"), {1}, false, false}};
            t.rows = {Row{number(1), text(QStringLiteral("漢"))}};
            break;
        case 5:
            t.table.name = QStringLiteral("a.b");
            break;
        case 6:
            db.tables << t;
            t.table.name = QStringLiteral("T");
            break;
        case 7:
            t.table.name = QStringLiteral("MSysObjects");
            break;
        case 8:
            t.table.columns[1].autoNumber = true;
            break;
        case 9:
            t.table.columns[1].type = ColumnType::Memo;
            t.table.indexes = {Index{QStringLiteral("s"), {1}, false, false}};
            break;
        case 10:
            t.table.columns.clear();
            t.rows = {Row{}};
            for (int i = 0; i < 9; ++i) {
                t.table.columns << column(QStringLiteral("c%1").arg(i), ColumnType::Text, 255);
                t.rows[0] << text(wide(255));
            }
            break;
        case 11:
            t.rows = {Row{number(1)}};
            break;
        case 12:
            t.rows = {Row{number(qint64(1) << 31), Value{}}};
            break;
        case 13:
            t.table.columns[0].type = ColumnType::DateTime;
            t.rows = {Row{date(QDate(9999, 12, 31)), Value{}}};
            std::get<DateTime>(t.rows[0][0]).oleDays += 1;
            break;
        case 14:
            t.table.columns[0].type = ColumnType::Double;
            t.rows = {Row{Value{std::nan("")}, Value{}}};
            break;
        case 15:
            t.table.columns[0].type = ColumnType::Currency;
            t.rows = {Row{Value{0.01}, Value{}}};
            break;
        case 16:
            t.table.columns[1].size = 256;
            break;
        case 18:
            db.tables << t;
            t.table.name = QStringLiteral("ß");
            db.tables[0].table.name = QStringLiteral("SS");
            break;
        case 19:
            t.table.columns.clear();
            t.rows = {Row{}};
            for (int i = 0; i < 10; ++i) {
                t.table.columns << column(QStringLiteral("c%1").arg(i), ColumnType::Text, 255);
                t.rows[0] << text(QString(255, QLatin1Char('-'))); // hyphens: four key bytes each
            }
            t.table.indexes = {Index{QStringLiteral("tudo"), {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, false, false}};
            break;
        case 17:
            t.table.indexes = {Index{QStringLiteral("PrimaryKey"), {0}, true, false}};
            t.rows = {Row{number(1), Value{}}, Row{number(1), Value{}}};
            break;
        }
        db.tables << t;

        // An existing file at the path is left as it was.
        const QString path = m_dir.filePath(QStringLiteral("refused%1.mdb").arg(which));
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("previous");
        }
        const Status written = writeDatabase(path, db);
        QVERIFY(!written);
        QVERIFY(!written.error().description.isEmpty());
        QFile old(path);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("previous"));
        QCOMPARE(
            QDir(m_dir.path()).entryList(QDir::Files).filter(QStringLiteral("refused%1").arg(which)).size(),
            1);
    }

    void unwritableFolder() {
        const Status written = writeDatabase(m_dir.filePath(QStringLiteral("missing/x.mdb")), Database{});
        QVERIFY(!written);
        QVERIFY(written.error().description.contains(QStringLiteral("x.mdb")));
    }

    void replacesExistingFile() {
        const QString path = m_dir.filePath(QStringLiteral("replace.mdb"));
        Database db;
        db.tables << table(QStringLiteral("a"), {column(QStringLiteral("n"), ColumnType::Long)},
                           {Row{number(1)}});
        QVERIFY(writeDatabase(path, db));
        db.tables[0].table.name = QStringLiteral("b");
        QVERIFY(writeDatabase(path, db));
        QCOMPARE(MdbTableReader(path).tables(), QStringList{QStringLiteral("b")});
    }
};

int jettest::runRoundTripTest(int argc, char** argv) {
    RoundTripTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "RoundTripTest.moc"
