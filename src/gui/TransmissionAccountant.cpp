#include "gui/TransmissionAccountant.h"

#include "core/AppTexts.h"
#include "core/MessageBox.h"
#include "data/LocalDatabase.h"
#include "gui/DatabaseErrorBox.h"
#include "gui/frmContador.h"
#include "transmission/Services.h"

namespace fiscora {

std::optional<Accountant> transmissionAccountant(const Services& services,
                                                 const std::function<void()>& opening) {
    const Result<std::optional<Accountant>> contador = DadosContador(services.seams.folder);
    if (!contador) {
        showDatabaseError(services.seams.messages, contador.error());
        return std::nullopt;
    }
    if (!*contador) {
        services.seams.messages.show(AppTexts::productTitle, AppTexts::accountantMissing);
        opening();
        frmContador* window = frmContador::showWindow(services);
        window->activateWindow();
        window->setFocus();
    }
    return *contador;
}

} // namespace fiscora
