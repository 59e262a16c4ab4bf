#include "support/Widgets.h"

#include <QTableView>
#include <QTableWidget>

namespace fiscora::test {

QStringList column(QTableWidget* grid, int column) {
    QStringList texts;
    for (int row = 0; row < grid->rowCount(); ++row)
        texts.append(grid->item(row, column) ? grid->item(row, column)->text() : QString());
    return texts;
}

QWidget* window(const QString& objectName) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == objectName && w->isVisible())
            return w;
    }
    return nullptr;
}

QTableView* certificateGrid(QWidget* dialog) {
    return dialog->findChild<QTableView*>(QStringLiteral("gridCertificados"));
}

} // namespace fiscora::test
