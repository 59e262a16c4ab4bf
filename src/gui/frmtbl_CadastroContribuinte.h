#pragma once

#include "gui/TaxpayerForm.h"

namespace fiscora {

// The taxpayer edit window, opened filled in by the update list: the name, the CNAE, the municipal
// registration and the Simples Nacional flag can change; the IE, the CNPJ and the key are shown
// only. Closing it, by any route, says so (TaxpayerForm::closed).
class frmtbl_CadastroContribuinte final : public TaxpayerForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmtbl_CadastroContribuinte)

public:
    explicit frmtbl_CadastroContribuinte(const Seams& seams, QWidget* parent = nullptr);
    ~frmtbl_CadastroContribuinte() override;

    // The row to edit: the list's columns and the stored CCM and Simples Nacional flag.
    void fill(const QString& ie, const QString& companyName, const QString& cnpj, const QString& cnae,
              const QString& chave, const QString& ccm, bool inSimplesNacional);

    void save();
};

} // namespace fiscora
