#include "gui/DialogKeys.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QTextEdit>

namespace fiscora {

namespace {

bool keepsReturn(QWidget* focus, bool gridConfirms) {
    for (QWidget* w = focus; w; w = w->parentWidget()) {
        if (!gridConfirms && qobject_cast<QAbstractItemView*>(w))
            return true;
        if (auto* text = qobject_cast<QPlainTextEdit*>(w); text && !text->isReadOnly())
            return true;
        if (auto* text = qobject_cast<QTextEdit*>(w); text && !text->isReadOnly())
            return true;
        if (w->isWindow())
            break;
    }
    return false;
}

bool usable(QPushButton* button) {
    return button && button->isEnabled() && button->isVisible();
}

void onReturn(QWidget* window, QPushButton* confirm, int key, bool gridConfirms) {
    QWidget* focus = QApplication::focusWidget();
    if (focus && focus->window() == window) {
        if (auto* pressed = qobject_cast<QPushButton*>(focus); pressed && pressed != confirm) {
            if (usable(pressed))
                pressed->click();
            return;
        }
        if (keepsReturn(focus, gridConfirms)) {
            // The shortcut took the key before the widget saw it: hand it back unchanged.
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QApplication::sendEvent(focus, &press);
            return;
        }
    }
    if (usable(confirm))
        confirm->click();
}

} // namespace

void setDialogKeys(QWidget* window, QPushButton* confirm, QPushButton* cancel, bool gridConfirms) {
    if (confirm) {
        confirm->setAutoDefault(true);
        confirm->setDefault(true);
    }
    const QPointer<QPushButton> ok(confirm);
    for (int key : {int(Qt::Key_Return), int(Qt::Key_Enter)}) {
        auto* shortcut = new QShortcut(QKeySequence(key), window);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        QObject::connect(shortcut, &QShortcut::activated, window,
                         [window, ok, key, gridConfirms] { onReturn(window, ok.data(), key, gridConfirms); });
    }
    const QPointer<QPushButton> no(cancel);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(escape, &QShortcut::activated, window, [window, no, hasCancel = cancel != nullptr] {
        if (!hasCancel)
            window->close();
        else if (usable(no.data()))
            no->click();
    });
}

} // namespace fiscora
