#include "support/TopLevelWindows.h"

#include <QApplication>
#include <QList>
#include <QPointer>
#include <QWidget>

namespace fiscora::test {

void deleteTopLevelWindows() {
    QList<QPointer<QWidget>> windows;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->parent())
            windows.append(w);
    }
    for (const QPointer<QWidget>& w : windows)
        delete w.data();
}

} // namespace fiscora::test
