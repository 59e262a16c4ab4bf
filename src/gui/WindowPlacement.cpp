#include "gui/WindowPlacement.h"

#include "core/ApplicationFilter.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QList>
#include <QPointer>
#include <QScreen>
#include <QWidget>

namespace fiscora {

namespace {

const char* const kPlaced = "fiscoraPlaced";

// Top-level windows, the one active last first.
QList<QPointer<QWidget>>& activated() {
    static QList<QPointer<QWidget>> windows;
    return windows;
}

bool placeable(const QWidget* widget) {
    if (!widget->isWindow())
        return false;
    const Qt::WindowType type = widget->windowType();
    return type == Qt::Window || type == Qt::Dialog;
}

// Centres `window` on `owner`, inside the owner's screen.
void centreOn(QWidget* window, const QWidget* owner) {
    const QRect over = owner->window()->frameGeometry();
    QRect frame(QPoint(0, 0), window->frameGeometry().size());
    frame.moveCenter(over.center());
    if (const QScreen* screen = owner->screen()) {
        const QRect room = screen->availableGeometry();
        frame.moveRight(qMin(frame.right(), room.right()));
        frame.moveBottom(qMin(frame.bottom(), room.bottom()));
        frame.moveLeft(qMax(frame.left(), room.left()));
        frame.moveTop(qMax(frame.top(), room.top()));
    }
    window->move(frame.topLeft());
}

class Placement final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if ((type != QEvent::WindowActivate && type != QEvent::Show) || !watched->isWidgetType())
            return false;
        auto* widget = static_cast<QWidget*>(watched);
        if (type == QEvent::WindowActivate && placeable(widget)) {
            activated().removeAll(widget);
            activated().removeAll(nullptr);
            activated().prepend(widget);
        } else if (type == QEvent::Show && placeable(widget) && !widget->property(kPlaced).toBool()) {
            // The show event comes before the window is mapped: a move now is where it appears.
            widget->setProperty(kPlaced, true);
            const bool placedByQt = qobject_cast<QDialog*>(widget) && widget->parentWidget();
            if (!placedByQt && !widget->testAttribute(Qt::WA_Moved)) {
                if (const QWidget* owner = ownerWindow(widget))
                    centreOn(widget, owner);
            }
        }
        return false;
    }
};

} // namespace

void installWindowPlacement() {
    installApplicationFilter<Placement>();
}

QWidget* ownerWindow(const QWidget* except) {
    const auto usable = [except](QWidget* w) {
        return w && w != except && w->isVisible();
    };
    if (QWidget* modal = QApplication::activeModalWidget(); usable(modal))
        return modal;
    if (QWidget* active = QApplication::activeWindow(); usable(active))
        return active;
    for (const QPointer<QWidget>& window : activated()) {
        if (usable(window))
            return window;
    }
    return nullptr;
}

} // namespace fiscora
