#pragma once

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>

namespace fiscora {

// Work for the processor (reading documents, laying out pages) kept off the window thread: a job
// of `context`. `work` runs on a thread of Qt's global pool; `done` gets its result later (never
// inside the call) on the context's thread, through the ModalGate. Once the context is gone
// nothing is delivered, and `cancelled` tells `work` it may stop early.
namespace detail {
using Delivery = std::function<void()>;
void startWorkerJob(QObject* context, std::function<Delivery(const std::atomic<bool>& cancelled)> work);
} // namespace detail

template <typename T>
void runWorkerJob(QObject* context, std::function<T(const std::atomic<bool>& cancelled)> work,
                  std::function<void(T)> done) {
    detail::startWorkerJob(context,
                           [work = std::move(work),
                            done = std::move(done)](const std::atomic<bool>& cancelled) -> detail::Delivery {
                               auto result = std::make_shared<T>(work(cancelled));
                               return [done, result] {
                                   done(std::move(*result));
                               };
                           });
}

} // namespace fiscora
