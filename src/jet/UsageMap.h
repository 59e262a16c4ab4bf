#pragma once

#include <QtGlobal>

#include <vector>

namespace fiscora::jet {

class PageStore;

// Usage maps: bitmaps of page numbers. A table keeps two (the pages it owns, and those with free
// space), each index and each memo column one or two. An inline map covers 512 pages from its
// start page; a reference map points to bitmap pages that cover the whole file.
class UsageMap final {
public:
    // Fills a 69-byte map row for pages (ascending); allocates bitmap pages when the pages
    // span more than an inline map covers.
    static void build(PageStore& store, const std::vector<quint32>& pages, quint8* row);
    // Writes page 1, the global map: a set bit marks a free page, and every page of the file is
    // in use. False when the file has more pages than the map can describe.
    static bool buildGlobal(PageStore& store);
    // The most pages the global map can describe.
    static quint32 maxGlobalPages();
};

} // namespace fiscora::jet
