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
    if (runStartupChecks() == StartupOutcome::Quit)
        return nullptr;
    auto* window = new Abertura(session);
    window->show();
    return window;
}

} // namespace fiscora
