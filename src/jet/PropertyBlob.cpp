#include "jet/PropertyBlob.h"

#include "jet/JetFormat.h"

#include <algorithm>

namespace fiscora::jet {

using namespace format;

namespace {

void append16(QByteArray& out, quint16 v) {
    out.append(char(v & 0xFF));
    out.append(char(v >> 8));
}

void append32(QByteArray& out, quint32 v) {
    append16(out, quint16(v));
    append16(out, quint16(v >> 16));
}

QByteArray ucs2(const QString& text) {
    QByteArray out;
    out.reserve(text.size() * 2);
    for (const QChar c : text)
        append16(out, c.unicode());
    return out;
}

constexpr quint16 NamesChunk = 0x0080;
constexpr quint16 ObjectChunk = 0x0000;
constexpr quint16 ColumnChunk = 0x0001;

} // namespace

void PropertyBlob::add(const QString& column, const QString& name, quint8 type, bool ddl,
                       const QByteArray& value) {
    auto it = std::find(m_names.begin(), m_names.end(), name);
    const int index = int(it - m_names.begin());
    if (it == m_names.end())
        m_names.push_back(name);
    m_items.push_back(Item{column, index, type, ddl, value});
}

void PropertyBlob::addText(const QString& column, const QString& name, const QString& value, bool ddl) {
    add(column, name, TypeText, ddl, ucs2(value));
}

void PropertyBlob::addLong(const QString& column, const QString& name, qint32 value, bool ddl) {
    QByteArray bytes;
    append32(bytes, quint32(value));
    add(column, name, TypeLong, ddl, bytes);
}

void PropertyBlob::addBoolean(const QString& column, const QString& name, bool value, bool ddl) {
    add(column, name, TypeBoolean, ddl, QByteArray(1, value ? char(1) : char(0)));
}

QByteArray PropertyBlob::toBytes() const {
    QByteArray out("MR2", 4); // with its terminating zero

    QByteArray names;
    for (const QString& name : m_names) {
        const QByteArray n = ucs2(name);
        append16(names, quint16(n.size()));
        names.append(n);
    }
    append32(out, quint32(6 + names.size()));
    append16(out, NamesChunk);
    out.append(names);

    // One chunk per owner of properties, in order of first appearance: columns first, as
    // Access writes them, then the object itself.
    std::vector<QString> owners;
    for (const Item& item : m_items) {
        if (std::find(owners.begin(), owners.end(), item.column) == owners.end())
            owners.push_back(item.column);
    }
    std::stable_partition(owners.begin(), owners.end(), [](const QString& o) { return !o.isEmpty(); });
    for (const QString& owner : owners) {
        const QByteArray ownerName = ucs2(owner);
        QByteArray body;
        append32(body, quint32(6 + ownerName.size()));
        append16(body, quint16(ownerName.size()));
        body.append(ownerName);
        for (const Item& item : m_items) {
            if (item.column != owner)
                continue;
            append16(body, quint16(8 + item.value.size()));
            body.append(char(item.ddl ? 1 : 0));
            body.append(char(item.type));
            append16(body, quint16(item.name));
            append16(body, quint16(item.value.size()));
            body.append(item.value);
        }
        append32(out, quint32(6 + body.size()));
        append16(out, owner.isEmpty() ? ObjectChunk : ColumnChunk);
        out.append(body);
    }
    return out;
}

} // namespace fiscora::jet
