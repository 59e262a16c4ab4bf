#include "gui/frmtbl_SelecionaContribuinte.h"

#include "core/AppTexts.h"
#include "core/MessageBox.h"
#include "core/Session.h"

namespace fiscora {

frmtbl_SelecionaContribuinte::frmtbl_SelecionaContribuinte(Session& session, const Seams& seams,
                                                           QWidget* parent)
    : TaxpayerListWindow(session, seams, QStringLiteral("frmtbl_SelecionaContribuinte"),
                         QStringLiteral("Seleção de Contribuinte - Prefeitura Municipal de Valdorra"),
                         QStringLiteral("Selecione o Contribuinte que deseja abrir:"), parent) {}

void frmtbl_SelecionaContribuinte::accept() {
    if (!validSelection()) {
        m_seams.messages.show(AppTexts::programTitle, QStringLiteral("É necessário cadastrar empresa"));
        close();
        return;
    }
    m_session.selectTaxpayer(cell(ColRazaoSocial), cell(ColIE), cell(ColChave));
    close();
    Q_EMIT taxpayerChosen();
}

} // namespace fiscora
