#pragma once

#include "gui/TaxpayerListWindow.h"

namespace fiscora {

class Session;

// The taxpayer selection: the chosen taxpayer becomes the session's current one, and the window
// says so once it has closed (the main window fetches its transmissions then).
class frmtbl_SelecionaContribuinte final : public TaxpayerListWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmtbl_SelecionaContribuinte)

public:
    frmtbl_SelecionaContribuinte(Session& session, const Seams& seams, QWidget* parent = nullptr);

Q_SIGNALS:
    void taxpayerChosen();

protected:
    void accept() override;
};

} // namespace fiscora
