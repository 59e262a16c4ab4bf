#include "jet/IndexBuilder.h"

#include "jet/JetFormat.h"
#include "jet/PageStore.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace fiscora::jet {

using namespace format;

namespace {

void putPointerBigEndian(quint8* p, quint32 pointer) {
    p[0] = quint8(pointer >> 24);
    p[1] = quint8(pointer >> 16);
    p[2] = quint8(pointer >> 8);
    p[3] = quint8(pointer);
}

// Starts an index page: the entries and the bitmap marking where each one ends are filled by
// the caller through addEntry.
class IndexPage {
public:
    IndexPage(PageStore& store, quint8 type, quint32 tableDefinitionPage)
        : m_store(store)
        , m_number(store.allocate()) {
        quint8* p = page();
        p[0] = type;
        p[1] = 0x01;
        put32(p + 4, tableDefinitionPage);
        put16(p + 2, quint16(IndexEntrySpace));
    }
    quint32 number() const { return m_number; }
    int used() const { return m_used; }
    bool fits(int length) const { return m_used + length <= IndexEntrySpace; }
    void addEntry(const quint8* a, int lengthA, const quint8* b, int lengthB) {
        quint8* p = page();
        std::memcpy(p + IndexEntryStart + m_used, a, std::size_t(lengthA));
        std::memcpy(p + IndexEntryStart + m_used + lengthA, b, std::size_t(lengthB));
        m_used += lengthA + lengthB;
        p[IndexMaskStart + m_used / 8] |= quint8(1 << (m_used % 8));
        put16(p + 2, quint16(IndexEntrySpace - m_used));
    }
    void setPrevious(quint32 n) { put32(page() + 12, n); }
    void setNext(quint32 n) { put32(page() + 16, n); }
    void setTail(quint32 n) { put32(page() + 20, n); }

private:
    quint8* page() { return m_store.page(m_number); }
    PageStore& m_store;
    quint32 m_number;
    int m_used = 0;
};

} // namespace

void IndexBuilder::add(const quint8* key, int length, quint32 pointer, bool hasNull) {
    m_entries.push_back(Entry{quint32(m_keys.size()), quint16(length), hasNull, pointer});
    m_keys.insert(m_keys.end(), key, key + length);
}

bool IndexBuilder::less(const Entry& a, const Entry& b) const {
    // Keys never are proper prefixes of one another (each column value ends in a way no
    // longer value continues), so comparing key then row pointer is comparing whole entries.
    const int n = std::min(a.length, b.length);
    const int c = std::memcmp(m_keys.data() + a.offset, m_keys.data() + b.offset, std::size_t(n));
    if (c != 0)
        return c < 0;
    if (a.length != b.length)
        return a.length < b.length;
    return a.pointer < b.pointer;
}

bool IndexBuilder::sort(bool unique) {
    std::sort(m_entries.begin(), m_entries.end(),
              [this](const Entry& a, const Entry& b) { return less(a, b); });
    if (!unique)
        return true;
    for (std::size_t i = 1; i < m_entries.size(); ++i) {
        const Entry& a = m_entries[i - 1];
        const Entry& b = m_entries[i];
        if (a.hasNull || b.hasNull || a.length != b.length)
            continue;
        if (std::memcmp(m_keys.data() + a.offset, m_keys.data() + b.offset, a.length) == 0)
            return false;
    }
    return true;
}

std::vector<IndexBuilder::Node> IndexBuilder::writeLeaves(PageStore& store, quint32 tableDefinitionPage) {
    std::vector<Node> leaves;
    std::optional<IndexPage> page;
    quint8 pointer[4];
    const Entry* last = nullptr;
    auto close = [&]() {
        Node node;
        node.page = page->number();
        node.lastEntry.assign(m_keys.data() + last->offset, m_keys.data() + last->offset + last->length);
        putPointerBigEndian(pointer, last->pointer);
        node.lastEntry.insert(node.lastEntry.end(), pointer, pointer + 4);
        leaves.push_back(std::move(node));
    };
    for (const Entry& e : m_entries) {
        if (!page || !page->fits(e.length + 4)) {
            if (page)
                close();
            page.emplace(store, PageIndexLeaf, tableDefinitionPage);
            m_pages.push_back(page->number());
        }
        putPointerBigEndian(pointer, e.pointer);
        page->addEntry(m_keys.data() + e.offset, e.length, pointer, 4);
        last = &e;
    }
    if (!page) { // an empty index still has its (empty) root leaf
        page.emplace(store, PageIndexLeaf, tableDefinitionPage);
        m_pages.push_back(page->number());
        leaves.push_back(Node{{}, page->number()});
    } else {
        close();
    }
    return leaves;
}

std::vector<IndexBuilder::Node> IndexBuilder::writeNodes(PageStore& store, quint32 tableDefinitionPage,
                                                         const std::vector<Node>& children) {
    // Like Access, a node page with several children keeps its last child as the "tail"
    // (a pointer in the header, not an entry); with one child, that child is an entry.
    std::vector<Node> parents;
    quint8 child[4];
    std::size_t i = 0;
    while (i < children.size()) {
        IndexPage page(store, PageIndexNode, tableDefinitionPage);
        m_pages.push_back(page.number());
        std::size_t j = i; // children [i, j) are entries
        while (j + 1 < children.size() && page.fits(int(children[j].lastEntry.size()) + 4)) {
            putPointerBigEndian(child, children[j].page);
            page.addEntry(children[j].lastEntry.data(), int(children[j].lastEntry.size()), child, 4);
            ++j;
        }
        if (j == i) { // a lone child: it is an entry
            putPointerBigEndian(child, children[j].page);
            page.addEntry(children[j].lastEntry.data(), int(children[j].lastEntry.size()), child, 4);
        } else {
            page.setTail(children[j].page);
        }
        parents.push_back(Node{children[j].lastEntry, page.number()});
        i = j + 1;
    }
    return parents;
}

void IndexBuilder::write(PageStore& store, quint32 tableDefinitionPage) {
    std::vector<Node> level = writeLeaves(store, tableDefinitionPage);
    for (;;) {
        for (std::size_t k = 0; k < level.size(); ++k) {
            quint8* p = store.page(level[k].page);
            if (k > 0)
                put32(p + 12, level[k - 1].page);
            if (k + 1 < level.size())
                put32(p + 16, level[k + 1].page);
        }
        if (level.size() == 1)
            break;
        level = writeNodes(store, tableDefinitionPage, level);
    }
    m_root = level.front().page;
}

} // namespace fiscora::jet
