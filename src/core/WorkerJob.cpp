#include "core/WorkerJob.h"

#include "core/ModalGate.h"

#include <QMutex>
#include <QMutexLocker>
#include <QThreadPool>

namespace fiscora::detail {

namespace {

class Receiver;

// What the worker and the job's receiver share: the receiver, while it is there. The worker
// posts to it only under the lock, so never to a receiver being destroyed.
struct Shared {
    QMutex mutex;
    Receiver* receiver = nullptr;
    std::atomic<bool> cancelled = false;
};

// A child of the context, on its thread, holding the delivery: gone with the context, and then
// nothing is delivered.
class Receiver final : public QObject {
public:
    Receiver(ModalGate& gate, QObject* context, std::shared_ptr<Shared> shared, std::function<void()> deliver)
        : QObject(context)
        , m_gate(gate)
        , m_shared(std::move(shared))
        , m_deliver(std::move(deliver)) {
        m_shared->receiver = this;
    }
    ~Receiver() override {
        m_shared->cancelled = true;
        const QMutexLocker lock(&m_shared->mutex);
        m_shared->receiver = nullptr;
    }
    Q_DISABLE_COPY_MOVE(Receiver)

    void deliver() {
        deleteLater();
        m_gate.deliver(parent(), std::move(m_deliver));
    }

private:
    ModalGate& m_gate;
    std::shared_ptr<Shared> m_shared;
    std::function<void()> m_deliver;
};

} // namespace

void startWorkerJob(ModalGate& gate, QObject* context,
                    std::function<void(const std::atomic<bool>& cancelled)> work,
                    std::function<void()> deliver) {
    auto shared = std::make_shared<Shared>();
    new Receiver(gate, context, shared, std::move(deliver));
    QThreadPool::globalInstance()->start([shared, work = std::move(work)] {
        work(shared->cancelled);
        const QMutexLocker lock(&shared->mutex);
        if (Receiver* receiver = shared->receiver)
            QMetaObject::invokeMethod(
                receiver, [receiver] { receiver->deliver(); }, Qt::QueuedConnection);
    });
}

} // namespace fiscora::detail
