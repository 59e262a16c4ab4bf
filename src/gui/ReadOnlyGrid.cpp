#include "gui/ReadOnlyGrid.h"

#include <QHeaderView>
#include <QTableWidget>

namespace fiscora {

void setUpReadOnlyGrid(QTableWidget* grid, const QStringList& headers) {
    grid->setColumnCount(static_cast<int>(headers.size()));
    grid->setHorizontalHeaderLabels(headers);
    grid->verticalHeader()->hide();
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setWordWrap(false);
    grid->horizontalHeader()->setHighlightSections(false);
}

} // namespace fiscora
