#pragma once

#include "jet/DataPageWriter.h"

#include <QtGlobal>

namespace fiscora::jet {

class PageStore;

// The long values (memo, OLE) of one column: short ones stay in the row, the others go to
// long-value pages, in one row when they fit and as a chain of rows otherwise.
class LongValueWriter final {
public:
    explicit LongValueWriter(PageStore& store);

    // Writes the 12-byte reference that the row holds, followed in the row by the value itself
    // when it is stored inline; returns how many bytes were written to out (12 + inline length).
    int store(const quint8* data, int length, quint8* out);

    const std::vector<quint32>& pages() const { return m_pages.pages(); }
    bool lastPageCanTake(int length) const { return m_pages.lastPageCanTake(length); }

private:
    DataPageWriter m_pages;
};

} // namespace fiscora::jet
