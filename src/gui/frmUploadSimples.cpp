#include "gui/frmUploadSimples.h"

#include "gui/Principal.h"

#include <QCloseEvent>

namespace fiscora {

frmUploadSimples::frmUploadSimples(QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmUploadSimples"));
    setWindowTitle(QStringLiteral(
        "Selecione o arquivo PDF - Declaracao - SIMPLES NACIONAL - Prefeitura Municipal de Valdorra"));
    resize(12330 / 15, 5385 / 15);
}

void frmUploadSimples::closeEvent(QCloseEvent* event) {
    event->accept();
    if (Principal* main = Principal::instance())
        main->setEnabled(true);
}

} // namespace fiscora
