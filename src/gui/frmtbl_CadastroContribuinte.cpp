#include "gui/frmtbl_CadastroContribuinte.h"

#include "core/AppTexts.h"
#include "core/MessageBox.h"
#include "data/TaxpayerTable.h"
#include "gui/DatabaseErrorBox.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace fiscora {

frmtbl_CadastroContribuinte::frmtbl_CadastroContribuinte(const Seams& seams, QWidget* parent)
    : TaxpayerForm(seams, QStringLiteral("frmtbl_CadastroContribuinte"),
                   QStringLiteral("Atualização de Contribuinte - Prefeitura Municipal de Valdorra"), parent) {
    m_txtIE->setEnabled(false);
    m_txtCNPJ->setEnabled(false);
    // Shown, never written by the update.
    m_Chave->setReadOnly(true);
    addButtonRow();
    connect(m_cmdOK, &QPushButton::clicked, this, &frmtbl_CadastroContribuinte::save);
}

frmtbl_CadastroContribuinte::~frmtbl_CadastroContribuinte() = default;

void frmtbl_CadastroContribuinte::fill(const QString& ie, const QString& companyName, const QString& cnpj,
                                       const QString& cnae, const QString& chave, const QString& ccm,
                                       bool inSimplesNacional) {
    m_txtIE->setText(ie);
    m_txtRazaoSocial->setText(companyName);
    m_txtCNPJ->setText(cnpj);
    m_txtCNAE->setText(cnae);
    m_Chave->setText(chave);
    m_txtInscMunicipal->setText(ccm);
    m_flag_optantesimples->setChecked(inSimplesNacional);
    setErroMsg({});
}

void frmtbl_CadastroContribuinte::save() {
    if (!checkFieldsAndKey())
        return;
    const std::optional<bool> exists = lookUpIe();
    if (!exists)
        return;
    if (!*exists) {
        setErroMsg(QStringLiteral("Contribuinte não cadastrado."));
        return;
    }
    setErroMsg({});
    Taxpayer row;
    row.IE = ie();
    row.RazaoSocial = companyName();
    row.Cnae = cnae();
    row.CCM = inscMunicipal();
    row.OptanteSimples = inSimplesNacional();
    if (const Status saved = updateTaxpayer(m_seams.folder, row); !saved) {
        showDatabaseError(m_seams.messages, saved.error());
        return;
    }
    m_seams.messages.show(AppTexts::productTitle,
                          QStringLiteral("O dados cadastrais do contribuinte foram atualizados"));
    close();
}

} // namespace fiscora
