#pragma once

#include "core/Result.h"
#include "core/ServerAddress.h"

#include <QByteArray>
#include <QString>

#include <QPointer>
#include <QThread>

#include <functional>
#include <memory>

class QObject;

namespace fiscora {

// What the start-up window's load decided.
enum class StartupOutcome {
    ShowWindow, // show the start-up window
    Quit,       // the program ends (no rights, or the updater was started)
};

// The start-up window's load: administrator check, version check and self-update (the
// updater starts only when its signature covers it and the announced version, and that version
// is not older than the running one). In two steps, so the caller can build its
// window while the server answers: startFetch() fetches the version text on a thread of its own;
// finish() starts it when nobody did, waits for it and does everything the user sees, in order.
class StartupChecks {
public:
    StartupChecks();
    ~StartupChecks();
    StartupChecks(const StartupChecks&) = delete;
    StartupChecks& operator=(const StartupChecks&) = delete;

    StartupOutcome finish();

    bool administrator() const { return m_administrator; }
    // After finish(): the version downloaded in this start is the installed one.
    bool versionConfirmed() const { return m_versionConfirmed; }
    void startFetch();
    // Calls `fetched` on the window thread once the version text is in (at once when nothing is
    // fetched), unless `context` is gone by then.
    void whenFetched(QObject* context, std::function<void()> fetched);

private:
    bool m_administrator = false;
    bool m_started = false;
    bool m_versionConfirmed = false;
    ServerAddress m_server;
    // Filled by the fetch's thread, which may outlive this object (the program closed while it
    // waits for the server): it deletes itself when done.
    std::shared_ptr<Result<QByteArray>> m_version;
    QPointer<QThread> m_fetch;
};

// Both steps at once.
StartupOutcome runStartupChecks();

} // namespace fiscora
