#pragma once

#include <QtGlobal>

#include <cstring>

// Constants of the Jet 4 (Access 2000) file format and the little helpers that put numbers into
// page buffers. Page fields are little-endian; index keys are big-endian.
namespace fiscora::jet::format {

constexpr int PageSize = 4096;

// Page types (first byte of a page).
constexpr quint8 PageHeader = 0x00;
constexpr quint8 PageData = 0x01;
constexpr quint8 PageTableDefinition = 0x02;
constexpr quint8 PageIndexNode = 0x03;
constexpr quint8 PageIndexLeaf = 0x04;
constexpr quint8 PageUsageBitmap = 0x05;

// Column types as stored in a table definition.
constexpr quint8 TypeBoolean = 0x01;
constexpr quint8 TypeByte = 0x02;
constexpr quint8 TypeInteger = 0x03;
constexpr quint8 TypeLong = 0x04;
constexpr quint8 TypeCurrency = 0x05;
constexpr quint8 TypeSingle = 0x06;
constexpr quint8 TypeDouble = 0x07;
constexpr quint8 TypeDateTime = 0x08;
constexpr quint8 TypeBinary = 0x09;
constexpr quint8 TypeText = 0x0A;
constexpr quint8 TypeOle = 0x0B;
constexpr quint8 TypeMemo = 0x0C;
constexpr quint8 TypeLongBinary = 0x11; // MSysAccessObjects.Data

// Data pages.
constexpr int DataPageHeaderSize = 14; // type, 01, free space, owner, 4 zeros, row count
constexpr int DataPageFreeStart = PageSize - DataPageHeaderSize;
constexpr int MaxRowSize = 4060;
constexpr int MaxRowsPerPage = 255;

// Long values (memo, OLE).
constexpr int MaxInlineLongValue = 64; // longer values go to long-value pages
constexpr int MaxLongValueRow = 4076;  // one long-value row; longer values are chained
constexpr int LongValueChunk = MaxLongValueRow - 4;
constexpr quint8 LongValueInline = 0x80;
constexpr quint8 LongValueSingle = 0x40;
constexpr quint8 LongValueChained = 0x00;
constexpr int LongValueHeaderSize = 12;

// Usage maps.
constexpr int InlineMapBytes = 64; // 512 pages from the start page
constexpr int InlineMapRowSize = 1 + 4 + InlineMapBytes;
constexpr int ReferenceMapPointers = 17;
constexpr int ReferenceMapRowSize = 1 + 4 * ReferenceMapPointers; // same as an inline row
constexpr int BitmapPageBits = (PageSize - 4) * 8;

// Index pages.
constexpr int IndexEntryStart = 0x1E0;
constexpr int IndexMaskStart = 0x1B;
constexpr int IndexEntrySpace = PageSize - IndexEntryStart;

// Table definitions.
constexpr quint32 TableMagic = 1625;
constexpr quint32 IndexMagic = 1923;
constexpr quint8 UserTable = 0x4E;
constexpr quint8 SystemTable = 0x53;
constexpr int TableDefinitionHeader = 8;

// Column flags.
constexpr quint8 ColumnFixed = 0x01;
constexpr quint8 ColumnUpdatable = 0x02;
constexpr quint8 ColumnAutoNumber = 0x04;
constexpr quint8 ColumnCompressedUnicode = 0x01; // extra flags

// Index flags.
constexpr quint8 IndexUnique = 0x01;
constexpr quint8 IndexRequired = 0x08;
constexpr quint8 IndexAlways = 0x80;

inline void put8(quint8* p, quint8 v) {
    p[0] = v;
}
inline void put16(quint8* p, quint16 v) {
    p[0] = quint8(v);
    p[1] = quint8(v >> 8);
}
inline void put24(quint8* p, quint32 v) {
    p[0] = quint8(v);
    p[1] = quint8(v >> 8);
    p[2] = quint8(v >> 16);
}
inline void put32(quint8* p, quint32 v) {
    p[0] = quint8(v);
    p[1] = quint8(v >> 8);
    p[2] = quint8(v >> 16);
    p[3] = quint8(v >> 24);
}
inline void put64(quint8* p, quint64 v) {
    put32(p, quint32(v));
    put32(p + 4, quint32(v >> 32));
}
inline void putDouble(quint8* p, double v) {
    quint64 bits;
    std::memcpy(&bits, &v, sizeof bits);
    put64(p, bits);
}
inline void putFloat(quint8* p, float v) {
    quint32 bits;
    std::memcpy(&bits, &v, sizeof bits);
    put32(p, bits);
}
inline quint16 get16(const quint8* p) {
    return quint16(p[0] | (p[1] << 8));
}
inline quint32 get32(const quint8* p) {
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

// A row pointer as the format stores it: row number in the low byte, page above it.
inline quint32 rowPointer(quint32 page, quint8 row) {
    return (page << 8) | row;
}

} // namespace fiscora::jet::format
