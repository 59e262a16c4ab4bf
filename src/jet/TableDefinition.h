#pragma once

#include <QtGlobal>

#include <vector>

namespace fiscora::jet {

class PageStore;
class TableSchema;

// What a table definition records besides the schema: counts and where things are.
struct TableState {
    quint32 rowCount = 0;
    quint32 autoNumber = 0; // the last number handed out
    quint32 ownedMap = 0;   // row pointers of the usage-map rows
    quint32 freeMap = 0;
    struct IndexState {
        quint32 entries = 0;
        quint32 map = 0;
        quint32 root = 0;
    };
    std::vector<IndexState> indexes; // by index number
    struct LongValueState {
        quint32 ownedMap = 0;
        quint32 freeMap = 0;
    };
    std::vector<LongValueState> longValues; // in TableSchema::longValueColumns() order
};

// The table definition ("TDEF") of a table: header, column descriptors and names, index
// definitions and names, and the long-value columns' usage maps; one page or a chain of pages.
class TableDefinition final {
public:
    static std::vector<quint8> build(const TableSchema& schema, const TableState& state);
    static int pageCount(const TableSchema& schema);
    // Writes bytes (from build) into pages, the first of which the catalog names.
    static void write(PageStore& store, const std::vector<quint32>& pages, const std::vector<quint8>& bytes);
};

} // namespace fiscora::jet
