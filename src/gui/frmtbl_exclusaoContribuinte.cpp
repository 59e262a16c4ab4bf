#include "gui/frmtbl_exclusaoContribuinte.h"

#include "core/AppTexts.h"
#include "core/MessageBox.h"
#include "data/TaxpayerTable.h"

namespace fiscora {

frmtbl_exclusaoContribuinte::frmtbl_exclusaoContribuinte(Session& session, const Seams& seams,
                                                         QWidget* parent)
    : TaxpayerListWindow(session, seams, QStringLiteral("frmtbl_exclusaoContribuinte"),
                         QStringLiteral("Exclusão de Contribuinte - Prefeitura Municipal de Valdorra"),
                         QStringLiteral("Selecione o Contribuinte que deseja excluir:"), parent) {}

void frmtbl_exclusaoContribuinte::accept() {
    if (!validSelection()) {
        m_seams.messages.show(AppTexts::programTitle, QStringLiteral("É necessário selecionar a empresa"));
        return;
    }
    if (m_seams.messages.show(AppTexts::productTitle,
                              QStringLiteral("Deseja realmente excluir este contribuinte"), MessageIcon::None,
                              MessageButtons::YesNo) != MessageAnswer::Yes)
        return;
    if (!deleteTaxpayer(m_seams.folder, cell(ColIE))) {
        m_seams.messages.show(AppTexts::productTitle, QStringLiteral("É necessário cadastrar empresa"),
                              MessageIcon::Information);
        return;
    }
    m_seams.messages.show(AppTexts::productTitle, QStringLiteral("Contribuinte Excluído"),
                          MessageIcon::Information);
    close();
}

} // namespace fiscora
