#include "gui/frmUpload.h"

#include "core/Session.h"

#include <QCloseEvent>

namespace fiscora {

frmUpload::frmUpload(Session& session, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_session(session) {
    setObjectName(QStringLiteral("frmUpload"));
    setWindowTitle(
        QStringLiteral("Selecione o arquivo MDB para Entrega  - Prefeitura Municipal de Valdorra"));
    resize(12390 / 15, 5385 / 15);
}

void frmUpload::closeEvent(QCloseEvent* event) {
    event->accept();
    m_session.enableMainWindow();
}

} // namespace fiscora
