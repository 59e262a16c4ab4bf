#include "support/TopLevelWindows.h"

#include <QApplication>
#include <QList>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace fiscora::test {

void deleteTopLevelWindows(QWidget* keep) {
    QList<QPointer<QWidget>> windows;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->parent() && w != keep)
            windows.append(w);
    }
    for (const QPointer<QWidget>& w : windows)
        delete w.data();
}

void whenModal(std::function<void(QWidget*)> action) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        action(modal);
    });
    timer->start();
}

} // namespace fiscora::test
