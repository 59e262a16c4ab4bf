#pragma once

#include <QString>

namespace fiscora {

// Whether the server takes a declaration of that reference ("mm/yyyy"): its year is one of the
// years its list says it accepts (anoTrabalho, as the server writes them). The GIA window and the
// batch both go by it.
bool acceptsYear(const QString& anoTrabalho, const QString& reference);

} // namespace fiscora
