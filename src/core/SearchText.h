#pragma once

#include <QStringList>

namespace fiscora {

// Search as you type in the lists: every word of `query` is found in one of `fields`, without
// regard to case or accents; a word without letters is also found by its digits alone, so
// "110042" finds "110.042.490.114" and "11222333" a formatted CNPJ. An empty query finds all.
bool matchesSearch(const QString& query, const QStringList& fields);

} // namespace fiscora
