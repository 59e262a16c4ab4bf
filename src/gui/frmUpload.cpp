#include "gui/frmUpload.h"

#include "gui/Principal.h"

#include <QCloseEvent>

namespace fiscora {

frmUpload::frmUpload(QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmUpload"));
    setWindowTitle(
        QStringLiteral("Selecione o arquivo MDB para Entrega  - Prefeitura Municipal de Valdorra"));
    resize(12390 / 15, 5385 / 15);
}

void frmUpload::closeEvent(QCloseEvent* event) {
    event->accept();
    if (Principal* main = Principal::instance())
        main->setEnabled(true);
}

} // namespace fiscora
