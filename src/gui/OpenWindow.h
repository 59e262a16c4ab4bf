#pragma once

#include <QApplication>
#include <QWidget>

namespace fiscora {

// The window of that kind the user has open, or null. Windows the program shows once are found
// among the application's windows rather than remembered apart: a closed one (hidden, about to
// be deleted) no longer counts.
template <class Window> Window* openWindow() {
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* widget : windows) {
        if (auto* window = qobject_cast<Window*>(widget); window && window->isVisible())
            return window;
    }
    return nullptr;
}

} // namespace fiscora
