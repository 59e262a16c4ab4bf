#pragma once

#include "core/ProgramFolder.h"
#include "gui/TaxpayerListWindow.h"

namespace fiscora {

class Session;

// The taxpayer selection: the chosen taxpayer becomes the main window's current one and its transmissions are
// fetched.
class frmtbl_SelecionaContribuinte final : public TaxpayerListWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmtbl_SelecionaContribuinte)

public:
    frmtbl_SelecionaContribuinte(Session& session, const Seams& seams, QWidget* parent = nullptr);

protected:
    void accept() override;
};

} // namespace fiscora
