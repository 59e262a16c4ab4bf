#pragma once

#include <QStringList>

class QTableWidget;

namespace fiscora {

// The program's grids: headers, whole-row single selection, no editing, no row numbers.
void setUpReadOnlyGrid(QTableWidget* grid, const QStringList& headers);

} // namespace fiscora
