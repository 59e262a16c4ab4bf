#pragma once

#include <QtGlobal>

#include <vector>

namespace fiscora::jet {

class PageStore;

// Packs rows into data pages of one owner (a table's definition page, or the long-value
// marker), each row stored downward from the end of its page.
class DataPageWriter final {
public:
    static constexpr quint32 LongValueOwner = 0x4C41564C; // "LVAL"

    DataPageWriter(PageStore& store, quint32 owner);

    // Stores a row (at most format::MaxRowSize bytes, format::MaxLongValueRow for long values)
    // and gives its row pointer.
    quint32 add(const quint8* row, int length);
    // Where a stored row begins (for patching chained long values).
    quint8* rowData(quint32 pointer);

    const std::vector<quint32>& pages() const { return m_pages; }
    int lastPageFreeSpace() const { return m_pages.empty() ? 0 : m_free; }
    bool lastPageCanTake(int length) const;
    quint32 rows() const { return m_rowCount; }

private:
    void newPage();

    PageStore& m_store;
    quint32 m_owner;
    std::vector<quint32> m_pages;
    quint32 m_page = 0;
    int m_rowsOnPage = 0;
    int m_free = 0;
    int m_top = 0; // first byte of the last row stored
    quint32 m_rowCount = 0;
};

} // namespace fiscora::jet
