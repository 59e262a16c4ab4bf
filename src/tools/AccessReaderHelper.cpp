// fiscora-leitor-mdb: reads an Access file with libmdb and writes its schema and rows to standard
// output in the stream of data/AccessReaderProtocol.h.
//
// libmdb can crash or loop forever on a damaged file, so the program and the server never call
// it themselves: they run this helper as a child process under a time limit and treat anything
// but a complete stream as an invalid file.
//
// Usage: fiscora-leitor-mdb FILE [TABLE...]   ("*" as TABLE: the rows of every user table)

#include "data/AccessReaderProtocol.h"

// mdbtools.h includes glib.h inside its extern "C" block, where glib's C++ parts do not compile;
// included first, glib is skipped there.
#include <glib.h>
#include <iconv.h>

#include <mdbtools.h>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#ifdef __SANITIZE_ADDRESS__
// libmdb may crash on a damaged file; the caller expects that and reports an invalid file. In
// a sanitized build such a crash is not reported as a finding of ours.
extern "C" const char* __asan_default_options() {
    return "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_abort=0";
}
#endif

namespace {

namespace proto = fiscora::mdbprotocol;

// Guards against a damaged file that makes libmdb produce rows without end: the reader keeps
// every value in memory, so both the stream and the number of values are bounded. A NovaGIA
// export holds a small fraction of either.
constexpr std::size_t kMaxOutput = std::size_t(256) << 20;
constexpr std::size_t kMaxValues = std::size_t(8) << 20;
// Memo values are converted into a buffer of this size (text columns need far less).
constexpr std::size_t kMemoBindSize = std::size_t(256) << 10;
constexpr std::size_t kTextBindSize = 16384;

// The stream goes to a descriptor of its own: libmdb prints diagnostics and dumps to standard
// output, which is sent to standard error instead.
class Output {
public:
    Output()
        : m_fd(dup(STDOUT_FILENO)) {
        dup2(STDERR_FILENO, STDOUT_FILENO);
    }
    ~Output() { flush(); }

    void byte(std::uint8_t value) { m_buffer.push_back(static_cast<char>(value)); }
    void countValues(std::size_t count) { m_values += count; }
    void u16(std::uint16_t value) { little(value, 2); }
    void u32(std::uint32_t value) { little(value, 4); }
    void i64(std::int64_t value) { little(static_cast<std::uint64_t>(value), 8); }
    void f64(double value) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        little(bits, 8);
    }
    void text(std::string_view value) {
        u32(static_cast<std::uint32_t>(value.size()));
        m_buffer.append(value);
    }
    void raw(const char* data, std::size_t length) { m_buffer.append(data, length); }

    // Writes out what is buffered; false when the stream grew past its limit.
    bool flushIfLarge() {
        if (m_values > kMaxValues)
            return false;
        if (m_buffer.size() < (std::size_t(1) << 20))
            return true;
        flush();
        return m_written <= kMaxOutput;
    }

    void flush() {
        m_written += m_buffer.size();
        const char* data = m_buffer.data();
        std::size_t left = m_buffer.size();
        while (left > 0) {
            const ssize_t n = write(m_fd, data, left);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                std::_Exit(proto::TooMuchOutput);
            data += n;
            left -= std::size_t(n);
        }
        m_buffer.clear();
    }

private:
    void little(std::uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            m_buffer.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }

    int m_fd;
    std::string m_buffer;
    std::size_t m_written = 0;
    std::size_t m_values = 0;
};

std::uint8_t kindOf(const MdbColumn* column) {
    switch (column->col_type) {
    case MDB_BOOL:
        return proto::Boolean;
    case MDB_BYTE:
        return proto::Byte;
    case MDB_INT:
        return proto::Integer;
    case MDB_LONGINT:
        return proto::Long;
    case MDB_MONEY:
        return proto::Currency;
    case MDB_FLOAT:
        return proto::Single;
    case MDB_DOUBLE:
        return proto::Double;
    case MDB_DATETIME:
        return proto::DateTime;
    case MDB_TEXT:
        return proto::Text;
    case MDB_MEMO:
        return proto::Memo;
    default:
        return proto::Other;
    }
}

std::uint64_t readLittle(const unsigned char* bytes, int count) {
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

double readDouble(const unsigned char* bytes) {
    const std::uint64_t bits = readLittle(bytes, 8);
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void writeLibmdbText(Output& out, char* text) {
    out.byte(proto::TextValue);
    out.text(text ? std::string_view(text) : std::string_view());
    g_free(text);
}

void writeValue(Output& out, MdbHandle* mdb, const MdbColumn* column, const MdbField& field) {
    if (column->col_type == MDB_BOOL) {
        // Booleans live in the null mask: a set bit (not null) is true.
        out.byte(proto::BoolValue);
        out.byte(field.is_null ? 0 : 1);
        return;
    }
    const int start = field.start;
    const int size = field.siz;
    if (field.is_null || start < 0 || size < 0 || start + size > MDB_PGSIZE) {
        out.byte(proto::Null);
        return;
    }
    const unsigned char* at = mdb->pg_buf + start;
    const auto needs = [&](int bytes) {
        return size >= bytes;
    };
    switch (column->col_type) {
    case MDB_BYTE:
        if (!needs(1))
            break;
        out.byte(proto::IntegerValue);
        out.i64(at[0]);
        return;
    case MDB_INT:
        if (!needs(2))
            break;
        out.byte(proto::IntegerValue);
        out.i64(static_cast<std::int16_t>(readLittle(at, 2)));
        return;
    case MDB_LONGINT:
        if (!needs(4))
            break;
        out.byte(proto::IntegerValue);
        out.i64(static_cast<std::int32_t>(readLittle(at, 4)));
        return;
    case MDB_MONEY:
        if (!needs(8))
            break;
        out.byte(proto::CurrencyValue);
        out.i64(static_cast<std::int64_t>(readLittle(at, 8)));
        return;
    case MDB_FLOAT: {
        if (!needs(4))
            break;
        const auto bits = static_cast<std::uint32_t>(readLittle(at, 4));
        float value = 0;
        std::memcpy(&value, &bits, sizeof value);
        out.byte(proto::DoubleValue);
        out.f64(value);
        return;
    }
    case MDB_DOUBLE:
        if (!needs(8))
            break;
        out.byte(proto::DoubleValue);
        out.f64(readDouble(at));
        return;
    case MDB_DATETIME:
        if (!needs(8))
            break;
        out.byte(proto::DateTimeValue);
        out.f64(readDouble(at));
        return;
    case MDB_TEXT:
    case MDB_REPID:
        writeLibmdbText(out, mdb_col_to_string(mdb, mdb->pg_buf, start, column->col_type, size));
        return;
    case MDB_MEMO: {
        mdb_set_bind_size(mdb, kMemoBindSize);
        char* text = mdb_col_to_string(mdb, mdb->pg_buf, start, MDB_MEMO, size);
        mdb_set_bind_size(mdb, kTextBindSize);
        writeLibmdbText(out, text);
        return;
    }
    case MDB_NUMERIC:
        if (!needs(17))
            break;
        writeLibmdbText(out, mdb_numeric_to_string(mdb, start, column->col_scale, column->col_prec));
        return;
    default:
        break;
    }
    out.byte(proto::Null);
}

// The row mdb_fetch_row has just read is row (cur_row - 1) of the page in pg_buf; it is cracked
// again here because the values libmdb binds do not tell a null text from an empty one.
bool writeRow(Output& out, MdbTableDef* table, std::vector<MdbField>& fields) {
    MdbHandle* mdb = table->entry->mdb;
    int rowStart = 0;
    size_t rowSize = 0;
    if (table->cur_row == 0 ||
        mdb_find_row(mdb, static_cast<int>(table->cur_row - 1), &rowStart, &rowSize) != 0)
        return false;
    rowStart &= 0x1FFF;
    const int count = mdb_crack_row(table, rowStart, rowSize, fields.data());
    if (count < 0)
        return false;
    std::vector<const MdbField*> byColumn(table->num_cols, nullptr);
    for (int i = 0; i < count && i < static_cast<int>(table->num_cols); ++i) {
        const int column = fields[i].colnum;
        if (column >= 0 && column < static_cast<int>(table->num_cols))
            byColumn[column] = &fields[i];
    }
    out.byte(proto::Row);
    out.countValues(table->num_cols);
    for (unsigned i = 0; i < table->num_cols; ++i) {
        const auto* column = static_cast<const MdbColumn*>(g_ptr_array_index(table->columns, i));
        if (byColumn[i])
            writeValue(out, mdb, column, *byColumn[i]);
        else
            out.byte(proto::Null);
    }
    return true;
}

struct OpenTable {
    MdbCatalogEntry* entry = nullptr;
    MdbTableDef* table = nullptr;
};

bool writeSchema(Output& out, const OpenTable& open) {
    MdbTableDef* table = open.table;
    out.byte(proto::TableSchema);
    out.text(open.entry->object_name);
    if (table->num_cols > 0xFFFF)
        return false;
    out.u16(static_cast<std::uint16_t>(table->num_cols));
    const bool jet3 = IS_JET3(table->entry->mdb);
    for (unsigned i = 0; i < table->num_cols; ++i) {
        const auto* column = static_cast<const MdbColumn*>(g_ptr_array_index(table->columns, i));
        out.text(column->name);
        const std::uint8_t kind = kindOf(column);
        out.byte(kind);
        int size = column->col_size;
        if (kind == proto::Text && !jet3)
            size /= 2; // Jet 4 keeps the size of a text column in bytes of UCS-2
        out.u16(static_cast<std::uint16_t>(size < 0 ? 0 : size));
        std::uint8_t flags = 0;
        if (column->is_long_auto)
            flags |= proto::AutoNumber;
        const char* required = mdb_col_get_prop(column, "Required");
        if (required && (std::strcmp(required, "yes") == 0 || std::strcmp(required, "1") == 0))
            flags |= proto::Required;
        out.byte(flags);
    }
    std::vector<const MdbIndex*> indexes;
    if (table->indices) {
        for (unsigned i = 0; i < table->indices->len; ++i) {
            const auto* index = static_cast<const MdbIndex*>(g_ptr_array_index(table->indices, i));
            if (index->index_type != 2) // 2: the foreign side of a relationship
                indexes.push_back(index);
        }
    }
    out.u16(static_cast<std::uint16_t>(indexes.size()));
    for (const MdbIndex* index : indexes) {
        out.text(index->name);
        std::uint8_t flags = 0;
        if (index->index_type == 1)
            flags |= proto::PrimaryKey;
        if (index->flags & MDB_IDX_UNIQUE)
            flags |= proto::Unique;
        out.byte(flags);
        const unsigned keys = index->num_keys > MDB_MAX_IDX_COLS ? MDB_MAX_IDX_COLS : index->num_keys;
        out.byte(static_cast<std::uint8_t>(keys));
        for (unsigned k = 0; k < keys; ++k)
            out.u16(static_cast<std::uint16_t>(index->key_col_num[k] > 0 ? index->key_col_num[k] - 1 : 0));
    }
    return true;
}

int writeRows(Output& out, const OpenTable& open) {
    MdbTableDef* table = open.table;
    out.byte(proto::TableRows);
    out.text(open.entry->object_name);
    std::vector<MdbField> fields(table->num_cols > 0 ? table->num_cols : 1);
    mdb_rewind_table(table);
    unsigned fetched = 0;
    while (mdb_fetch_row(table)) {
        if (!writeRow(out, table, fields))
            return proto::NotAccess;
        if (!out.flushIfLarge())
            return proto::TooMuchOutput;
        ++fetched;
    }
    // libmdb skips pages it cannot read: fewer rows than the table definition counts means a
    // file cut short or damaged, not a smaller table.
    if (fetched < table->num_rows)
        return proto::NotAccess;
    out.byte(proto::RowsEnd);
    return proto::Done;
}

// Every page the table's usage map names lies inside the file.
bool pagesInsideFile(MdbHandle* mdb, MdbTableDef* table, guint32 pageCount) {
    if (!table->usage_map || table->map_sz == 0)
        return true;
    guint32 page = 0;
    for (;;) {
        const gint32 next =
            mdb_map_find_next(mdb, table->usage_map, static_cast<unsigned>(table->map_sz), page);
        if (next < 0 || static_cast<guint32>(next) < page)
            return true;
        if (static_cast<guint32>(next) >= pageCount)
            return false;
        page = static_cast<guint32>(next) + 1;
    }
}

// What main opened, closed on every way out (a leak checker sees the error exits too).
struct Session {
    MdbHandle* mdb = nullptr;
    std::vector<OpenTable> tables;
    ~Session() {
        for (const OpenTable& open : tables)
            mdb_free_tabledef(open.table);
        if (mdb)
            mdb_close(mdb);
    }
};

void limitResources() {
    // A crash here is an expected outcome on a damaged file, not something to keep a core of.
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    const rlimit core{0, 0};
    setrlimit(RLIMIT_CORE, &core);
    // The caller caps the resident memory and kills the process past it: an address-space limit
    // would have to allow for the terabytes a sanitized build reserves at start.
}

bool wanted(const std::vector<std::string_view>& requested, const char* name) {
    for (const std::string_view& r : requested) {
        if (r == "*" || g_ascii_strcasecmp(std::string(r).c_str(), name) == 0)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("uso: fiscora-leitor-mdb ARQUIVO [TABELA...]\n", stderr);
        return proto::Usage;
    }
    limitResources();
    Output out;
    std::vector<std::string_view> requested(argv + 2, argv + argc);

    Session session;
    MdbHandle* mdb = session.mdb = mdb_open(argv[1], MDB_NOFLAGS);
    if (!mdb)
        return proto::NotAccess;
    // A file cut short is damaged even when the pages that are left read well.
    struct stat status {};
    const auto pageSize = static_cast<off_t>(mdb->fmt->pg_size);
    if (stat(argv[1], &status) != 0 || pageSize <= 0 || status.st_size % pageSize != 0)
        return proto::NotAccess;
    const auto pageCount = static_cast<guint32>(status.st_size / pageSize);
    mdb_set_bind_size(mdb, kTextBindSize);
    if (!mdb_read_catalog(mdb, MDB_TABLE))
        return proto::NotAccess;

    std::vector<OpenTable>& tables = session.tables;
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (!mdb_is_user_table(entry))
            continue;
        // Two tables of one name: a damaged catalog.
        for (const OpenTable& seen : tables) {
            if (g_ascii_strcasecmp(seen.entry->object_name, entry->object_name) == 0)
                return proto::NotAccess;
        }
        MdbTableDef* table = mdb_read_table(entry);
        if (!table)
            return proto::NotAccess;
        if (!mdb_read_columns(table)) {
            mdb_free_tabledef(table);
            return proto::NotAccess;
        }
        tables.push_back({entry, table});
        mdb_read_indices(table);
        if (!pagesInsideFile(mdb, table, pageCount))
            return proto::NotAccess;
    }

    out.raw(proto::kMagic, proto::kMagicLength);
    out.byte(static_cast<std::uint8_t>(mdb->f->jet_version + 3));
    for (const OpenTable& open : tables) {
        if (!writeSchema(out, open))
            return proto::NotAccess;
    }
    out.byte(proto::SchemaEnd);

    std::vector<std::string_view> missing;
    for (const std::string_view& name : requested) {
        bool found = name == "*";
        for (const OpenTable& open : tables)
            found = found || g_ascii_strcasecmp(std::string(name).c_str(), open.entry->object_name) == 0;
        if (!found)
            missing.push_back(name);
    }
    for (const OpenTable& open : tables) {
        if (!wanted(requested, open.entry->object_name))
            continue;
        if (const int code = writeRows(out, open); code != proto::Done)
            return code;
    }
    for (const std::string_view& name : missing) {
        out.byte(proto::NoSuchTable);
        out.text(name);
    }
    out.byte(proto::End);
    return proto::Done;
}
