#include "gui/GuiStartup.h"

#include "gui/Abertura.h"
#include "gui/VersionCheck.h"

namespace fiscora {

Abertura* openStartupWindow() {
    if (runStartupChecks() == StartupOutcome::Quit)
        return nullptr;
    auto* window = new Abertura;
    window->show();
    return window;
}

} // namespace fiscora
