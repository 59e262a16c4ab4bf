#include "core/ModalGate.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <utility>

namespace fiscora {

namespace {

bool onWindowThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

} // namespace

ModalGate::Box::Box(ModalGate& gate)
    : m_gate(onWindowThread() ? &gate : nullptr) {
    if (m_gate)
        ++m_gate->m_boxes;
}

ModalGate::Box::~Box() {
    if (m_gate)
        m_gate->closed();
}

void ModalGate::closed() {
    if (--m_boxes > 0)
        return;
    // An action may open a box of its own; what arrives meanwhile waits for that one.
    QList<Waiting> due = std::exchange(m_waiting, {});
    while (!due.isEmpty()) {
        const Waiting waiting = due.takeFirst();
        if (!waiting.context)
            continue;
        waiting.action();
        if (m_boxes > 0) {
            m_waiting = due + m_waiting;
            return;
        }
    }
}

void ModalGate::deliver(QObject* context, std::function<void()> action) {
    if (m_boxes == 0 || !onWindowThread()) {
        action();
        return;
    }
    m_waiting.append(Waiting{QPointer<QObject>(context), std::move(action)});
}

void ModalGate::deliverLater(QObject* context, std::function<void()> action) {
    QTimer::singleShot(0, context, [this, context, action = std::move(action)]() mutable {
        deliver(context, std::move(action));
    });
}

} // namespace fiscora
