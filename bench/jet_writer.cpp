// Times the Access writer on tables of the sizes a GIA package reaches. Prints the median of
// several runs of each case and the size of the file written.
//
//   bench_jet_writer [runs]

#include "jet/JetDatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace fiscora::jet;

namespace {

Column column(const char* name, ColumnType type, int size = 0, bool autoNumber = false) {
    Column c;
    c.name = QString::fromUtf8(name);
    c.type = type;
    c.size = size;
    c.autoNumber = autoNumber;
    return c;
}

// A detail table shaped like tblDetalhesCFOPs: the GIA, a CFOP and nine amounts.
TableData cfopTable(const QString& name, int rows, bool indexed) {
    TableData t;
    t.table.name = name;
    t.table.columns = {column("NroGIA", ColumnType::Long), column("CFOP", ColumnType::Text, 5)};
    for (const char* amount :
         {"ValorContábil", "BaseCálculo", "Imposto", "IsentasNãoTrib", "Outras", "ImpostoRetidoST",
          "ImpRetSubstitutoST", "ImpRetSubstituido", "OutrosImpostos"})
        t.table.columns << column(amount, ColumnType::Currency);
    if (indexed)
        t.table.indexes = {Index{QStringLiteral("NroGIA"), {0}, false, false}};
    t.rows.reserve(rows);
    for (int i = 0; i < rows; ++i) {
        Row r;
        r.reserve(t.table.columns.size());
        r << Value{qint64(1 + i / 100)} << Value{QStringLiteral("5.102")};
        for (int k = 0; k < 9; ++k)
            r << Value{Currency{qint64(i) * 1000 + k}};
        t.rows << r;
    }
    return t;
}

// What a conversion of 1,000 GIAs with 9,999 records of each detail type writes.
Database package() {
    Database db;
    db.password = QStringLiteral("lanterna7");
    TableData gia;
    gia.table.name = QStringLiteral("tblGIA");
    gia.table.columns = {column("NroGIA", ColumnType::Long),   column("IE", ColumnType::Text, 15),
                         column("Tipo", ColumnType::Long),     column("RegTrib", ColumnType::Text, 2),
                         column("Ref1", ColumnType::DateTime), column("Movimento", ColumnType::Long)};
    gia.table.indexes = {Index{QStringLiteral("PrimaryKey"), {0}, true, true}};
    for (int i = 1; i <= 1000; ++i)
        gia.rows << Row{Value{qint64(i)},
                        Value{QStringLiteral("110.042.490.114")},
                        Value{qint64(1)},
                        Value{QStringLiteral("02")},
                        Value{DateTime::fromDate(QDate(2009, 5, 20))},
                        Value{qint64(1)}};
    db.tables << gia;
    for (const char* name :
         {"tblDetalhesCFOPs", "tblDetalhesInterUFs", "tblZFM_ALC", "tblIEsRemetente", "tblIESubstituto",
          "tblIRSubstituido", "tblRecibosCredito", "tblDIPAM", "tblRegistroExportação"})
        db.tables << cfopTable(QString::fromUtf8(name), 9999, true);
    TableData occurrences;
    occurrences.table.name = QStringLiteral("tblOcorrências");
    occurrences.table.columns = {
        column("Código", ColumnType::Long, 0, true), column("NroGIA", ColumnType::Long),
        column("CódSubItem", ColumnType::Text, 6),   column("Valor", ColumnType::Currency),
        column("FLegal", ColumnType::Text, 100),     column("Ocorrência", ColumnType::Memo),
        column("OpPróprias", ColumnType::Long)};
    occurrences.table.indexes = {Index{QStringLiteral("PrimaryKey"), {0}, true, true}};
    for (int i = 0; i < 9999; ++i)
        occurrences.rows << Row{
            Value{},
            Value{qint64(1 + i / 10)},
            Value{QStringLiteral("002.10")},
            Value{Currency{123456}},
            Value{QStringLiteral("Art. 1º, d'água")},
            Value{QStringLiteral("Ocorrência com texto de até trezentos caracteres ").repeated(4)},
            Value{qint64(1)}};
    db.tables << occurrences;
    return db;
}

struct Result {
    double medianMs;
    double minMs;
    qint64 bytes;
    qint64 rows;
};

Result time(const Database& db, int runs, const QString& path) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (const fiscora::Status written = writeDatabase(path, db); !written) {
            std::fprintf(stderr, "write failed: %s\n", qPrintable(written.error().description));
            std::exit(1);
        }
        ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    qint64 rows = 0;
    for (const TableData& t : db.tables)
        rows += t.rows.size();
    return Result{ms[ms.size() / 2], ms.front(), QFileInfo(path).size(), rows};
}

void report(const char* name, const Result& r) {
    std::printf("%-46s %9lld rows  median %8.1f ms  min %8.1f ms  %6.2f MB  %6.2f M rows/s\n", name,
                static_cast<long long>(r.rows), r.medianMs, r.minMs, r.bytes / 1e6,
                r.rows / r.medianMs / 1e3);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.mdb"));

    Database plain;
    plain.tables << cfopTable(QStringLiteral("tblDetalhesCFOPs"), 100000, false);
    report("100,000 rows, 11 columns, no index", time(plain, runs, path));

    Database indexed;
    indexed.tables << cfopTable(QStringLiteral("tblDetalhesCFOPs"), 100000, true);
    report("100,000 rows, 11 columns, index on NroGIA", time(indexed, runs, path));

    report("package: 1,000 GIAs, 9,999 rows x 10 tables", time(package(), runs, path));

    Database empty;
    report("empty database (catalog only)", time(empty, runs, path));
    return 0;
}
