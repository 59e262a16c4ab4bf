#include "gui/BusyWindow.h"

#include <QApplication>

namespace fiscora {

BusyWindow::BusyWindow(QWidget* window)
    : m_window(window)
    , m_wasEnabled(window && window->isEnabled()) {
    if (m_window)
        m_window->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyWindow::~BusyWindow() {
    QApplication::restoreOverrideCursor();
    if (m_window)
        m_window->setEnabled(m_wasEnabled);
}

} // namespace fiscora
