#pragma once

#include <QCoreApplication>
#include <QPointer>

namespace fiscora {

// An event filter of the whole application, made and installed by the first call (installed again
// on a new application object, as the tests make them).
template <typename Filter> void installApplicationFilter() {
    static Filter filter;
    static QPointer<QCoreApplication> installedOn;
    if (installedOn != QCoreApplication::instance()) {
        installedOn = QCoreApplication::instance();
        installedOn->installEventFilter(&filter);
    }
}

} // namespace fiscora
