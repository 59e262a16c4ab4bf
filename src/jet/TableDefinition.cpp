#include "jet/TableDefinition.h"

#include "jet/JetFormat.h"
#include "jet/PageStore.h"
#include "jet/TableSchema.h"

#include <cstring>

namespace fiscora::jet {

using namespace format;

namespace {

class Buffer {
public:
    std::vector<quint8> bytes;
    quint8* grow(std::size_t n) {
        const std::size_t at = bytes.size();
        bytes.resize(at + n);
        return bytes.data() + at;
    }
    void u8(quint8 v) { *grow(1) = v; }
    void u16(quint16 v) { put16(grow(2), v); }
    void u32(quint32 v) { put32(grow(4), v); }
    void name(const QString& text) {
        u16(quint16(text.size() * 2));
        for (const QChar c : text)
            u16(c.unicode());
    }
};

constexpr int PageBody = PageSize - TableDefinitionHeader;

} // namespace

std::vector<quint8> TableDefinition::build(const TableSchema& schema, const TableState& state) {
    Buffer b;
    b.bytes.reserve(2048);
    b.grow(TableDefinitionHeader); // page header, filled by write()
    b.u32(0);                      // total length, patched below
    b.u32(TableMagic);
    b.u32(state.rowCount);
    b.u32(state.autoNumber);
    b.u32(1); // the flag that makes autonumbers work, then unknown zeros
    b.u32(0);
    b.u32(0);
    b.u32(0);
    b.u8(schema.system ? SystemTable : UserTable);
    const auto columnCount = quint16(schema.columns.size());
    b.u16(columnCount); // most columns a row has
    b.u16(quint16(schema.variableCount));
    b.u16(columnCount);
    b.u32(quint32(schema.indexes.size())); // logical indexes
    b.u32(quint32(schema.indexes.size())); // physical indexes, one each
    b.u32(state.ownedMap);
    b.u32(state.freeMap);

    for (std::size_t i = 0; i < schema.indexes.size(); ++i) {
        b.u32(0);
        b.u32(i < state.indexes.size() ? state.indexes[i].entries : 0);
        b.u32(0);
    }

    for (const int position : schema.descriptorOrder) {
        const ColumnSchema& c = schema.columns[std::size_t(position)];
        b.u8(c.type);
        b.u32(TableMagic);
        b.u16(c.number);
        b.u16(c.varIndex);
        b.u16(c.columnIndex);
        b.u16(0x0409); // General sort order, version 0
        b.u16(0);
        b.u8(c.flags);
        b.u8(c.extraFlags);
        b.u32(0);
        b.u16(c.fixedOffset);
        b.u16(c.length);
    }
    for (const int position : schema.descriptorOrder)
        b.name(schema.columns[std::size_t(position)].name);

    for (std::size_t i = 0; i < schema.indexes.size(); ++i) {
        const IndexSchema& index = schema.indexes[i];
        b.u32(IndexMagic);
        for (std::size_t k = 0; k < 10; ++k) {
            if (k < index.columns.size()) {
                b.u16(schema.columns[std::size_t(index.columns[k])].number);
                b.u8(0x01); // ascending
            } else {
                b.u16(0xFFFF);
                b.u8(0x00);
            }
        }
        const TableState::IndexState s =
            i < state.indexes.size() ? state.indexes[i] : TableState::IndexState{};
        b.u32(s.map);
        b.u32(s.root);
        b.u32(0);
        b.u8(index.flags);
        b.grow(5);
    }
    const std::vector<int> logical = schema.logicalIndexOrder();
    for (const int i : logical) {
        const IndexSchema& index = schema.indexes[std::size_t(i)];
        b.u32(TableMagic);
        b.u32(quint32(i)); // index number
        b.u32(quint32(i)); // its physical index
        b.u8(0);           // no relationship
        b.u32(0xFFFFFFFF);
        b.u32(0);
        b.u8(4); // Access's values when there is no relationship
        b.u8(4);
        b.u8(index.primaryKey ? 1 : 0);
        b.u32(0);
    }
    for (const int i : logical)
        b.name(schema.indexes[std::size_t(i)].name);

    const std::vector<int> longValues = schema.longValueColumns();
    for (std::size_t k = 0; k < longValues.size(); ++k) {
        b.u16(schema.columns[std::size_t(longValues[k])].number);
        const TableState::LongValueState s =
            k < state.longValues.size() ? state.longValues[k] : TableState::LongValueState{};
        b.u32(s.ownedMap);
        b.u32(s.freeMap);
    }
    b.u16(0xFFFF);

    put32(b.bytes.data() + 8, quint32(b.bytes.size()));
    return std::move(b.bytes);
}

int TableDefinition::pageCount(const TableSchema& schema) {
    const auto size = int(build(schema, TableState{}).size());
    if (size <= PageSize)
        return 1;
    return 1 + (size - PageSize + PageBody - 1) / PageBody;
}

void TableDefinition::write(PageStore& store, const std::vector<quint32>& pages,
                            const std::vector<quint8>& bytes) {
    // The first page takes the bytes as built (header included); each further page has its
    // own 8-byte header followed by the next part.
    std::size_t done = 0;
    for (std::size_t k = 0; k < pages.size(); ++k) {
        quint8* p = store.page(pages[k]);
        std::size_t n;
        if (k == 0) {
            n = std::min<std::size_t>(bytes.size(), PageSize);
            std::memcpy(p, bytes.data(), n);
        } else {
            n = std::min<std::size_t>(bytes.size() - done, PageBody);
            std::memcpy(p + TableDefinitionHeader, bytes.data() + done, n);
        }
        done += n;
        const int used = int(k == 0 ? n : n + TableDefinitionHeader);
        p[0] = PageTableDefinition;
        p[1] = 0x01;
        put16(p + 2, quint16(qMax(0, PageSize - used - 8)));
        put32(p + 4, k + 1 < pages.size() ? pages[k + 1] : 0);
    }
}

} // namespace fiscora::jet
