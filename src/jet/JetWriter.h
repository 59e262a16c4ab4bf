#pragma once

#include "jet/JetDatabase.h"

#include <QString>

class QDateTime;

namespace fiscora::jet {

class PageStore;

// Builds a whole Jet 4 database in memory: header, global usage map, the system catalog,
// the user tables with their rows, indexes and usage maps.
class JetWriter final {
public:
    // Fills store (empty) with the database's pages, or says why the database cannot be written.
    static Status build(const Database& database, PageStore& store);
    // Jet's date for a moment of local time.
    static double jetDate(const QDateTime& moment);
};

} // namespace fiscora::jet
