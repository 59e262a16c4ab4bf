#pragma once

#include <QObject>

#include <functional>

namespace fiscora {

// A modal loop run from inside an event handler: a message box, a dialog, a blocking wait for
// the server. Code that opened one is still on the stack below it, so while any runs on the
// window thread, a top-level window whose deletion comes due (closed with WA_DeleteOnClose, or
// deleteLater) is kept until the last loop has ended; its deletion then goes ahead. One object
// per loop, alive for the loop's length.
class NestedLoop final {
public:
    NestedLoop();
    ~NestedLoop();
    NestedLoop(const NestedLoop&) = delete;
    NestedLoop& operator=(const NestedLoop&) = delete;

    // True while a loop runs on the window thread.
    static bool running();
    // Runs `action` when no loop runs: now, or once the last one has ended (not at all when
    // `context` is gone by then).
    static void whenIdle(QObject* context, std::function<void()> action);

private:
    bool m_counted = false;
};

} // namespace fiscora
