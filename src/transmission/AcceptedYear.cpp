#include "transmission/AcceptedYear.h"

namespace fiscora {

bool acceptsYear(const QString& anoTrabalho, const QString& reference) {
    const QString year = reference.right(4);
    return !year.isEmpty() && anoTrabalho.contains(year);
}

} // namespace fiscora
