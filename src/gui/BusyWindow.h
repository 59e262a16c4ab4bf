#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>

namespace fiscora {

// While a window waits for its job: its controls inert and a busy cursor, as the user of a
// program that waited for the server saw. Restored when the last holder lets go (the job's
// continuation captures it), also when the window is gone by then; holds of one window may
// overlap.
class BusyWindow final {
public:
    explicit BusyWindow(QWidget* window);
    ~BusyWindow();
    BusyWindow(const BusyWindow&) = delete;
    BusyWindow& operator=(const BusyWindow&) = delete;

    // Shared by the continuations of one wait.
    static std::shared_ptr<BusyWindow> hold(QWidget* window) { return std::make_shared<BusyWindow>(window); }

private:
    QPointer<QWidget> m_window;
};

} // namespace fiscora
