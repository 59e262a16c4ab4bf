#include "gui/frmtbl_atualizarContribuinte.h"

#include "core/AppTexts.h"
#include "core/MessageBox.h"
#include "data/TaxpayerTable.h"
#include "gui/OpenWindow.h"
#include "gui/frmtbl_CadastroContribuinte.h"

namespace fiscora {

frmtbl_atualizarContribuinte::frmtbl_atualizarContribuinte(Session& session, const Seams& seams,
                                                           QWidget* parent)
    : TaxpayerListWindow(session, seams, QStringLiteral("frmtbl_atualizarContribuinte"),
                         QStringLiteral("Atualização de Contribuinte - Prefeitura Municipal de Valdorra"),
                         QStringLiteral("Selecione o Contribuinte que deseja atualizar:"), parent) {}

void frmtbl_atualizarContribuinte::accept() {
    if (!validSelection()) {
        m_seams.messages.show(AppTexts::programTitle, QStringLiteral("É necessário selecionar a empresa"));
        return;
    }
    // The stored row first, so that a failure leaves no half-filled edit window behind.
    const Result<std::optional<Taxpayer>> found = findTaxpayer(m_seams.folder, cell(ColIE));
    if (!found || !*found) {
        m_seams.messages.show(AppTexts::productTitle, QStringLiteral("É necessário cadastrar empresa"),
                              MessageIcon::Information);
        return;
    }

    // The edit window exists once: a second update refills the open one.
    frmtbl_CadastroContribuinte* edit = openWindow<frmtbl_CadastroContribuinte>();
    if (!edit)
        edit = new frmtbl_CadastroContribuinte(m_seams);
    const Taxpayer& stored = **found;
    edit->fill(cell(ColIE), cell(ColRazaoSocial), cell(ColCnpj), cell(ColCnae), cell(ColChave), stored.CCM,
               stored.OptanteSimples);
    edit->show();
    edit->raise();
    edit->activateWindow();
    Q_EMIT editWindowOpened(edit);
    close();
}

} // namespace fiscora
