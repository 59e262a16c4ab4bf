#include "jet/PageStore.h"

#include "jet/JetFormat.h"

#include <QIODevice>

namespace fiscora::jet {

PageStore::PageStore() {
    m_pages.reserve(256);
}

quint32 PageStore::allocate() {
    m_pages.push_back(std::make_unique<quint8[]>(format::PageSize)); // value-initialised: zeros
    return quint32(m_pages.size() - 1);
}

bool PageStore::writeTo(QIODevice* device) const {
    // Pages go out in batches so that large files need few write calls.
    constexpr int batchPages = 64;
    std::vector<char> batch(std::size_t(batchPages) * format::PageSize);
    std::size_t filled = 0;
    for (const auto& page : m_pages) {
        std::memcpy(batch.data() + filled, page.get(), format::PageSize);
        filled += format::PageSize;
        if (filled == batch.size()) {
            if (device->write(batch.data(), qint64(filled)) != qint64(filled))
                return false;
            filled = 0;
        }
    }
    return filled == 0 || device->write(batch.data(), qint64(filled)) == qint64(filled);
}

} // namespace fiscora::jet
