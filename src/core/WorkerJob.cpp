#include "core/WorkerJob.h"

#include "core/ModalGate.h"

#include <QMutex>
#include <QMutexLocker>
#include <QThreadPool>

namespace fiscora::detail {

namespace {

// What the worker and the job's receiver share: the receiver, while it is there. The worker
// posts to it only under the lock, so never to a receiver being destroyed.
struct Shared {
    QMutex mutex;
    QObject* receiver = nullptr;
    std::atomic<bool> cancelled = false;
};

// A child of the context, on its thread: gone with it, and then nothing is delivered.
class Receiver final : public QObject {
public:
    Receiver(QObject* context, std::shared_ptr<Shared> shared)
        : QObject(context)
        , m_shared(std::move(shared)) {
        m_shared->receiver = this;
    }
    ~Receiver() override {
        m_shared->cancelled = true;
        const QMutexLocker lock(&m_shared->mutex);
        m_shared->receiver = nullptr;
    }
    Q_DISABLE_COPY_MOVE(Receiver)

private:
    std::shared_ptr<Shared> m_shared;
};

} // namespace

void startWorkerJob(QObject* context, std::function<Delivery(const std::atomic<bool>& cancelled)> work) {
    auto shared = std::make_shared<Shared>();
    new Receiver(context, shared);
    QThreadPool::globalInstance()->start([shared, context, work = std::move(work)] {
        Delivery delivery = work(shared->cancelled);
        const QMutexLocker lock(&shared->mutex);
        QObject* receiver = shared->receiver;
        if (!receiver)
            return;
        QMetaObject::invokeMethod(
            receiver,
            [receiver, context, delivery = std::move(delivery)] {
                receiver->deleteLater();
                ModalGate::deliver(context, delivery);
            },
            Qt::QueuedConnection);
    });
}

} // namespace fiscora::detail
