#pragma once

#include "core/AppError.h"
#include "core/ProgramFolder.h"
#include "core/Result.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

struct sqlite3;
struct sqlite3_stmt;

namespace fiscora {

// One row read from a statement; columns are found without regard to case.
class DbRow {
public:
    DbRow() = default;
    DbRow(QStringList columns, QVariantList values);
    bool has(const QString& column) const;
    QVariant value(const QString& column) const; // invalid QVariant when absent
    QString text(const QString& column) const;   // value as text ("" for NULL)
    bool boolean(const QString& column) const;   // OptanteSimples and the like
    const QStringList& columns() const { return m_columns; }
    const QVariantList& values() const { return m_values; }

private:
    QStringList m_columns;
    QVariantList m_values;
};

// The local database fiscora.mdb (an SQLite file) of the program folder, opened by one command
// (the journal of transmissions keeps one open) and closed when the object goes. Never creates
// the file. Values are bound as parameters ("?" in the SQL text), never pasted into it; each
// statement is prepared once per connection.
//
// Opening brings an older file up to the program's layout (data/LocalSchema.h): after a copy
// "<file>.bak-<old version>" is written beside it, the upgrade runs in one transaction, so a
// failure leaves the file as it was. A file of a newer layout is refused and not touched.
class LocalDatabase {
public:
    LocalDatabase();
    // How long a statement waits while another connection holds the file, in SQLite itself.
    explicit LocalDatabase(int busyTimeoutMs);
    ~LocalDatabase();
    LocalDatabase(const LocalDatabase&) = delete;
    LocalDatabase& operator=(const LocalDatabase&) = delete;

    Status open(const ProgramFolder& folder); // its fiscora.mdb, read-write, no create
    Status openFile(const QString& path);
    void close();
    bool isOpen() const { return m_db != nullptr; }

    // Runs a statement, reading nothing back.
    Status exec(const QString& sql, const QVariantList& parameters = {});
    // Every row of a query, read forward to the end.
    Result<QList<DbRow>> query(const QString& sql, const QVariantList& parameters = {});
    // The first row of a query; none when the query gives no row.
    Result<std::optional<DbRow>> first(const QString& sql, const QVariantList& parameters = {});
    // The column "total" of the first row as a number; 0 when the query gives no row.
    Result<qint64> count(const QString& sql, const QVariantList& parameters = {});

    Status begin();
    Status commit();

    // Errors collected while connecting (the provider error list of the full report).
    const QList<AppError>& connectionErrors() const { return m_connectionErrors; }

private:
    Status upgrade(const QString& path);
    Result<int> schemaVersion();
    // The statement of `sql`, prepared on its first use and kept until the connection closes;
    // none for a text without a statement.
    Result<sqlite3_stmt*> prepared(const QString& sql);
    Status run(const QString& sql, const QVariantList& parameters, QList<DbRow>* rows, int maxRows);
    // SQLite's extended result code, "SQLite", and what failed in Portuguese, naming the file and
    // the cause.
    AppError fail(int code, const QString& message) const;

    sqlite3* m_db = nullptr;
    QHash<QString, sqlite3_stmt*> m_statements;
    QString m_path;
    int m_busyTimeoutMs = 0;
    QList<AppError> m_connectionErrors;
};

// Another connection held the file past the time the program waits for it.
bool isDatabaseBusy(const AppError& error);

// The database error report, every line preceded by CR LF. The full form lists the connection's
// provider errors first, then the three lines of the short form.
QString databaseErrorReport(const AppError& failure, const QList<AppError>& providerErrors, bool fullForm);

// An apostrophe becomes two: the rule for text put into SQL text.
QString doubleQuotes(const QString& text);

} // namespace fiscora
