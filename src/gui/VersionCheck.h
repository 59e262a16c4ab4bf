#pragma once

#include <QString>

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
// updater starts only when its signature verifies).
StartupOutcome runStartupChecks();

} // namespace fiscora
