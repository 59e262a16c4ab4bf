#include "gui/frmtbl_exclusaoContribuinte.h"

#include "core/AppTexts.h"
#include "core/MessageBox.h"
#include "data/TaxpayerTable.h"

namespace fiscora {

frmtbl_exclusaoContribuinte::frmtbl_exclusaoContribuinte(Session& session, const ProgramFolder& folder,
                                                         QWidget* parent)
    : TaxpayerListWindow(session, folder, QStringLiteral("frmtbl_exclusaoContribuinte"),
                         QStringLiteral("Exclusão de Contribuinte - Prefeitura Municipal de Valdorra"),
                         QStringLiteral("Selecione o Contribuinte que deseja excluir:"), parent) {}

void frmtbl_exclusaoContribuinte::accept() {
    if (!validSelection()) {
        MessageBox::show(AppTexts::programTitle, QStringLiteral("É necessário selecionar a empresa"));
        return;
    }
    if (MessageBox::show(AppTexts::productTitle, QStringLiteral("Deseja realmente excluir este contribuinte"),
                         MessageIcon::None, MessageButtons::YesNo) != MessageAnswer::Yes)
        return;
    if (!deleteTaxpayer(m_folder, cell(ColIE))) {
        MessageBox::show(AppTexts::productTitle, QStringLiteral("É necessário cadastrar empresa"),
                         MessageIcon::Information);
        return;
    }
    MessageBox::show(AppTexts::productTitle, QStringLiteral("Contribuinte Excluído"),
                     MessageIcon::Information);
    close();
}

} // namespace fiscora
