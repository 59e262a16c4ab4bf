// Conversion of a GIA text file of 1,000 GIAs holding 9,999 records of each detail type into
// the package, beside the time SQLite takes to insert the same rows in one transaction.
//
//   bench_gia_conversion [PROGRAM_FOLDER] [RUNS]

#include "BenchSupport.h"

#include "data/AccessReader.h"
#include "data/GiaConversion.h"
#include "data/GiaTextConverter.h"
#include "data/NovaGiaLayout.h"
#include "support/GiaTextBuilder.h"

#include "support/Await.h"

#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>

using namespace fiscora;
using T = fiscora::test::GiaTextBuilder;

namespace {

constexpr int kGias = 1000;
constexpr int kPerType = 9999;

QByteArray giaText() {
    QList<QByteArray> lines{T::header01()};
    for (int g = 0; g < kGias; ++g) {
        // Records of each type spread over the GIAs: 10 each for the first 999, 9 for the last.
        const int count = (kPerType / kGias) + (g < kPerType % kGias ? 1 : 0);
        const QByteArray ie = T::digits(100000000000 + g % 50, 12);
        lines.append(T::gia05(ie, "20" + T::digits(g % 20 + 5, 2) + T::digits(g % 12 + 1, 2)));
        for (int k = 0; k < count; ++k) {
            const qint64 v = qint64(g) * 1000 + k;
            lines.append(T::cfop10("6102  ", {v, v, v, v, v, v, v, v, v}));
            lines.append(T::interUf14("RJ", {v, v, v, v, v, v, v, v, v}));
            lines.append(T::zfm18(T::digits(v, 9), "20090514", v));
        }
        for (int k = 0; k < count; ++k) {
            const qint64 v = qint64(g) * 1000 + k;
            lines.append(T::occurrence20("00201", v, QStringLiteral("Art. %1 d'água").arg(v),
                                         QStringLiteral("Ocorrência número %1").arg(v)));
            lines.append(T::sender25(ie, v));
            lines.append(T::substitute26(ie, T::digits(v, 9), "200901", "200912", v));
            lines.append(T::substituted27(ie, T::digits(v, 9), v));
            lines.append(T::receipt28(T::digits(v, 12), v));
        }
        for (int k = 0; k < count; ++k) {
            const qint64 v = qint64(g) * 1000 + k;
            lines.append(T::dipam30("22", "35503", v));
            lines.append(T::export31(T::digits(v, 15)));
        }
    }
    return T::file(lines);
}

const char* sqliteType(jet::ColumnType type) {
    switch (type) {
    case jet::ColumnType::Text:
    case jet::ColumnType::Memo:
        return "TEXT";
    case jet::ColumnType::Double:
    case jet::ColumnType::Single:
    case jet::ColumnType::DateTime:
        return "REAL";
    default:
        return "INTEGER";
    }
}

bool check(int rc, sqlite3* db) {
    if (rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW)
        return true;
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
    return false;
}

// The same tables and rows in SQLite, inserted with prepared statements in one transaction.
bool insertIntoSqlite(const QString& path, const jet::Database& rows) {
    QFile::remove(path);
    sqlite3* db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
        return false;
    bool ok = check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
    for (const jet::TableData& table : rows.tables) {
        QByteArray create = "CREATE TABLE \"" + table.table.name.toUtf8() + "\" (";
        QByteArray insert = "INSERT INTO \"" + table.table.name.toUtf8() + "\" VALUES (";
        for (qsizetype c = 0; c < table.table.columns.size(); ++c) {
            create += (c ? ", \"" : "\"") + table.table.columns.at(c).name.toUtf8() + "\" " +
                      sqliteType(table.table.columns.at(c).type);
            insert += c ? ", ?" : "?";
        }
        ok = ok &&
             check(sqlite3_exec(db, QByteArray(create + ")").constData(), nullptr, nullptr, nullptr), db);
        sqlite3_stmt* statement = nullptr;
        ok = ok &&
             check(sqlite3_prepare_v2(db, QByteArray(insert + ")").constData(), -1, &statement, nullptr), db);
        for (const jet::Row& row : table.rows) {
            if (!ok)
                break;
            for (qsizetype c = 0; c < row.size(); ++c) {
                const int at = int(c) + 1;
                const jet::Value& value = row.at(c);
                if (const auto* i = std::get_if<qint64>(&value))
                    sqlite3_bind_int64(statement, at, *i);
                else if (const auto* m = std::get_if<jet::Currency>(&value))
                    sqlite3_bind_int64(statement, at, m->scaled);
                else if (const auto* d = std::get_if<jet::DateTime>(&value))
                    sqlite3_bind_double(statement, at, d->oleDays);
                else if (const auto* s = std::get_if<QString>(&value)) {
                    const QByteArray utf8 = s->toUtf8();
                    sqlite3_bind_text(statement, at, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
                } else
                    sqlite3_bind_null(statement, at);
            }
            ok = check(sqlite3_step(statement), db);
            sqlite3_reset(statement);
        }
        sqlite3_finalize(statement);
    }
    ok = ok && check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
    sqlite3_close(db);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString folder = bench::programFolder();
    const int runs = argc > 2 ? qMax(1, QByteArray(argv[2]).toInt()) : 5;
    const AccessReader reader(folder + QStringLiteral("/fiscora-leitor-mdb"), test::sharedSeams().gate);
    const QString templatePath = folder + QStringLiteral("/gia_limpa.mdb");
    if (!QFile::exists(templatePath)) {
        std::fprintf(stderr, "sem %s: construa o alvo fiscora primeiro\n", qPrintable(templatePath));
        return 1;
    }
    QTemporaryDir dir;
    const QString text = dir.filePath(QStringLiteral("giabench.prf"));
    const QString package = dir.filePath(QStringLiteral("atual.mdb"));
    {
        QFile file(text);
        if (!file.open(QIODevice::WriteOnly) || file.write(giaText()) < 0)
            return 1;
    }
    std::printf("texto GIA: %d GIAs, %d registros de cada tipo de detalhe, %.1f MiB\n", kGias, kPerType,
                QFileInfo(text).size() / 1048576.0);
    const double before = bench::peakMiB(RUSAGE_SELF);

    GiaConversion::Outcome last;
    const double convertMs =
        bench::medianMs(runs, [&] { last = test::convertGia(text, package, templatePath, reader); });
    if (!last.ok) {
        std::fprintf(stderr, "%s\n", qPrintable(last.message));
        return 1;
    }
    const double peak = bench::peakMiB(RUSAGE_SELF);

    // The same rows, parsed into memory only, and then into SQLite.
    jet::Database rows;
    const double parseMs = bench::medianMs(runs, [&] {
        rows = NovaGiaLayout::emptyDatabase();
        GiaTextConverter converter(&rows);
        Status converted = converter.prepare();
        if (converted)
            converted = converter.addFile(text);
        if (!converted)
            std::fprintf(stderr, "%s\n", qPrintable(converted.error().description));
    });
    qsizetype rowCount = 0;
    for (const jet::TableData& table : rows.tables)
        rowCount += table.rows.size();
    bool sqliteOk = true;
    const double sqliteMs = bench::medianMs(runs, [&] {
        sqliteOk = insertIntoSqlite(dir.filePath(QStringLiteral("anchor.sqlite")), rows) && sqliteOk;
    });
    if (!sqliteOk)
        return 1;

    std::printf("linhas gravadas: %lld em %d tabelas; pacote de %.1f MiB\n", qlonglong(rowCount),
                int(rows.tables.size()), QFileInfo(package).size() / 1048576.0);
    std::printf("conversão completa (mediana de %d): %.0f ms (meta: < 2000 ms)\n", runs, convertMs);
    std::printf("  dos quais leitura do texto: %.0f ms\n", parseMs);
    std::printf(
        "SQLite, as mesmas linhas numa transação (mediana de %d): %.0f ms; razão %.2f (âncora: <= 2)\n", runs,
        sqliteMs, convertMs / sqliteMs);
    // The reader helper runs as a child of its own: it only reads the empty template here.
    std::printf("memória máxima: %.0f MiB (%.0f MiB antes da conversão; meta: < 300 MiB)\n", peak, before);
    return 0;
}
