#pragma once

#include "gui/TaxpayerListWindow.h"

namespace fiscora {

class Session;

// The taxpayer deletion list: deletes the chosen taxpayer after asking.
class frmtbl_exclusaoContribuinte final : public TaxpayerListWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmtbl_exclusaoContribuinte)

public:
    frmtbl_exclusaoContribuinte(Session& session, const Seams& seams, QWidget* parent = nullptr);

protected:
    void accept() override;
};

} // namespace fiscora
