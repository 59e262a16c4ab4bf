#include "jet/UsageMap.h"

#include "jet/JetFormat.h"
#include "jet/PageStore.h"

#include <cstring>

namespace fiscora::jet {

using namespace format;

namespace {

constexpr int InlinePages = InlineMapBytes * 8;
// Page 1 holds the global map row and a second, empty map row of the inline size.
constexpr int GlobalSecondRow = InlineMapRowSize;
constexpr int GlobalMaxRow = DataPageFreeStart - 2 * 2 - GlobalSecondRow;

} // namespace

void UsageMap::build(PageStore& store, const std::vector<quint32>& pages, quint8* row) {
    std::memset(row, 0, InlineMapRowSize);
    if (pages.empty())
        return; // inline, starting at page 0, empty
    const quint32 first = pages.front();
    const quint32 last = pages.back();
    const quint32 start = last < quint32(InlinePages) ? 0 : first / 8 * 8;
    if (last - start < quint32(InlinePages)) {
        row[0] = 0x00;
        put32(row + 1, start);
        for (const quint32 p : pages) {
            const quint32 bit = p - start;
            row[5 + bit / 8] |= quint8(1 << (bit % 8));
        }
        return;
    }
    row[0] = 0x01;
    quint32 bitmapPages[ReferenceMapPointers] = {};
    for (const quint32 p : pages) {
        const quint32 slot = p / BitmapPageBits;
        Q_ASSERT(slot < quint32(ReferenceMapPointers));
        if (!bitmapPages[slot]) {
            bitmapPages[slot] = store.allocate();
            quint8* b = store.page(bitmapPages[slot]);
            b[0] = PageUsageBitmap;
            b[1] = 0x01;
            put32(row + 1 + 4 * slot, bitmapPages[slot]);
        }
        const quint32 bit = p % BitmapPageBits;
        store.page(bitmapPages[slot])[4 + bit / 8] |= quint8(1 << (bit % 8));
    }
}

quint32 UsageMap::maxGlobalPages() {
    return quint32((GlobalMaxRow - 5) / 8 * 8) * 8;
}

bool UsageMap::buildGlobal(PageStore& store) {
    const quint32 count = store.count();
    if (count > maxGlobalPages())
        return false;
    // Access grows the bitmap with the file: at least 64 bytes, in steps of 8 bytes.
    const int bitmapBytes = qMax(InlineMapBytes, int((count + 63) / 64 * 8));
    const int rowLength = 5 + bitmapBytes;

    quint8* p = store.page(1);
    std::memset(p, 0, PageSize);
    p[0] = PageData;
    p[1] = 0x01;
    put32(p + 4, 1);
    put16(p + 12, 2);
    const int first = PageSize - rowLength;
    const int second = first - GlobalSecondRow;
    put16(p + DataPageHeaderSize, quint16(first));
    put16(p + DataPageHeaderSize + 2, quint16(second));
    put16(p + 2, quint16(DataPageFreeStart - (rowLength + 2) - (GlobalSecondRow + 2)));
    quint8* row = p + first;
    row[0] = 0x00; // inline, start page 0
    for (int bit = 0; bit < bitmapBytes * 8; ++bit) {
        if (quint32(bit) >= count)
            row[5 + bit / 8] |= quint8(1 << (bit % 8));
    }
    return true;
}

} // namespace fiscora::jet
