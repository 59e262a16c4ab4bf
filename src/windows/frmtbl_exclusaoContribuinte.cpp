#include "windows/frmtbl_exclusaoContribuinte.h"

#include "app/AppTexts.h"
#include "data/LocalDatabase.h"
#include "ui/MessageBox.h"

namespace fiscora {

frmtbl_exclusaoContribuinte::frmtbl_exclusaoContribuinte(QWidget* parent)
    : ContribuinteListWindow(QStringLiteral("frmtbl_exclusaoContribuinte"),
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
    LocalDatabase db;
    if (!db.open() || !db.exec(QStringLiteral("Delete From tblContribuinte where ie = ?"), {cell(ColIE)})) {
        MessageBox::show(AppTexts::productTitle, QStringLiteral("É necessário cadastrar empresa"),
                         MessageIcon::Information);
        return;
    }
    db.close();
    MessageBox::show(AppTexts::productTitle, QStringLiteral("Contribuinte Excluído"), MessageIcon::Information);
    close();
}

} // namespace fiscora
