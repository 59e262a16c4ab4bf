#include "gui/frmtbl_SelecionaContribuinte.h"

#include "core/AppTexts.h"
#include "core/MessageBox.h"
#include "gui/Principal.h"

namespace fiscora {

frmtbl_SelecionaContribuinte::frmtbl_SelecionaContribuinte(QWidget* parent)
    : TaxpayerListWindow(QStringLiteral("frmtbl_SelecionaContribuinte"),
                         QStringLiteral("Seleção de Contribuinte - Prefeitura Municipal de Valdorra"),
                         QStringLiteral("Selecione o Contribuinte que deseja abrir:"), parent) {}

void frmtbl_SelecionaContribuinte::accept() {
    if (!validSelection()) {
        MessageBox::show(AppTexts::programTitle, QStringLiteral("É necessário cadastrar empresa"));
        close();
        return;
    }
    Principal* main = Principal::instance();
    if (!main) {
        MessageBox::show(AppTexts::productTitle, QStringLiteral("É necessário cadastrar empresa"),
                         MessageIcon::Information);
        return;
    }
    main->selecionarContribuinte(cell(ColRazaoSocial), cell(ColIE), cell(ColChave));
    close();
    main->RecebeDadosServer();
}

} // namespace fiscora
