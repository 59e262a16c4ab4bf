#include "gui/frmtbl_atualizarContribuinte.h"

#include "core/AppTexts.h"
#include "core/MessageBox.h"
#include "data/TaxpayerTable.h"
#include "gui/frmtbl_CadastroContribuinte.h"

#include <QPointer>

namespace fiscora {

namespace {

// The edit window exists once: a second update refills the open one.
QPointer<frmtbl_CadastroContribuinte> g_edit;

} // namespace

frmtbl_atualizarContribuinte::frmtbl_atualizarContribuinte(Session& session, QWidget* parent)
    : TaxpayerListWindow(session, QStringLiteral("frmtbl_atualizarContribuinte"),
                         QStringLiteral("Atualização de Contribuinte - Prefeitura Municipal de Valdorra"),
                         QStringLiteral("Selecione o Contribuinte que deseja atualizar:"), parent) {}

void frmtbl_atualizarContribuinte::accept() {
    if (!validSelection()) {
        MessageBox::show(AppTexts::programTitle, QStringLiteral("É necessário selecionar a empresa"));
        return;
    }
    // The stored row first, so that a failure leaves no half-filled edit window behind.
    const Result<std::optional<Taxpayer>> found = findTaxpayer(cell(ColIE));
    if (!found || !*found) {
        MessageBox::show(AppTexts::productTitle, QStringLiteral("É necessário cadastrar empresa"),
                         MessageIcon::Information);
        return;
    }

    if (!g_edit)
        g_edit = new frmtbl_CadastroContribuinte(m_session);
    const Taxpayer& stored = **found;
    g_edit->fill(cell(ColIE), cell(ColRazaoSocial), cell(ColCnpj), cell(ColCnae), cell(ColChave), stored.CCM,
                 stored.OptanteSimples);
    g_edit->show();
    g_edit->raise();
    g_edit->activateWindow();
    close();
}

} // namespace fiscora
