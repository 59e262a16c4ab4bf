#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

namespace fiscora {

// Outcomes of work that runs in the background (server calls, transmissions, helper processes)
// reach their windows when no modal box of the seams (message, file, certificate) is up: a
// window never changes under a question the user is answering, and code that opened a box finds
// its window as it left it. Built once with the seams; the boxes count themselves in it and the
// jobs deliver through it.
class ModalGate final {
public:
    ModalGate() = default;
    Q_DISABLE_COPY_MOVE(ModalGate)

    // One box up on the window thread while it lives.
    class Box final {
    public:
        explicit Box(ModalGate& gate);
        ~Box();
        Q_DISABLE_COPY_MOVE(Box)

    private:
        ModalGate* m_gate; // null when not on the window thread: such a box holds nothing back
    };

    // Runs `action` now when no box is up, else once the last one has closed; not at all when
    // `context` is gone by then.
    void deliver(QObject* context, std::function<void()> action);
    // The same from the event loop, never inside the caller: how a job tells an outcome it knows
    // at once (a missing file, an address that cannot be used).
    void deliverLater(QObject* context, std::function<void()> action);

private:
    struct Waiting {
        QPointer<QObject> context;
        std::function<void()> action;
    };

    void closed();

    int m_boxes = 0;
    QList<Waiting> m_waiting;
};

} // namespace fiscora
