#pragma once

#include "certificates/Certificate.h"
#include "gui/TaxpayerForm.h"

#include <optional>

namespace fiscora {

struct Services;

struct KeyAnswer;

// The taxpayer creation window: opens empty; OK checks and inserts the taxpayer; "Gerar chave
// através do Cert. Digital" fills the key and the Simples Nacional flag from the server with a
// certificate. Closing it, by any route, says so (TaxpayerForm::closed).
class frmtbl_CriaContribuinte final : public TaxpayerForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmtbl_CriaContribuinte)

public:
    explicit frmtbl_CriaContribuinte(const Services& services, QWidget* parent = nullptr);
    ~frmtbl_CriaContribuinte() override;

    void save();
    void requestKey();
    void openCompanyImport();

    // The certificate of the last key request, kept while the window is open.
    const std::optional<Certificate>& certificado() const { return m_certificado; }

private:
    // The key request.
    void SelecionarCertificado();
    // The server's answer to it.
    void showKey(const KeyAnswer& answer);

    const Services& m_services;
    QPushButton* m_Command1;
    QPushButton* m_Command2;
    std::optional<Certificate> m_certificado;
};

} // namespace fiscora
