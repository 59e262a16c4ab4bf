#pragma once

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace fiscora {

class ModalGate;

namespace detail {
// `work` runs on a pool thread; `deliver` stays with the context and runs on its thread.
void startWorkerJob(ModalGate& gate, QObject* context,
                    std::function<void(const std::atomic<bool>& cancelled)> work,
                    std::function<void()> deliver);
} // namespace detail

// Work for the processor (reading documents, laying out pages) kept off the window thread: a job
// of `context`. `work` runs on a thread of Qt's global pool and should hold only plain data;
// `done` gets its result later (never inside the call) on the context's thread, through `gate`.
// Once the context is gone nothing is delivered, and `cancelled` tells `work` it may stop early.
template <typename T>
void runWorkerJob(ModalGate& gate, QObject* context,
                  std::function<T(const std::atomic<bool>& cancelled)> work, std::function<void(T)> done) {
    auto result = std::make_shared<std::optional<T>>();
    detail::startWorkerJob(
        gate, context,
        [work = std::move(work), result](const std::atomic<bool>& cancelled) {
            result->emplace(work(cancelled));
        },
        [done = std::move(done), result] { done(std::move(**result)); });
}

} // namespace fiscora
