#include "gui/frmUploadSimples.h"

#include "core/Session.h"

#include <QCloseEvent>

namespace fiscora {

frmUploadSimples::frmUploadSimples(Session& session, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_session(session) {
    setObjectName(QStringLiteral("frmUploadSimples"));
    setWindowTitle(QStringLiteral(
        "Selecione o arquivo PDF - Declaracao - SIMPLES NACIONAL - Prefeitura Municipal de Valdorra"));
    resize(12330 / 15, 5385 / 15);
}

void frmUploadSimples::closeEvent(QCloseEvent* event) {
    event->accept();
    m_session.enableMainWindow();
}

} // namespace fiscora
