#include "core/NestedLoop.h"

#include "core/ApplicationFilter.h"

#include <QCoreApplication>
#include <QEvent>
#include <QList>
#include <QPointer>
#include <QThread>

#include <utility>

namespace fiscora {

namespace {

struct Waiting {
    QPointer<QObject> context;
    std::function<void()> action;
};

int g_depth = 0;
QList<Waiting> g_waiting;

bool onWindowThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

// Holds back the deletion of top-level widgets while a loop runs. Installed with the first loop.
class DeletionGuard final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::DeferredDelete || g_depth == 0 || !watched->isWidgetType() ||
            watched->parent())
            return false;
        const QPointer<QObject> held(watched);
        g_waiting.append(Waiting{held, [held] {
                                     if (held)
                                         held->deleteLater();
                                 }});
        return true;
    }
};

void installGuard() {
    installApplicationFilter<DeletionGuard>();
}

} // namespace

NestedLoop::NestedLoop()
    : m_counted(onWindowThread()) {
    if (!m_counted)
        return;
    installGuard();
    ++g_depth;
}

NestedLoop::~NestedLoop() {
    if (!m_counted || --g_depth > 0)
        return;
    // An action may open a loop of its own; what comes due inside it runs when that one ends.
    const QList<Waiting> due = std::exchange(g_waiting, {});
    for (const Waiting& waiting : due) {
        if (waiting.context)
            waiting.action();
    }
}

bool NestedLoop::running() {
    return g_depth > 0;
}

void NestedLoop::whenIdle(QObject* context, std::function<void()> action) {
    if (g_depth == 0 || !onWindowThread()) {
        action();
        return;
    }
    g_waiting.append(Waiting{QPointer<QObject>(context), std::move(action)});
}

} // namespace fiscora
