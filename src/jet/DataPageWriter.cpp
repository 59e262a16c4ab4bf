#include "jet/DataPageWriter.h"

#include "jet/JetFormat.h"
#include "jet/PageStore.h"

#include <cstring>

namespace fiscora::jet {

using namespace format;

DataPageWriter::DataPageWriter(PageStore& store, quint32 owner)
    : m_store(store)
    , m_owner(owner) {}

void DataPageWriter::newPage() {
    m_page = m_store.allocate();
    m_pages.push_back(m_page);
    quint8* p = m_store.page(m_page);
    p[0] = PageData;
    p[1] = 0x01;
    m_free = DataPageFreeStart;
    put16(p + 2, quint16(m_free));
    put32(p + 4, m_owner);
    m_rowsOnPage = 0;
    m_top = PageSize;
}

quint32 DataPageWriter::add(const quint8* row, int length) {
    // Long-value rows fill a page of their own kind and may be longer than a table row.
    Q_ASSERT(length > 0 && length <= (m_owner == LongValueOwner ? MaxLongValueRow : MaxRowSize));
    if (m_pages.empty() || m_rowsOnPage >= MaxRowsPerPage || length + 2 > m_free)
        newPage();
    quint8* p = m_store.page(m_page);
    m_top -= length;
    std::memcpy(p + m_top, row, std::size_t(length));
    put16(p + DataPageHeaderSize + 2 * m_rowsOnPage, quint16(m_top));
    ++m_rowsOnPage;
    m_free -= length + 2;
    put16(p + 2, quint16(m_free));
    put16(p + 12, quint16(m_rowsOnPage));
    ++m_rowCount;
    return rowPointer(m_page, quint8(m_rowsOnPage - 1));
}

bool DataPageWriter::lastPageCanTake(int length) const {
    return !m_pages.empty() && m_rowsOnPage < MaxRowsPerPage && length + 2 <= m_free;
}

quint8* DataPageWriter::rowData(quint32 pointer) {
    quint8* p = m_store.page(pointer >> 8);
    return p + get16(p + DataPageHeaderSize + 2 * (pointer & 0xFF));
}

} // namespace fiscora::jet
