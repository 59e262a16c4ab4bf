#pragma once

#include "core/ProgramFolder.h"
#include "gui/TaxpayerListWindow.h"

namespace fiscora {

class Session;

// The taxpayer update list: opens the chosen taxpayer in the edit window.
class frmtbl_atualizarContribuinte final : public TaxpayerListWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmtbl_atualizarContribuinte)

public:
    frmtbl_atualizarContribuinte(Session& session, const Seams& seams, QWidget* parent = nullptr);

protected:
    void accept() override;
};

} // namespace fiscora
