#pragma once

#include "jet/DataPageWriter.h"
#include "jet/IndexBuilder.h"
#include "jet/JetDatabase.h"
#include "jet/LongValueWriter.h"
#include "jet/TableSchema.h"

#include <QByteArray>

#include <memory>
#include <vector>

namespace fiscora::jet {

class PageStore;

// Writes the rows of one table: checks each value against its column, encodes the row into
// data pages (long values into their own pages), hands out autonumbers and gathers the index
// entries, which finish() turns into index pages.
class TableWriter final {
public:
    TableWriter(PageStore& store, const TableSchema& schema, quint32 definitionPage);

    // values: one per column. binaries: the values of binary and OLE columns (system tables
    // only; may be null otherwise), a null QByteArray meaning a null value.
    Status addRow(const Value* values, int count, const QByteArray* binaries);
    Status finish();

    const TableSchema& schema() const { return m_schema; }
    quint32 definitionPage() const { return m_definitionPage; }
    quint32 rowCount() const { return m_data.rows(); }
    quint32 lastAutoNumber() const { return quint32(m_lastAutoNumber); }
    const std::vector<quint32>& dataPages() const { return m_data.pages(); }
    std::vector<quint32> pagesWithFreeSpace() const;
    const std::vector<IndexBuilder>& indexes() const { return m_indexes; }
    // In TableSchema::longValueColumns() order.
    const std::vector<std::unique_ptr<LongValueWriter>>& longValues() const { return m_longValues; }

private:
    const Value& valueAt(const Value* values, int column) const;
    Status encodeColumn(const ColumnSchema& c, const Value& value, const QByteArray* binary);
    bool appendKey(const ColumnSchema& c, const Value& value, std::vector<quint8>& out) const;
    // The failure of the current row, in the given column (none: the whole row).
    AppError failure(const QString& column, const QString& what) const;
    int minimalRowSize() const;

    PageStore& m_store;
    TableSchema m_schema;
    quint32 m_definitionPage;
    DataPageWriter m_data;
    std::vector<IndexBuilder> m_indexes;
    std::vector<std::unique_ptr<LongValueWriter>> m_longValues;
    std::vector<int> m_longValueSlot; // per column: its LongValueWriter, or -1
    qint64 m_lastAutoNumber = 0;
    Value m_assigned; // the autonumber handed out to the current row

    // Scratch space reused from row to row.
    std::vector<quint8> m_row;
    std::vector<quint8> m_long;
    std::vector<quint8> m_key;
    std::vector<std::pair<std::size_t, bool>> m_keyEnds; // per index: end of its key, has a null
    std::vector<quint16> m_varOffsets;
    std::vector<quint8> m_nullMask;
};

} // namespace fiscora::jet
