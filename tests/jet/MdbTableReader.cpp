#include "MdbTableReader.h"

#include <QFile>

#include <mdbtools.h>

#include <cstring>
#include <vector>

using namespace fiscora::jet;

namespace {

qint64 little(const unsigned char* p, int n, bool isSigned) {
    quint64 v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    if (isSigned && n < 8 && (v >> (8 * n - 1)) & 1)
        v |= ~quint64(0) << (8 * n);
    return qint64(v);
}

} // namespace

MdbTableReader::MdbTableReader(const QString& path) {
    MdbHandle* mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (mdb) {
        mdb_set_bind_size(mdb, 1 << 20);
        if (!mdb_read_catalog(mdb, MDB_ANY)) {
            mdb_close(mdb);
            mdb = nullptr;
        }
    }
    m_handle = mdb;
}

MdbTableReader::~MdbTableReader() {
    if (m_handle)
        mdb_close(static_cast<MdbHandle*>(m_handle));
}

QStringList MdbTableReader::tables(bool withSystem) const {
    QStringList names;
    auto* m_mdb = static_cast<MdbHandle*>(m_handle);
    if (!m_mdb)
        return names;
    for (unsigned int i = 0; i < m_mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(m_mdb->catalog, i));
        if (entry->object_type != MDB_TABLE)
            continue;
        if (!withSystem && mdb_is_system_table(entry))
            continue;
        names << QString::fromUtf8(entry->object_name);
    }
    return names;
}

bool MdbTableReader::read(const QString& name, Table* out) const {
    auto* m_mdb = static_cast<MdbHandle*>(m_handle);
    if (!m_mdb)
        return false;
    QByteArray utf8 = name.toUtf8();
    MdbTableDef* table = mdb_read_table_by_name(m_mdb, utf8.data(), MDB_TABLE);
    if (!table)
        return false;
    mdb_read_columns(table);
    mdb_read_indices(table);
    mdb_rewind_table(table);

    const int count = int(table->num_cols);
    std::vector<std::vector<char>> buffers(static_cast<std::size_t>(count),
                                           std::vector<char>(m_mdb->bind_size));
    std::vector<int> lengths(static_cast<std::size_t>(count));
    *out = Table{};
    for (int i = 0; i < count; ++i) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
        out->columns << Column{QString::fromUtf8(col->name), col->col_type, col->col_size};
        mdb_bind_column(table, i + 1, buffers[std::size_t(i)].data(), &lengths[std::size_t(i)]);
    }
    for (unsigned int i = 0; i < table->num_idxs; ++i) {
        auto* idx = static_cast<MdbIndex*>(g_ptr_array_index(table->indices, i));
        IndexInfo info{
            QString::fromUtf8(idx->name), {}, int(idx->flags), int(idx->index_type), int(idx->num_rows)};
        for (unsigned int k = 0; k < idx->num_keys; ++k)
            info.columns << idx->key_col_num[k];
        out->indexes << info;
    }

    std::vector<MdbField> fields(static_cast<std::size_t>(count));
    while (mdb_fetch_row(table)) {
        // Crack the row again for the null flags and the stored bytes of every column.
        int start = 0;
        size_t size = 0;
        if (mdb_find_row(m_mdb, int(table->cur_row) - 1, &start, &size) != 0)
            return false;
        const int cracked = mdb_crack_row(table, start & 0x1FFF, size, fields.data());
        if (cracked < count)
            return false;
        Row row;
        QList<QByteArray> bytes;
        for (int i = 0; i < count; ++i) {
            const MdbField& f = fields[std::size_t(i)];
            auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, f.colnum));
            const auto* raw = static_cast<const unsigned char*>(f.value);
            bytes << (f.is_null || !raw ? QByteArray()
                                        : QByteArray(reinterpret_cast<const char*>(raw), f.siz));
            if (col->col_type == MDB_BOOL) {
                row << Value{!f.is_null};
                continue;
            }
            if (f.is_null) {
                row << Value{};
                continue;
            }
            switch (col->col_type) {
            case MDB_BYTE:
                row << Value{qint64(raw[0])};
                break;
            case MDB_INT:
                row << Value{little(raw, 2, true)};
                break;
            case MDB_LONGINT:
                row << Value{little(raw, 4, true)};
                break;
            case MDB_MONEY:
                row << Value{Currency{little(raw, 8, true)}};
                break;
            case MDB_FLOAT: {
                float v;
                std::memcpy(&v, raw, 4);
                row << Value{double(v)};
                break;
            }
            case MDB_DOUBLE:
            case MDB_DATETIME: {
                double v;
                std::memcpy(&v, raw, 8);
                if (col->col_type == MDB_DOUBLE)
                    row << Value{v};
                else
                    row << Value{DateTime{v}};
                break;
            }
            case MDB_TEXT:
            case MDB_MEMO:
                row << Value{QString::fromUtf8(buffers[std::size_t(f.colnum)].data())};
                break;
            default:
                row << Value{};
                break;
            }
        }
        out->rows << row;
        out->bytes << bytes;
    }
    mdb_free_tabledef(table);
    return true;
}
