#pragma once

#include "core/Result.h"
#include "core/ServerAddress.h"

#include <QByteArray>
#include <QString>

#include <memory>

class QThread;

namespace fiscora {

// Downloads a URL into a local file. The bytes go to a temporary file that replaces the
// target only when the whole body of a 2xx answer, at most maxBytes, has arrived, so a failure
// leaves the previous content. On failure shows the transfer message and returns false.
bool Baixa_Versao(const QString& localFile, const QString& url, qint64 maxBytes);

// What the start-up window's load decided.
enum class StartupOutcome {
    ShowWindow, // show the start-up window
    Quit,       // the program ends (no rights, or the updater was started)
};

// The start-up window's load: administrator check, version check and self-update (the
// updater starts only when its signature verifies). In two steps, so the caller can build its
// window while the server answers: constructing starts fetching the version text on a thread of
// its own; finish() waits for it and does everything the user sees, in order.
class StartupChecks {
public:
    StartupChecks();
    ~StartupChecks();
    StartupChecks(const StartupChecks&) = delete;
    StartupChecks& operator=(const StartupChecks&) = delete;

    StartupOutcome finish();

private:
    bool m_administrator = false;
    ServerAddress m_server;
    Result<QByteArray> m_version;
    std::unique_ptr<QThread> m_fetch;
};

// Both steps at once.
StartupOutcome runStartupChecks();

} // namespace fiscora
