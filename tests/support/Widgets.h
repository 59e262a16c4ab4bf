#pragma once

#include <QApplication>
#include <QString>
#include <QStringList>
#include <QWidget>

class QTableView;
class QTableWidget;

namespace fiscora::test {

// A named control of a window. The test cannot go on without it, so a missing one stops the
// test program with its name rather than a crash further on.
template <typename T = QWidget> T* child(QObject* parent, const QString& name) {
    T* found = parent->findChild<T*>(name);
    if (!found)
        qFatal("no control %s", qPrintable(name));
    return found;
}
template <typename T = QWidget> T* child(QObject* parent, const char* name) {
    return child<T>(parent, QString::fromLatin1(name));
}

// The texts of one column of a grid, empty where a cell has no item.
QStringList column(QTableWidget* grid, int column);

// The visible top-level window with this object name, or null.
QWidget* window(const QString& objectName);

// The first top-level window of type W (only a visible one when mustBeVisible), or null.
template <typename W> W* topLevelWindow(bool mustBeVisible = false) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<W*>(w); found && (!mustBeVisible || found->isVisible()))
            return found;
    }
    return nullptr;
}

// The grid of the certificate chooser.
QTableView* certificateGrid(QWidget* dialog);

} // namespace fiscora::test
