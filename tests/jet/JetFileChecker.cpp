#include "JetFileChecker.h"

#include <QFile>
#include <QSet>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <set>

namespace {

constexpr int PageSize = 4096;

quint16 u16(const quint8* p) {
    return quint16(p[0] | (p[1] << 8));
}
quint32 u32(const quint8* p) {
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}
quint16 u16(const QByteArray& b, int at) {
    return u16(reinterpret_cast<const quint8*>(b.constData()) + at);
}
quint32 u32(const QByteArray& b, int at) {
    return u32(reinterpret_cast<const quint8*>(b.constData()) + at);
}
quint32 big32(const quint8* p) {
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | p[3];
}

QString decodeText(const QByteArray& b) {
    if (b.size() >= 2 && quint8(b[0]) == 0xFF && quint8(b[1]) == 0xFE) {
        // Compressed form: one byte per character, a zero switching to and from two bytes.
        QString s;
        bool compressed = true;
        for (int i = 2; i < b.size();) {
            if (b[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                s += QChar(char16_t(quint8(b[i++])));
            } else if (i + 1 < b.size()) {
                s += QChar(char16_t(u16(b, i)));
                i += 2;
            } else {
                break;
            }
        }
        return s;
    }
    QString s;
    for (int i = 0; i + 1 < b.size(); i += 2)
        s += QChar(char16_t(u16(b, i)));
    return s;
}

int fixedSize(quint8 type) {
    switch (type) {
    case 0x02:
        return 1;
    case 0x03:
        return 2;
    case 0x04:
    case 0x06:
        return 4;
    case 0x05:
    case 0x07:
    case 0x08:
        return 8;
    default:
        return 0;
    }
}

bool isFixedType(quint8 type) {
    return type == 0x01 || fixedSize(type) > 0;
}

} // namespace

JetFileChecker::JetFileChecker(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        problem(QStringLiteral("cannot open %1").arg(path));
        return;
    }
    m_file = file.readAll();
    check();
}

const JetFileChecker::Table* JetFileChecker::table(const QString& name) const {
    for (const Table& t : m_tables) {
        if (t.name == name)
            return &t;
    }
    return nullptr;
}

const quint8* JetFileChecker::page(quint32 n) const {
    return reinterpret_cast<const quint8*>(m_file.constData()) + std::size_t(n) * PageSize;
}

void JetFileChecker::claim(quint32 n, const QString& owner) {
    if (n >= m_pageCount) {
        problem(QStringLiteral("%1 refers to page %2 beyond the file").arg(owner).arg(n));
        return;
    }
    if (m_claims[n].isEmpty())
        m_claims[n] = owner;
    else if (m_claims[n] != owner)
        problem(QStringLiteral("page %1 used by %2 and by %3").arg(n).arg(m_claims[n], owner));
}

QByteArray JetFileChecker::rowAt(quint32 pointer) const {
    const quint32 n = pointer >> 8;
    const int row = int(pointer & 0xFF);
    if (n == 0 || n >= m_pageCount)
        return {};
    const quint8* p = page(n);
    if (p[0] != 0x01 || row >= u16(p + 12))
        return {};
    const int start = u16(p + 14 + 2 * row);
    const int end = row == 0 ? PageSize : u16(p + 14 + 2 * (row - 1));
    if ((start & 0xC000) || start >= end || end > PageSize)
        return {};
    return QByteArray(reinterpret_cast<const char*>(p) + start, end - start);
}

bool JetFileChecker::readMap(quint32 pointer, std::vector<quint32>* pages, int* type, bool claimBitmaps,
                             const QString& owner) {
    const QByteArray map = rowAt(pointer);
    if (map.size() < 5) {
        problem(QStringLiteral("%1: usage map row %2 missing").arg(owner).arg(pointer, 0, 16));
        return false;
    }
    claim(pointer >> 8, QStringLiteral("usage maps"));
    if (page(pointer >> 8)[0] != 0x01 || u32(page(pointer >> 8) + 4) != 0)
        problem(QStringLiteral("%1: usage map row on a page that is not a map page").arg(owner));
    pages->clear();
    *type = quint8(map[0]);
    if (*type == 0) {
        const quint32 start = u32(map, 1);
        for (int i = 5; i < map.size(); ++i) {
            for (int bit = 0; bit < 8; ++bit) {
                if (quint8(map[i]) & (1 << bit))
                    pages->push_back(start + quint32((i - 5) * 8 + bit));
            }
        }
        return true;
    }
    if (*type != 1) {
        problem(QStringLiteral("%1: unknown usage map type %2").arg(owner).arg(*type));
        return false;
    }
    for (int slot = 0; 1 + 4 * slot + 4 <= map.size(); ++slot) {
        const quint32 bitmap = u32(map, 1 + 4 * slot);
        if (!bitmap)
            continue;
        if (bitmap >= m_pageCount || page(bitmap)[0] != 0x05) {
            problem(QStringLiteral("%1: map points to %2, not a bitmap page").arg(owner).arg(bitmap));
            continue;
        }
        if (claimBitmaps)
            claim(bitmap, owner + QStringLiteral(" bitmap"));
        const quint8* b = page(bitmap);
        for (int i = 4; i < PageSize; ++i) {
            for (int bit = 0; bit < 8; ++bit) {
                if (b[i] & (1 << bit))
                    pages->push_back(quint32(slot) * (PageSize - 4) * 8 + quint32((i - 4) * 8 + bit));
            }
        }
    }
    return true;
}

JetFileChecker::Definition JetFileChecker::readDefinition(quint32 first, const QString& owner) {
    Definition d;
    QByteArray b;
    for (quint32 n = first; n; n = u32(page(n) + 4)) {
        if (n >= m_pageCount || page(n)[0] != 0x02 || d.pages.size() > 64) {
            problem(QStringLiteral("%1: definition page %2 is not one").arg(owner).arg(n));
            return d;
        }
        claim(n, QStringLiteral("definition of ") + owner);
        d.pages.push_back(n);
        b += QByteArray(reinterpret_cast<const char*>(page(n)) + (b.isEmpty() ? 0 : 8),
                        b.isEmpty() ? PageSize : PageSize - 8);
    }
    const auto need = [&](int n) {
        if (b.size() < n) {
            problem(QStringLiteral("%1: definition cut short").arg(owner));
            return false;
        }
        return true;
    };
    if (!need(63))
        return d;
    const quint32 length = u32(b, 8);
    if (u32(b, 12) != 1625)
        problem(QStringLiteral("%1: definition magic").arg(owner));
    d.rows = u32(b, 16);
    d.autoNumber = u32(b, 20);
    d.tableType = quint8(b[40]);
    d.columnCount = u16(b, 45);
    d.variableCount = u16(b, 43);
    const int logicalCount = int(u32(b, 47));
    const int physicalCount = int(u32(b, 51));
    d.ownedMap = u32(b, 55);
    d.freeMap = u32(b, 59);
    int at = 63;
    if (!need(at + 12 * physicalCount + 25 * d.columnCount))
        return d;
    for (int i = 0; i < physicalCount; ++i, at += 12)
        d.indexEntries.push_back(u32(b, at + 4));
    std::vector<Column> listed;
    for (int i = 0; i < d.columnCount; ++i, at += 25) {
        const auto* c = reinterpret_cast<const quint8*>(b.constData()) + at;
        listed.push_back(Column{c[0], u16(c + 5), u16(c + 7), u16(c + 21), u16(c + 23), c[15], {}});
    }
    for (Column& c : listed) {
        if (!need(at + 2))
            return d;
        const int n = u16(b, at);
        if (!need(at + 2 + n))
            return d;
        c.name = decodeText(b.mid(at + 2, n));
        at += 2 + n;
    }
    d.columns.resize(std::size_t(d.columnCount));
    for (const Column& c : listed) {
        if (c.number >= d.columnCount) {
            problem(QStringLiteral("%1: column number %2 out of range").arg(owner).arg(c.number));
            return d;
        }
        d.columns[std::size_t(c.number)] = c;
    }
    if (!need(at + 52 * physicalCount + 28 * logicalCount))
        return d;
    for (int i = 0; i < physicalCount; ++i, at += 52) {
        Definition::Physical p;
        for (int k = 0; k < 10; ++k) {
            const int col = u16(b, at + 4 + 3 * k);
            if (col != 0xFFFF)
                p.columns.push_back(col);
        }
        p.map = u32(b, at + 34);
        p.root = u32(b, at + 38);
        p.flags = quint8(b[at + 46]);
        d.physical.push_back(p);
    }
    std::vector<int> logicalPhysical;
    for (int i = 0; i < logicalCount; ++i, at += 28)
        logicalPhysical.push_back(int(u32(b, at + 8)));
    for (int i = 0; i < logicalCount; ++i) {
        if (!need(at + 2))
            return d;
        const int n = u16(b, at);
        d.logical.emplace_back(decodeText(b.mid(at + 2, n)), logicalPhysical[std::size_t(i)]);
        at += 2 + n;
    }
    for (;;) {
        if (!need(at + 2))
            return d;
        const int col = u16(b, at);
        if (col == 0xFFFF) {
            at += 2;
            break;
        }
        if (!need(at + 10))
            return d;
        d.longValues.push_back({col, u32(b, at + 2), u32(b, at + 6)});
        at += 10;
    }
    if (quint32(at) != length)
        problem(QStringLiteral("%1: definition length %2, content %3").arg(owner).arg(length).arg(at));
    d.ok = true;
    return d;
}

std::vector<JetFileChecker::RowRef> JetFileChecker::readRows(const Definition& d,
                                                             const std::vector<quint32>& pages, quint32 owner,
                                                             const QString& what, Table* info) {
    std::vector<RowRef> rows;
    for (const quint32 n : pages) {
        claim(n, QStringLiteral("data of ") + what);
        if (n >= m_pageCount)
            continue;
        const quint8* p = page(n);
        if (p[0] != 0x01 || u32(p + 4) != owner) {
            problem(QStringLiteral("%1: page %2 in its map is not its data page").arg(what).arg(n));
            continue;
        }
        const int count = u16(p + 12);
        int used = 0;
        int previous = PageSize;
        for (int r = 0; r < count; ++r) {
            const int start = u16(p + 14 + 2 * r);
            if ((start & 0xC000) || start >= previous || start < 14 + 2 * count) {
                problem(QStringLiteral("%1: page %2 row %3 offset %4").arg(what).arg(n).arg(r).arg(start));
                break;
            }
            rows.push_back(
                RowRef{n, r, QByteArray(reinterpret_cast<const char*>(p) + start, previous - start)});
            used += previous - start + 2;
            previous = start;
        }
        const int free = 4082 - used;
        if (u16(p + 2) != free)
            problem(QStringLiteral("%1: page %2 free space %3, computed %4")
                        .arg(what)
                        .arg(n)
                        .arg(u16(p + 2))
                        .arg(free));
        if (info) {
            info->dataPages.push_back(n);
            info->rowsPerPage.push_back(count);
            info->freeSpace.push_back(u16(p + 2));
        }
    }
    if (rows.size() != d.rows)
        problem(QStringLiteral("%1: %2 rows in its pages, %3 in its definition")
                    .arg(what)
                    .arg(rows.size())
                    .arg(d.rows));
    return rows;
}

JetFileChecker::Cells JetFileChecker::crack(const Definition& d, const QByteArray& row, const QString& what) {
    Cells cells(d.columns.size());
    const int maskSize = (d.columnCount + 7) / 8;
    if (row.size() < 2 + maskSize || u16(row, 0) != d.columnCount) {
        problem(QStringLiteral("%1: row of %2 bytes malformed").arg(what).arg(row.size()));
        return cells;
    }
    const int maskAt = row.size() - maskSize;
    const auto present = [&](int column) {
        return (quint8(row[maskAt + column / 8]) >> (column % 8)) & 1;
    };
    std::vector<int> offsets;
    int eod = 0;
    if (d.variableCount > 0) {
        const int n = u16(row, maskAt - 2);
        for (int k = 0; k < n; ++k)
            offsets.push_back(u16(row, maskAt - 4 - 2 * k));
        eod = u16(row, maskAt - 4 - 2 * n);
        if (eod > maskAt - 4 - 2 * n) {
            problem(QStringLiteral("%1: variable data overruns its row").arg(what));
            return cells;
        }
    }
    for (const Column& c : d.columns) {
        if (c.type == 0x01) {
            cells[std::size_t(c.number)] = QByteArray(1, char(present(c.number)));
            continue;
        }
        if (!present(c.number))
            continue;
        if (isFixedType(c.type)) {
            if (2 + c.fixedOffset + fixedSize(c.type) > maskAt) {
                problem(QStringLiteral("%1: fixed column %2 outside its row").arg(what, c.name));
                continue;
            }
            cells[std::size_t(c.number)] = row.mid(2 + c.fixedOffset, fixedSize(c.type));
        } else {
            if (c.varIndex >= int(offsets.size())) {
                problem(QStringLiteral("%1: column %2 has no offset").arg(what, c.name));
                continue;
            }
            const int start = offsets[std::size_t(c.varIndex)];
            const int end = c.varIndex + 1 < int(offsets.size()) ? offsets[std::size_t(c.varIndex + 1)] : eod;
            if (start > end || end > eod) {
                problem(QStringLiteral("%1: column %2 bounds").arg(what, c.name));
                continue;
            }
            cells[std::size_t(c.number)] = row.mid(start, end - start);
            if (cells[std::size_t(c.number)].isNull())
                cells[std::size_t(c.number)] = QByteArray("");
        }
    }
    return cells;
}

QByteArray JetFileChecker::longValue(const QByteArray& cell, const std::vector<quint32>& pages, Table* info,
                                     const QString& what) {
    if (cell.size() < 12) {
        problem(QStringLiteral("%1: long value reference of %2 bytes").arg(what).arg(cell.size()));
        return {};
    }
    const quint32 head = u32(cell, 0);
    const quint32 length = head & 0x00FFFFFF;
    const quint8 kind = quint8(head >> 24);
    const auto inMap = [&](quint32 pointer) {
        const quint32 n = pointer >> 8;
        if (!std::binary_search(pages.begin(), pages.end(), n) || u32(page(n) + 4) != 0x4C41564C) {
            problem(QStringLiteral("%1: long value on page %2 outside its column's map").arg(what).arg(n));
            return false;
        }
        return true;
    };
    if (kind == 0x80) {
        ++info->inlineValues;
        if (quint32(cell.size() - 12) != length)
            problem(QStringLiteral("%1: inline long value length").arg(what));
        return cell.mid(12);
    }
    if (kind == 0x40) {
        ++info->singleValues;
        const quint32 pointer = u32(cell, 4);
        if (!inMap(pointer))
            return {};
        const QByteArray data = rowAt(pointer);
        if (quint32(data.size()) != length)
            problem(
                QStringLiteral("%1: long value row length %2 for %3").arg(what).arg(data.size()).arg(length));
        return data;
    }
    if (kind == 0x00) {
        ++info->chainedValues;
        QByteArray data;
        for (quint32 pointer = u32(cell, 4); pointer;) {
            if (!inMap(pointer) || data.size() > int(length))
                return {};
            const QByteArray part = rowAt(pointer);
            if (part.size() < 4)
                return {};
            data += part.mid(4);
            pointer = u32(part, 0);
        }
        if (quint32(data.size()) != length)
            problem(QStringLiteral("%1: chained long value length").arg(what));
        return data;
    }
    problem(QStringLiteral("%1: long value kind %2").arg(what).arg(kind));
    return {};
}

void JetFileChecker::walkIndex(const Definition& d, int physical, Index& index,
                               const std::vector<RowRef>& rows, const QString& what) {
    const Definition::Physical& def = d.physical[std::size_t(physical)];
    std::vector<quint32> mapPages;
    int mapType = 0;
    readMap(def.map, &mapPages, &mapType, true, what);

    std::map<quint32, int> rowIndex; // pointer -> position in rows
    for (std::size_t i = 0; i < rows.size(); ++i)
        rowIndex[(rows[i].page << 8) | quint32(rows[i].row)] = int(i);
    std::vector<int> seen(rows.size(), 0);
    std::set<quint32> visited;
    std::vector<QByteArray> entries; // leaf entries in tree order
    std::vector<quint32> leaves;

    // Returns the last entry under page n (without a child pointer).
    std::function<QByteArray(quint32, int)> walk = [&](quint32 n, int depth) -> QByteArray {
        if (n >= m_pageCount || visited.count(n) || depth > 8) {
            problem(QStringLiteral("%1: index page %2 repeated or out of range").arg(what).arg(n));
            return {};
        }
        visited.insert(n);
        index.depth = std::max(index.depth, depth);
        claim(n, what);
        const quint8* p = page(n);
        if ((p[0] != 0x03 && p[0] != 0x04) || u32(p + 4) != d.pages.front()) {
            problem(QStringLiteral("%1: page %2 is not one of its index pages").arg(what).arg(n));
            return {};
        }
        if (u16(p + 24) != 0)
            problem(QStringLiteral("%1: page %2 uses prefix compression").arg(what).arg(n));
        std::vector<QByteArray> here;
        int start = 0x1E0;
        for (int bit = 1; bit <= (PageSize - 0x1E0); ++bit) {
            if (p[0x1B + bit / 8] & (1 << (bit % 8))) {
                here.emplace_back(reinterpret_cast<const char*>(p) + start, 0x1E0 + bit - start);
                start = 0x1E0 + bit;
            }
        }
        if (u16(p + 2) != PageSize - start)
            problem(QStringLiteral("%1: page %2 free space").arg(what).arg(n));
        if (p[0] == 0x04) {
            leaves.push_back(n);
            for (const QByteArray& e : here)
                entries.push_back(e);
            return here.empty() ? QByteArray() : here.back();
        }
        QByteArray last;
        for (const QByteArray& e : here) {
            const auto* b = reinterpret_cast<const quint8*>(e.constData());
            const QByteArray below = walk(big32(b + e.size() - 4), depth + 1);
            if (below != e.left(e.size() - 4))
                problem(QStringLiteral("%1: node entry on page %2 is not its child's last entry")
                            .arg(what)
                            .arg(n));
            last = below;
        }
        if (const quint32 tail = u32(p + 20))
            last = walk(tail, depth + 1);
        if (here.empty() && !u32(p + 20))
            problem(QStringLiteral("%1: empty node page %2").arg(what).arg(n));
        return last;
    };
    index.depth = 0;
    walk(def.root, 1);
    index.pages.assign(visited.begin(), visited.end());
    if (index.pages != mapPages)
        problem(QStringLiteral("%1: usage map does not list exactly the index's pages").arg(what));
    for (std::size_t k = 0; k < leaves.size(); ++k) {
        const quint8* p = page(leaves[k]);
        if (u32(p + 12) != (k ? leaves[k - 1] : 0) ||
            u32(p + 16) != (k + 1 < leaves.size() ? leaves[k + 1] : 0))
            problem(QStringLiteral("%1: leaf %2 not linked to its neighbours").arg(what).arg(leaves[k]));
    }

    index.leafEntries = quint32(entries.size());
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const QByteArray& e = entries[k];
        if (k > 0 && !(entries[k - 1] < e))
            problem(QStringLiteral("%1: entries %2 and %3 out of order").arg(what).arg(k - 1).arg(k));
        if (e.size() < 5)
            continue;
        const quint32 pointer = big32(reinterpret_cast<const quint8*>(e.constData()) + e.size() - 4);
        const auto it = rowIndex.find(pointer);
        if (it == rowIndex.end()) {
            problem(QStringLiteral("%1: entry points to %2, not a row").arg(what).arg(pointer, 0, 16));
            continue;
        }
        ++seen[std::size_t(it->second)];
        // A single Long key can be checked against the row's value.
        if (def.columns.size() == 1 && d.columns[std::size_t(def.columns[0])].type == 0x04) {
            const Cells cells = crack(d, rows[std::size_t(it->second)].bytes, what);
            const QByteArray& cell = cells[std::size_t(def.columns[0])];
            QByteArray expected = cell.isNull() ? QByteArray(1, '\0') : QByteArray(1, '\x7F');
            if (!cell.isNull()) {
                const quint32 v = u32(cell, 0) ^ 0x80000000u;
                expected += char(v >> 24);
                expected += char(v >> 16);
                expected += char(v >> 8);
                expected += char(v);
            }
            if (e.left(e.size() - 4) != expected)
                problem(QStringLiteral("%1: key does not match its row").arg(what));
        }
    }
    if (std::any_of(seen.begin(), seen.end(), [](int s) { return s != 1; }))
        problem(QStringLiteral("%1: not every row has exactly one entry").arg(what));
    if (index.entries != index.leafEntries)
        problem(QStringLiteral("%1: definition counts %2 entries, tree holds %3")
                    .arg(what)
                    .arg(index.entries)
                    .arg(index.leafEntries));
}

void JetFileChecker::checkTable(Table& info, const Definition& d, const std::vector<RowRef>& rows) {
    const QString what = QStringLiteral("table ") + info.name;
    std::vector<quint32> freePages;
    int freeType = 0;
    if (readMap(d.freeMap, &freePages, &freeType, true, what + QStringLiteral(" free map"))) {
        for (const quint32 n : freePages) {
            if (!std::binary_search(info.dataPages.begin(), info.dataPages.end(), n))
                problem(QStringLiteral("%1: free map lists page %2 it does not own").arg(what).arg(n));
        }
    }
    // Long values: each column's pages, and every reference in the rows.
    std::map<int, std::vector<quint32>> longPages;
    for (const Definition::LongValue& lv : d.longValues) {
        const QString owner = QStringLiteral("long values of %1.%2").arg(info.name).arg(lv.column);
        std::vector<quint32> pages;
        int type = 0;
        readMap(lv.owned, &pages, &type, true, owner);
        for (const quint32 n : pages) {
            claim(n, owner);
            if (n < m_pageCount && (page(n)[0] != 0x01 || u32(page(n) + 4) != 0x4C41564C))
                problem(QStringLiteral("%1: page %2 is not a long-value page").arg(owner).arg(n));
        }
        std::vector<quint32> free;
        readMap(lv.free, &free, &type, true, owner);
        for (const quint32 n : free) {
            if (!std::binary_search(pages.begin(), pages.end(), n))
                problem(QStringLiteral("%1: free map lists page %2 it does not own").arg(owner).arg(n));
        }
        longPages[lv.column] = pages;
    }
    const bool catalog = info.definitionPage == 2;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const Cells cells = crack(d, rows[r].bytes, what);
        for (const Column& c : d.columns) {
            if ((c.type == 0x0B || c.type == 0x0C) && !cells[std::size_t(c.number)].isNull()) {
                if (!longPages.count(c.number)) {
                    problem(QStringLiteral("%1: long-value column %2 without maps").arg(what, c.name));
                    continue;
                }
                const QByteArray value =
                    longValue(cells[std::size_t(c.number)], longPages[c.number], &info, what);
                if (catalog && c.name == QStringLiteral("LvProp") && qsizetype(r) < m_catalog.size())
                    m_catalog[qsizetype(r)].properties = value;
            }
        }
    }
    for (std::size_t i = 0; i < d.physical.size(); ++i) {
        Index index;
        for (const auto& [name, physical] : d.logical) {
            if (physical == int(i))
                index.name = name;
        }
        index.entries = i < d.indexEntries.size() ? d.indexEntries[i] : 0;
        walkIndex(d, int(i), index, rows, QStringLiteral("index %1.%2").arg(info.name, index.name));
        info.indexes << index;
    }
}

void JetFileChecker::check() {
    if (m_file.size() < 3 * PageSize || m_file.size() % PageSize) {
        problem(QStringLiteral("file size %1 is not whole pages").arg(m_file.size()));
        return;
    }
    m_pageCount = quint32(m_file.size() / PageSize);
    m_claims.assign(m_pageCount, QString());
    if (page(0)[0] != 0 || std::memcmp(page(0) + 4, "Standard Jet DB", 15) != 0 || page(0)[0x14] != 1)
        problem(QStringLiteral("page 0 is not a Jet 4 header"));
    claim(0, QStringLiteral("header"));
    claim(1, QStringLiteral("global map"));

    // The catalog first: MSysObjects is always defined on page 2.
    std::map<quint32, QString> tablesByPage;
    std::vector<quint32> order{2};
    tablesByPage[2] = QStringLiteral("MSysObjects");
    for (std::size_t k = 0; k < order.size(); ++k) {
        const quint32 first = order[k];
        Table info;
        info.name = tablesByPage[first];
        info.definitionPage = first;
        const Definition d = readDefinition(first, info.name);
        if (!d.ok)
            continue;
        info.definitionPages = int(d.pages.size());
        info.rows = d.rows;
        info.autoNumber = d.autoNumber;
        std::vector<quint32> pages;
        readMap(d.ownedMap, &pages, &info.ownedMapType, true, QStringLiteral("table ") + info.name);
        const std::vector<RowRef> rows =
            readRows(d, pages, first, QStringLiteral("table ") + info.name, &info);
        if (first == 2) {
            for (const RowRef& r : rows) {
                const Cells c = crack(d, r.bytes, info.name);
                if (c.size() < 8 || c[0].size() != 4 || c[1].size() != 4 || c[3].size() != 2) {
                    problem(QStringLiteral("catalog row without id, parent or type"));
                    continue;
                }
                CatalogRow row{qint32(u32(c[0], 0)),
                               qint32(u32(c[1], 0)),
                               decodeText(c[2]),
                               qint16(u16(c[3], 0)),
                               c[7].size() == 4 ? qint32(u32(c[7], 0)) : 0,
                               c[6],
                               {}};
                m_catalog << row;
                if ((row.type & 0x7F) == 1) {
                    const quint32 definition = quint32(row.id) & 0x00FFFFFF;
                    if (row.parentId != 0x0F000001)
                        problem(QStringLiteral("table %1 not in the Tables container").arg(row.name));
                    if (tablesByPage.count(definition) && definition != 2)
                        problem(QStringLiteral("two catalog rows name definition page %1").arg(definition));
                    if (definition == 2) {
                        if (row.name != QStringLiteral("MSysObjects"))
                            problem(QStringLiteral("page 2 is catalogued as %1").arg(row.name));
                        continue;
                    }
                    tablesByPage[definition] = row.name;
                    order.push_back(definition);
                }
            }
            QSet<QString> names;
            for (const CatalogRow& r : m_catalog) {
                const QString key = QString::number(r.parentId) + QLatin1Char('/') + r.name.toCaseFolded();
                if (names.contains(key))
                    problem(QStringLiteral("catalog name %1 repeated").arg(r.name));
                names.insert(key);
            }
        }
        if (info.name == QStringLiteral("MSysACEs")) {
            for (const RowRef& r : rows) {
                const Cells c = crack(d, r.bytes, info.name);
                if (c.size() == 4 && c[0].size() == 4 && c[2].size() == 4)
                    m_aces << Ace{qint32(u32(c[0], 0)), c[1], qint32(u32(c[2], 0)),
                                  c[3] == QByteArray(1, '\1')};
            }
        }
        checkTable(info, d, rows);
        m_tables << info;
    }
    for (const CatalogRow& r : m_catalog) {
        if ((r.type & 0x7F) == 1 &&
            std::none_of(m_aces.begin(), m_aces.end(), [&](const Ace& a) { return a.objectId == r.id; }))
            problem(QStringLiteral("table %1 has no permissions").arg(r.name));
    }

    // The global map: bit set = free; every page of the file is in use, none beyond.
    const QByteArray global = rowAt(0x100);
    if (global.size() < 5 || global[0] != 0 || u32(global, 1) != 0) {
        problem(QStringLiteral("global usage map malformed"));
        return;
    }
    if (quint32(global.size() - 5) * 8 < m_pageCount)
        problem(QStringLiteral("global usage map covers fewer pages than the file"));
    for (quint32 n = 0; n < quint32(global.size() - 5) * 8; ++n) {
        const bool free = (quint8(global[5 + int(n / 8)]) >> (n % 8)) & 1;
        if (n < m_pageCount && free)
            problem(QStringLiteral("page %1 in use but free in the global map").arg(n));
        if (n >= m_pageCount && !free)
            problem(QStringLiteral("page %1 beyond the file marked in use").arg(n));
    }
    for (quint32 n = 0; n < m_pageCount; ++n) {
        if (m_claims[n].isEmpty())
            problem(QStringLiteral("page %1 belongs to nothing").arg(n));
    }
}
