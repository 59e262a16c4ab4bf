#include "gui/BusyWindow.h"

#include <QApplication>
#include <QVariant>

namespace fiscora {

namespace {

// Holds of one window overlap (a conversion's hold, then its listing's): the first records
// whether the window was enabled, the last puts that back.
constexpr char kHolds[] = "fiscora.busyHolds";
constexpr char kWasEnabled[] = "fiscora.busyWasEnabled";

} // namespace

BusyWindow::BusyWindow(QWidget* window)
    : m_window(window) {
    if (m_window) {
        const int holds = m_window->property(kHolds).toInt();
        if (holds == 0)
            m_window->setProperty(kWasEnabled, m_window->isEnabled());
        m_window->setProperty(kHolds, holds + 1);
        m_window->setEnabled(false);
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyWindow::~BusyWindow() {
    QApplication::restoreOverrideCursor();
    if (!m_window)
        return;
    const int holds = m_window->property(kHolds).toInt() - 1;
    m_window->setProperty(kHolds, holds);
    if (holds <= 0)
        m_window->setEnabled(m_window->property(kWasEnabled).toBool());
}

} // namespace fiscora
