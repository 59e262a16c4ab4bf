#pragma once

#include "jet/JetDatabase.h"

#include <QString>

#include <vector>

namespace fiscora::jet {

// A column as the file describes it: type code, number, place in the row.
struct ColumnSchema {
    QString name;
    quint8 type = 0;         // format::Type*
    quint16 number = 0;      // column number; also its position in the row's null mask
    quint16 varIndex = 0;    // variable columns: slot in the offset table; fixed: slots before it
    quint16 columnIndex = 0; // written into the descriptor (position for user tables, 0 for system)
    quint16 fixedOffset = 0; // fixed columns: offset in the fixed area
    quint16 length = 0;      // declared length in bytes (text: 2 per character; memo 0)
    quint8 flags = 0;
    quint8 extraFlags = 0;
    int maxChars = 0; // text: largest number of characters
    bool autoNumber = false;
    bool required = false;

    bool isFixed() const; // stored in the fixed area (booleans live in the null mask only)
    bool isLongValue() const;
    bool isText() const;
    int fixedSize() const; // bytes in the fixed area
};

struct IndexSchema {
    QString name;
    std::vector<int> columns; // positions in TableSchema::columns
    bool primaryKey = false;
    bool unique = false;
    quint8 flags = 0; // physical index flags
};

// The layout of one table: what its definition page says and what its rows look like.
class TableSchema final {
public:
    QString name;
    bool system = false;
    std::vector<ColumnSchema> columns; // in column-number order
    std::vector<int> descriptorOrder;  // order of the column descriptors in the definition
    std::vector<IndexSchema> indexes;  // in index-number order
    int fixedAreaSize = 0;
    int variableCount = 0;
    int autoNumberColumn = -1;

    // Numbers, offsets and variable slots from the columns' order and types.
    void computeLayout();
    // Positions of the memo/OLE columns in descriptor order (each has its own usage maps).
    std::vector<int> longValueColumns() const;
    // Logical index order in the definition: by name, as Access lists them.
    std::vector<int> logicalIndexOrder() const;

    // The layout of a user table, or why the schema cannot be stored.
    static Result<TableSchema> fromTable(const Table& table);
    static quint8 typeCode(ColumnType type);
};

} // namespace fiscora::jet
