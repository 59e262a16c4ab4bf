#pragma once

#include <QtGlobal>

#include <memory>
#include <vector>

class QIODevice;

namespace fiscora::jet {

// The pages of the file being built, all held in memory until the file is written. Page
// addresses stay valid while further pages are added.
class PageStore final {
public:
    PageStore();

    quint32 allocate(); // a new zeroed page; its number
    quint8* page(quint32 number) { return m_pages[number].get(); }
    const quint8* page(quint32 number) const { return m_pages[number].get(); }
    quint32 count() const { return quint32(m_pages.size()); }
    bool writeTo(QIODevice* device) const;

private:
    std::vector<std::unique_ptr<quint8[]>> m_pages;
};

} // namespace fiscora::jet
