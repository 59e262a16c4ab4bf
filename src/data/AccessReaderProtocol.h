#pragma once

// The byte stream fiscora-leitor-mdb writes to its standard output and AccessReader decodes.
// Plain C++: the helper does not link Qt. Integers are little-endian; a string is a u32 byte
// length followed by UTF-8.
//
//   magic, u8 format (3 Jet 3, 4 Jet 4, 5 and above the later ACE formats)
//   per user table:       'T' name, u16 columns, per column: name, u8 type, u16 size, u8 flags,
//                         u16 indexes, per index: name, u8 flags, u8 keys, per key: u16 column
//   'S'                   end of the schema
//   per requested table:  'D' name, then per row: 'R' and one value per column; then 'E'
//                         or 'N' name when the file has no such table
//   'Z'                   the whole file was read
//
// A value is a tag byte and its payload: null; bool (u8); integer (i64); currency (i64, value x
// 10,000); double (f64); date/time (f64, days since 1899-12-30); text (string).

#include <cstdint>

namespace fiscora::mdbprotocol {

inline constexpr char kMagic[] = "FISCORA-MDB 1\n";
inline constexpr unsigned kMagicLength = sizeof(kMagic) - 1;

enum Record : std::uint8_t {
    TableSchema = 'T',
    SchemaEnd = 'S',
    TableRows = 'D',
    Row = 'R',
    RowsEnd = 'E',
    NoSuchTable = 'N',
    End = 'Z',
};

// Column types as the helper reports them.
enum ColumnKind : std::uint8_t {
    Boolean = 1,
    Byte,
    Integer,
    Long,
    Currency,
    Single,
    Double,
    DateTime,
    Text,
    Memo,
    Other, // binary, OLE, replication id, decimal: their values come as text or null
};

enum ColumnFlag : std::uint8_t {
    AutoNumber = 0x01,
    Required = 0x02,
};

enum IndexFlag : std::uint8_t {
    PrimaryKey = 0x01,
    Unique = 0x02,
};

enum ValueTag : std::uint8_t {
    Null = 0,
    BoolValue,
    IntegerValue,
    CurrencyValue,
    DoubleValue,
    DateTimeValue,
    TextValue,
};

// Exit codes of the helper.
enum ExitCode : int {
    Done = 0,
    Usage = 1,
    NotAccess = 2, // not an Access file, or a damaged catalog or table definition
    TooMuchOutput = 3,
};

} // namespace fiscora::mdbprotocol
