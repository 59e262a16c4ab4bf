#pragma once

#include <QByteArray>
#include <QString>

#include <sqlite3.h>

#include <cstdio>

namespace servidor {

// A prepared statement that finalizes itself.
class SqlStatement {
public:
    SqlStatement(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "fiscora-servidor: %s: %s\n", sql, sqlite3_errmsg(db));
            sqlite3_finalize(m_statement);
            m_statement = nullptr;
        }
    }
    ~SqlStatement() { sqlite3_finalize(m_statement); }
    SqlStatement(const SqlStatement&) = delete;
    SqlStatement& operator=(const SqlStatement&) = delete;

    SqlStatement& bind(int index, const QString& value) {
        const QByteArray bytes = value.toUtf8();
        if (m_statement)
            sqlite3_bind_text(m_statement, index, bytes.constData(), static_cast<int>(bytes.size()),
                              SQLITE_TRANSIENT);
        return *this;
    }
    SqlStatement& bind(int index, qint64 value) {
        if (m_statement)
            sqlite3_bind_int64(m_statement, index, value);
        return *this;
    }
    // True while a row is there.
    bool next() { return m_statement && sqlite3_step(m_statement) == SQLITE_ROW; }
    // True when a statement without rows ran to its end.
    bool run() { return m_statement && sqlite3_step(m_statement) == SQLITE_DONE; }
    QString text(int column) const {
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
        return bytes ? QString::fromUtf8(bytes, sqlite3_column_bytes(m_statement, column)) : QString();
    }
    qint64 integer(int column) const { return sqlite3_column_int64(m_statement, column); }

private:
    sqlite3_stmt* m_statement = nullptr;
};

} // namespace servidor
