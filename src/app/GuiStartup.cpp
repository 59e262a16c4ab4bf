#include "app/GuiStartup.h"

#include "app/Abertura.h"
#include "app/VersionCheck.h"

namespace fiscora {

Abertura* openStartupWindow() {
    if (runStartupChecks() == StartupOutcome::Quit)
        return nullptr;
    auto* window = new Abertura;
    window->show();
    return window;
}

} // namespace fiscora
