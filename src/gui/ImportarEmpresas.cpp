#include "gui/ImportarEmpresas.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace fiscora {

ImportarEmpresas::ImportarEmpresas(Session& session, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_session(session) {
    setObjectName(QStringLiteral("ImportarEmpresas"));
    setWindowTitle(QStringLiteral("Cadastro de Empresas - Através do Arquivo NovaGIA - Importação"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* text =
        new QLabel(QStringLiteral("A importação de empresas a partir do arquivo do NovaGIA ainda não está "
                                  "disponível nesta versão."),
                   this);
    text->setWordWrap(true);
    auto* close = new QPushButton(QStringLiteral("&Fechar"), this);
    close->setObjectName(QStringLiteral("cmdFechar"));
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(close, 0, Qt::AlignRight);
    resize(420, 120);
}

} // namespace fiscora
