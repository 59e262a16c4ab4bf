#include "gui/GuiStartup.h"

#include "core/Session.h"
#include "gui/Abertura.h"
#include "gui/Principal.h"
#include "gui/VersionCheck.h"

#include <QPointer>

#include <memory>

namespace fiscora {

void hostMainWindow(Session& session) {
    auto main = std::make_shared<QPointer<Principal>>();
    QObject::connect(&session, &Session::mainWindowRequested, &session, [&session, main] {
        if (!*main) {
            *main = new Principal(session);
            (*main)->setAttribute(Qt::WA_DeleteOnClose);
        }
        (*main)->show();
        (*main)->raise();
    });
}

Abertura* openStartupWindow(Session& session) {
    // The window is built while the server answers the version check, and shown only when the
    // checks let the program go on, after any message of theirs.
    StartupChecks checks;
    auto window = std::make_unique<Abertura>(session);
    if (checks.finish() == StartupOutcome::Quit)
        return nullptr;
    window->show();
    return window.release();
}

} // namespace fiscora
