#include "core/ModalGate.h"

#include <QCoreApplication>
#include <QList>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <utility>

namespace fiscora {

namespace {

struct Waiting {
    QPointer<QObject> context;
    std::function<void()> action;
};

int g_boxes = 0;
QList<Waiting> g_waiting;

bool onWindowThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

} // namespace

ModalGate::ModalGate()
    : m_counted(onWindowThread()) {
    if (m_counted)
        ++g_boxes;
}

ModalGate::~ModalGate() {
    if (!m_counted || --g_boxes > 0)
        return;
    // An action may open a box of its own; what arrives meanwhile waits for that one.
    QList<Waiting> due = std::exchange(g_waiting, {});
    while (!due.isEmpty()) {
        const Waiting waiting = due.takeFirst();
        if (!waiting.context)
            continue;
        waiting.action();
        if (g_boxes > 0) {
            g_waiting = due + g_waiting;
            return;
        }
    }
}

bool ModalGate::boxUp() {
    return g_boxes > 0;
}

void ModalGate::deliver(QObject* context, std::function<void()> action) {
    if (g_boxes == 0 || !onWindowThread()) {
        action();
        return;
    }
    g_waiting.append(Waiting{QPointer<QObject>(context), std::move(action)});
}

void ModalGate::deliverLater(QObject* context, std::function<void()> action) {
    QTimer::singleShot(
        0, context, [context, action = std::move(action)]() mutable { deliver(context, std::move(action)); });
}

} // namespace fiscora
