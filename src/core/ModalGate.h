#pragma once

#include <QObject>

#include <functional>

namespace fiscora {

// Outcomes of work that runs in the background (server calls, transmissions, helper processes)
// reach their windows when no modal box of the seams (message, file, certificate) is up: a
// window never changes under a question the user is answering, and code that opened a box finds
// its window as it left it. One gate object per box, alive while the box is up.
class ModalGate final {
public:
    ModalGate();
    ~ModalGate();
    ModalGate(const ModalGate&) = delete;
    ModalGate& operator=(const ModalGate&) = delete;

    // True while a box is up on the window thread.
    static bool boxUp();
    // Runs `action` now when no box is up, else once the last one has closed; not at all when
    // `context` is gone by then.
    static void deliver(QObject* context, std::function<void()> action);
    // The same from the event loop, never inside the caller: how a job tells an outcome it knows
    // at once (a missing file, an address that cannot be used).
    static void deliverLater(QObject* context, std::function<void()> action);

private:
    bool m_counted = false;
};

} // namespace fiscora
