#pragma once

#include "gui/TaxpayerListWindow.h"

namespace fiscora {

class Session;
class TaxpayerForm;

// The taxpayer update list: opens the chosen taxpayer in the edit window, which outlives it.
class frmtbl_atualizarContribuinte final : public TaxpayerListWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmtbl_atualizarContribuinte)

public:
    frmtbl_atualizarContribuinte(Session& session, const Seams& seams, QWidget* parent = nullptr);

Q_SIGNALS:
    // The edit window is shown, new or the one already open.
    void editWindowOpened(TaxpayerForm* window);

protected:
    void accept() override;
};

} // namespace fiscora
