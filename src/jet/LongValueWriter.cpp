#include "jet/LongValueWriter.h"

#include "jet/JetFormat.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace fiscora::jet {

using namespace format;

LongValueWriter::LongValueWriter(PageStore& store)
    : m_pages(store, DataPageWriter::LongValueOwner) {}

int LongValueWriter::store(const quint8* data, int length, quint8* out) {
    std::memset(out, 0, LongValueHeaderSize);
    if (length <= MaxInlineLongValue) {
        put32(out, quint32(length) | (quint32(LongValueInline) << 24));
        if (length > 0) // an empty memo may come without a buffer
            std::memcpy(out + LongValueHeaderSize, data, std::size_t(length));
        return LongValueHeaderSize + length;
    }
    if (length <= MaxLongValueRow) {
        put32(out, quint32(length) | (quint32(LongValueSingle) << 24));
        put32(out + 4, m_pages.add(data, length));
        return LongValueHeaderSize;
    }

    // A chain: each row starts with the pointer to the next one (zero in the last).
    std::vector<quint8> chunk(static_cast<std::size_t>(MaxLongValueRow));
    quint32 first = 0;
    quint32 previous = 0;
    for (int done = 0; done < length;) {
        const int n = std::min(LongValueChunk, length - done);
        std::memset(chunk.data(), 0, 4);
        std::memcpy(chunk.data() + 4, data + done, std::size_t(n));
        const quint32 pointer = m_pages.add(chunk.data(), n + 4);
        if (previous)
            put32(m_pages.rowData(previous), pointer);
        else
            first = pointer;
        previous = pointer;
        done += n;
    }
    put32(out, quint32(length) | (quint32(LongValueChained) << 24));
    put32(out + 4, first);
    return LongValueHeaderSize;
}

} // namespace fiscora::jet
