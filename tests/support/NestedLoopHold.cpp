#include "support/NestedLoopHold.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <utility>

namespace fiscora::test {

void NestedLoopHold::runLoop() {
    ++m_open;
    QEventLoop loop;
    const std::function<bool()> condition = std::exchange(m_condition, {});
    const QDeadlineTimer deadline(20000);
    QTimer poll;
    poll.setInterval(condition ? 5 : 0);
    // Once the condition holds, what it set going (queued signals, deletions) runs in the loop too.
    QDeadlineTimer after = QDeadlineTimer::Forever;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!condition || deadline.hasExpired() || after.hasExpired())
            loop.quit();
        else if (after.isForever() && condition())
            after = QDeadlineTimer(100);
    });
    poll.start();
    loop.exec();
    --m_open;
}

} // namespace fiscora::test
