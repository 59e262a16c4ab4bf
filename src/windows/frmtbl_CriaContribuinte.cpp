#include "windows/frmtbl_CriaContribuinte.h"

#include "app/Principal.h"

#include <QCloseEvent>

namespace fiscora {

frmtbl_CriaContribuinte::frmtbl_CriaContribuinte(QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmtbl_CriaContribuinte"));
    setWindowTitle(QStringLiteral("Cadastro de Contribuinte - Prefeitura Municipal de Valdorra"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(7000 / 15, 5000 / 15);
}

void frmtbl_CriaContribuinte::closeEvent(QCloseEvent* event) {
    event->accept();
    if (Principal* main = Principal::instance())
        main->setEnabled(true);
}

} // namespace fiscora
