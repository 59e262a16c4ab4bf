#include "jet/TableWriter.h"

#include "jet/GeneralSortOrder.h"
#include "jet/JetFormat.h"
#include "jet/TextEncoding.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace fiscora::jet {

using namespace format;

namespace {

// Access's date range: 100-01-01 to 9999-12-31 23:59:59.
constexpr double FirstDate = -657434.0;
constexpr double EndDate = 2958466.0;
constexpr int MaxLongValueBytes = 0x00FFFFFF;
constexpr quint8 KeyStart = 0x7F;
constexpr quint8 KeyNull = 0x00;

void appendBigEndian(std::vector<quint8>& out, quint64 bits, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(quint8(bits >> (8 * i)));
}

// Integers: big-endian with the sign bit flipped. Floating point: the sign bit flipped for
// positive values, every bit flipped for negative ones. Both then sort bytewise.
void appendIntegerKey(std::vector<quint8>& out, qint64 value, int bytes) {
    const quint64 sign = quint64(1) << (8 * bytes - 1);
    appendBigEndian(
        out, (quint64(value) ^ sign) & (bytes == 8 ? ~quint64(0) : (quint64(1) << (8 * bytes)) - 1), bytes);
}

void appendFloatKey(std::vector<quint8>& out, quint64 bits, int bytes) {
    const quint64 sign = quint64(1) << (8 * bytes - 1);
    const quint64 mask = bytes == 8 ? ~quint64(0) : (quint64(1) << (8 * bytes)) - 1;
    bits = (bits & sign) ? (~bits & mask) : (bits ^ sign);
    appendBigEndian(out, bits, bytes);
}

} // namespace

TableWriter::TableWriter(PageStore& store, const TableSchema& schema, quint32 definitionPage)
    : m_store(store)
    , m_schema(schema)
    , m_definitionPage(definitionPage)
    , m_data(store, definitionPage)
    , m_indexes(schema.indexes.size())
    , m_longValueSlot(schema.columns.size(), -1) {
    for (const int position : m_schema.longValueColumns()) {
        m_longValueSlot[std::size_t(position)] = int(m_longValues.size());
        m_longValues.push_back(std::make_unique<LongValueWriter>(store));
    }
    m_row.reserve(MaxRowSize + 64);
    m_varOffsets.resize(std::size_t(m_schema.variableCount));
    m_nullMask.resize((m_schema.columns.size() + 7) / 8);
}

AppError TableWriter::failure(const QString& column, const QString& what) const {
    const QString where = column.isEmpty()
                              ? QStringLiteral("Tabela %1, linha %2").arg(m_schema.name).arg(rowCount() + 1)
                              : QStringLiteral("Tabela %1, linha %2, coluna %3")
                                    .arg(m_schema.name)
                                    .arg(rowCount() + 1)
                                    .arg(column);
    return AppError::message(where + QStringLiteral(": ") + what);
}

const Value& TableWriter::valueAt(const Value* values, int column) const {
    if (column == m_schema.autoNumberColumn && std::holds_alternative<std::monostate>(values[column]))
        return m_assigned;
    return values[column];
}

Status TableWriter::addRow(const Value* values, int count, const QByteArray* binaries) {
    const int columns = int(m_schema.columns.size());
    if (count != columns)
        return failure({}, QStringLiteral("%1 valores para %2 colunas.").arg(count).arg(columns));

    if (m_schema.autoNumberColumn >= 0) {
        const Value& v = values[m_schema.autoNumberColumn];
        if (std::holds_alternative<std::monostate>(v)) {
            if (m_lastAutoNumber >= std::numeric_limits<qint32>::max())
                return failure({}, QStringLiteral("numeração automática esgotada."));
            m_assigned = m_lastAutoNumber + 1;
        } else if (const qint64* n = std::get_if<qint64>(&v)) {
            if (*n > m_lastAutoNumber && *n <= std::numeric_limits<qint32>::max())
                m_lastAutoNumber = *n;
        }
    }

    m_row.assign(std::size_t(2 + m_schema.fixedAreaSize), 0);
    put16(m_row.data(), quint16(columns));
    std::fill(m_nullMask.begin(), m_nullMask.end(), 0);
    for (int i = 0; i < columns; ++i) {
        const ColumnSchema& c = m_schema.columns[std::size_t(i)];
        if (Status encoded = encodeColumn(c, valueAt(values, i), binaries ? &binaries[i] : nullptr); !encoded)
            return encoded;
    }
    if (m_schema.variableCount > 0) {
        const std::size_t at = m_row.size();
        m_row.resize(at + 2 + 2 * m_varOffsets.size() + 2);
        quint8* p = m_row.data() + at;
        put16(p, quint16(at)); // end of the variable data
        p += 2;
        for (std::size_t k = m_varOffsets.size(); k-- > 0; p += 2)
            put16(p, m_varOffsets[k]);
        put16(p, quint16(m_varOffsets.size()));
    }
    m_row.insert(m_row.end(), m_nullMask.begin(), m_nullMask.end());
    if (int(m_row.size()) > MaxRowSize)
        return failure({}, QStringLiteral("a linha ocupa mais de %1 bytes.").arg(MaxRowSize));

    // Index keys are made before the row is stored so that a refused key leaves nothing half
    // done in the indexes.
    m_key.clear();
    m_keyEnds.clear();
    for (const IndexSchema& index : m_schema.indexes) {
        bool hasNull = false;
        for (const int position : index.columns) {
            const ColumnSchema& c = m_schema.columns[std::size_t(position)];
            const Value& v = valueAt(values, position);
            if (c.type != TypeBoolean && std::holds_alternative<std::monostate>(v)) {
                m_key.push_back(KeyNull);
                hasNull = true;
            } else if (!appendKey(c, v, m_key)) {
                return failure(c.name, QStringLiteral("caractere não suportado em coluna indexada."));
            }
        }
        // An entry (with its row pointer, and a child pointer in node pages) must fit on a page.
        const std::size_t length = m_key.size() - (m_keyEnds.empty() ? 0 : m_keyEnds.back().first);
        if (length + 8 > std::size_t(IndexEntrySpace))
            return failure({}, QStringLiteral("a chave do índice %1 não cabe numa página.").arg(index.name));
        m_keyEnds.emplace_back(m_key.size(), hasNull);
    }

    const quint32 pointer = m_data.add(m_row.data(), int(m_row.size()));
    std::size_t start = 0;
    for (std::size_t k = 0; k < m_indexes.size(); ++k) {
        m_indexes[k].add(m_key.data() + start, int(m_keyEnds[k].first - start), pointer, m_keyEnds[k].second);
        start = m_keyEnds[k].first;
    }
    if (m_schema.autoNumberColumn >= 0 &&
        std::holds_alternative<std::monostate>(values[m_schema.autoNumberColumn]))
        m_lastAutoNumber = std::get<qint64>(m_assigned);
    return {};
}

Status TableWriter::encodeColumn(const ColumnSchema& c, const Value& value, const QByteArray* binary) {
    const auto wrongType = [&] {
        return failure(c.name, QStringLiteral("valor de tipo diferente do da coluna."));
    };
    const auto outOfRange = [&] {
        return failure(c.name, QStringLiteral("valor fora dos limites da coluna."));
    };
    const auto setPresent = [&] {
        m_nullMask[c.number / 8] |= quint8(1 << (c.number % 8));
    };
    quint8* fixed = m_row.data() + 2 + c.fixedOffset;

    const bool binaryColumn = c.type == TypeBinary || c.type == TypeOle || c.type == TypeLongBinary;
    const bool isNull =
        binaryColumn ? (!binary || binary->isNull()) : std::holds_alternative<std::monostate>(value);
    if (!c.isFixed())
        m_varOffsets[c.varIndex] = quint16(m_row.size());
    if (isNull) {
        if (c.required && c.type != TypeBoolean)
            return failure(c.name, QStringLiteral("valor obrigatório ausente."));
        return {};
    }

    switch (c.type) {
    case TypeBoolean: {
        const bool* b = std::get_if<bool>(&value);
        if (!b)
            return wrongType();
        if (*b)
            setPresent(); // a boolean is its bit in the null mask
        return {};
    }
    case TypeByte:
    case TypeInteger:
    case TypeLong: {
        const qint64* n = std::get_if<qint64>(&value);
        if (!n)
            return wrongType();
        if (c.type == TypeByte) {
            if (*n < 0 || *n > 255)
                return outOfRange();
            fixed[0] = quint8(*n);
        } else if (c.type == TypeInteger) {
            if (*n < std::numeric_limits<qint16>::min() || *n > std::numeric_limits<qint16>::max())
                return outOfRange();
            put16(fixed, quint16(*n));
        } else {
            if (*n < std::numeric_limits<qint32>::min() || *n > std::numeric_limits<qint32>::max())
                return outOfRange();
            put32(fixed, quint32(*n));
        }
        break;
    }
    case TypeCurrency: {
        const Currency* m = std::get_if<Currency>(&value);
        if (!m)
            return wrongType();
        put64(fixed, quint64(m->scaled));
        break;
    }
    case TypeSingle:
    case TypeDouble: {
        const double* d = std::get_if<double>(&value);
        if (!d)
            return wrongType();
        if (!std::isfinite(*d))
            return outOfRange();
        if (c.type == TypeSingle) {
            if (std::fabs(*d) > double(std::numeric_limits<float>::max()))
                return outOfRange();
            putFloat(fixed, float(*d));
        } else {
            putDouble(fixed, *d);
        }
        break;
    }
    case TypeDateTime: {
        const DateTime* t = std::get_if<DateTime>(&value);
        if (!t)
            return wrongType();
        if (!std::isfinite(t->oleDays) || t->oleDays < FirstDate || t->oleDays >= EndDate)
            return outOfRange();
        putDouble(fixed, t->oleDays);
        break;
    }
    case TypeText: {
        const QString* s = std::get_if<QString>(&value);
        if (!s)
            return wrongType();
        if (c.maxChars > 0 && s->size() > c.maxChars)
            return failure(c.name, QStringLiteral("texto com mais de %1 caracteres.").arg(c.maxChars));
        TextEncoding::append(*s, c.extraFlags & ColumnCompressedUnicode, m_row);
        break;
    }
    case TypeMemo:
    case TypeOle: {
        m_long.clear();
        if (c.type == TypeMemo) {
            const QString* s = std::get_if<QString>(&value);
            if (!s)
                return wrongType();
            TextEncoding::append(*s, c.extraFlags & ColumnCompressedUnicode, m_long);
        } else {
            m_long.assign(binary->cbegin(), binary->cend());
        }
        if (m_long.size() > std::size_t(MaxLongValueBytes))
            return failure(c.name, QStringLiteral("valor longo demais."));
        const std::size_t at = m_row.size();
        m_row.resize(at + LongValueHeaderSize + MaxInlineLongValue);
        const int used = m_longValues[std::size_t(m_longValueSlot[c.number])]->store(
            m_long.data(), int(m_long.size()), m_row.data() + at);
        m_row.resize(at + std::size_t(used));
        break;
    }
    case TypeBinary:
    case TypeLongBinary:
        if (c.length > 0 && binary->size() > c.length)
            return outOfRange();
        m_row.insert(m_row.end(), binary->cbegin(), binary->cend());
        break;
    default:
        return wrongType();
    }
    setPresent();
    return {};
}

bool TableWriter::appendKey(const ColumnSchema& c, const Value& value, std::vector<quint8>& out) const {
    out.push_back(KeyStart);
    switch (c.type) {
    case TypeBoolean: {
        const bool* b = std::get_if<bool>(&value);
        out.push_back((b && *b) ? 0x00 : 0xFF); // true sorts first
        return true;
    }
    case TypeByte:
        out.push_back(quint8(std::get<qint64>(value)));
        return true;
    case TypeInteger:
        appendIntegerKey(out, std::get<qint64>(value), 2);
        return true;
    case TypeLong:
        appendIntegerKey(out, std::get<qint64>(value), 4);
        return true;
    case TypeCurrency:
        appendIntegerKey(out, std::get<Currency>(value).scaled, 8);
        return true;
    case TypeSingle: {
        const float f = float(std::get<double>(value));
        quint32 bits;
        std::memcpy(&bits, &f, sizeof bits);
        appendFloatKey(out, bits, 4);
        return true;
    }
    case TypeDouble:
    case TypeDateTime: {
        const double d = c.type == TypeDouble ? std::get<double>(value) : std::get<DateTime>(value).oleDays;
        quint64 bits;
        std::memcpy(&bits, &d, sizeof bits);
        appendFloatKey(out, bits, 8);
        return true;
    }
    case TypeText:
        return GeneralSortOrder::appendKey(std::get<QString>(value), out);
    default:
        return false;
    }
}

Status TableWriter::finish() {
    for (std::size_t k = 0; k < m_indexes.size(); ++k) {
        const IndexSchema& index = m_schema.indexes[k];
        if (!m_indexes[k].sort(index.unique))
            return AppError::message(QStringLiteral("Tabela %1, índice %2: valor repetido em índice único.")
                                         .arg(m_schema.name, index.name));
        m_indexes[k].write(m_store, m_definitionPage);
    }
    return {};
}

int TableWriter::minimalRowSize() const {
    int size = 2 + m_schema.fixedAreaSize + int(m_nullMask.size());
    if (m_schema.variableCount > 0)
        size += 4 + 2 * m_schema.variableCount;
    return size;
}

std::vector<quint32> TableWriter::pagesWithFreeSpace() const {
    // Rows are packed in order, so only the last page can still take one; it is listed when a
    // row of the smallest size would fit.
    if (m_data.pages().empty() || !m_data.lastPageCanTake(minimalRowSize()))
        return {};
    return {m_data.pages().back()};
}

} // namespace fiscora::jet
