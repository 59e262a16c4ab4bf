#pragma once

#include "core/Result.h"

#include <QDate>
#include <QList>
#include <QString>

#include <variant>

namespace fiscora::jet {

// What the writer needs to know of a database: tables, their columns with Access types and
// sizes, and their rows. The writer adds the system catalog itself.

enum class ColumnType {
    Boolean, // Yes/No
    Byte,
    Integer,  // 16-bit
    Long,     // 32-bit
    Currency, // int64 of value x 10,000
    Single,
    Double,
    DateTime,
    Text, // at most 255 characters
    Memo,
};

struct Column {
    QString name;
    ColumnType type = ColumnType::Text;
    int size = 0;            // Text: maximum characters (1..255); ignored otherwise
    bool autoNumber = false; // Long only
    bool required = false;
};

struct Index {
    QString name;
    QList<int> columns; // positions in the table's column list
    bool primaryKey = false;
    bool unique = false;
};

struct Table {
    QString name;
    QList<Column> columns;
    QList<Index> indexes;
};

// An amount held exactly: value x 10,000.
struct Currency {
    qint64 scaled = 0;
    bool operator==(const Currency&) const = default;
};

// Days since 1899-12-30 with the time as the fraction, as Access stores dates.
struct DateTime {
    double oleDays = 0.0;
    bool operator==(const DateTime&) const = default;
    static DateTime fromDate(const QDate& date);
};

// Null, or the value of the column's type: bool (Boolean), qint64 (Byte/Integer/Long),
// Currency, double (Single/Double), DateTime, QString (Text/Memo).
using Value = std::variant<std::monostate, bool, qint64, Currency, double, DateTime, QString>;
using Row = QList<Value>;

struct TableData {
    Table table;
    QList<Row> rows; // an autonumber column may hold null: the writer hands out the next number
};

struct Database {
    QList<TableData> tables;
    QString password; // the database password (empty for none)
};

// Writes a complete Jet 4 (Access 2000) file. The file is written to a temporary name and renamed
// into place only when whole. Fails when the schema or a value cannot be stored, or the file
// cannot be written.
Status writeDatabase(const QString& path, const Database& database);

} // namespace fiscora::jet
