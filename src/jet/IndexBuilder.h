#pragma once

#include <QtGlobal>

#include <vector>

namespace fiscora::jet {

class PageStore;

// The entries of one index, gathered row by row and written at the end as a B-tree of leaf
// pages (and node pages above them when one leaf is not enough), in the byte order of the
// entries as Jet keeps them.
class IndexBuilder final {
public:
    // key: the entry's column part (flag byte and value per column); pointer: the row's.
    void add(const quint8* key, int length, quint32 pointer, bool hasNull);

    // Sorts the entries. False when a unique index would hold the same key twice (keys with a
    // null column are exempt, as in Access).
    bool sort(bool unique);
    // Writes the pages; the root is a leaf when all entries fit on one page.
    void write(PageStore& store, quint32 tableDefinitionPage);

    quint32 entryCount() const { return quint32(m_entries.size()); }
    quint32 rootPage() const { return m_root; }
    const std::vector<quint32>& pages() const { return m_pages; }

private:
    struct Entry {
        quint32 offset; // into m_keys
        quint16 length;
        bool hasNull;
        quint32 pointer;
    };
    struct Node {
        std::vector<quint8> lastEntry; // the last full entry (key and pointer) under this page
        quint32 page;
    };

    bool less(const Entry& a, const Entry& b) const;
    std::vector<Node> writeLeaves(PageStore& store, quint32 tableDefinitionPage);
    std::vector<Node> writeNodes(PageStore& store, quint32 tableDefinitionPage,
                                 const std::vector<Node>& children);

    std::vector<quint8> m_keys;
    std::vector<Entry> m_entries;
    quint32 m_root = 0;
    std::vector<quint32> m_pages;
};

} // namespace fiscora::jet
