#include "gui/DialogKeys.h"

#include "core/ApplicationFilter.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QTextEdit>

namespace fiscora {

namespace {

bool isReturn(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

const char* const kKeepsReturn = "fiscoraKeepsReturn";

// A list or a folder tree does something of its own with Return (opens, chooses); so does a
// multi-line editor and a field marked by keepReturn. A grid leaves it to the window.
bool keepsReturn(QWidget* focus) {
    if (focus && focus->property(kKeepsReturn).toBool())
        return true;
    for (QWidget* w = focus; w; w = w->parentWidget()) {
        if (auto* view = qobject_cast<QAbstractItemView*>(w))
            return !qobject_cast<QTableView*>(view);
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

// Claims the key, before the windows' shortcuts see it, for the widget that keeps it: an open
// drop-down list keeps Return and Escape (Escape closes the list only), a list or a tree keeps
// Return. The key then reaches that widget once, as typed. (Handing a key back from a shortcut
// with sendEvent would fire the shortcut again, without end.)
class KeyKeeper final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ShortcutOverride && watched->isWidgetType()) {
            auto* key = static_cast<QKeyEvent*>(event);
            const bool dialogKey = isReturn(key->key()) || key->key() == Qt::Key_Escape;
            // The keypad's Enter comes with the keypad modifier: it is still a plain Enter.
            const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
            if (dialogKey && plain &&
                (QApplication::activePopupWidget() ||
                 (isReturn(key->key()) && keepsReturn(QApplication::focusWidget())))) {
                key->accept();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

void onReturn(QWidget* window, QPushButton* confirm) {
    QWidget* focus = QApplication::focusWidget();
    if (focus && focus->window() == window) {
        if (auto* pressed = qobject_cast<QPushButton*>(focus); pressed && pressed != confirm) {
            if (usable(pressed))
                pressed->click();
            return;
        }
    }
    if (usable(confirm))
        confirm->click();
}

} // namespace

void keepReturn(QWidget* field) {
    field->setProperty(kKeepsReturn, true);
}

void setDialogKeys(QWidget* window, QPushButton* confirm, QPushButton* cancel) {
    if (confirm) {
        confirm->setAutoDefault(true);
        confirm->setDefault(true);
    }
    installApplicationFilter<KeyKeeper>();
    const QPointer<QPushButton> ok(confirm);
    for (int key : {int(Qt::Key_Return), int(Qt::Key_Enter)}) {
        auto* shortcut = new QShortcut(QKeySequence(key), window);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        QObject::connect(shortcut, &QShortcut::activated, window,
                         [window, ok] { onReturn(window, ok.data()); });
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
