#include "windows/frmtbl_CadastroContribuinte.h"

#include "app/Principal.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFormLayout>
#include <QLineEdit>

namespace fiscora {

namespace {

QLineEdit* field(const QString& name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setReadOnly(true);
    return edit;
}

} // namespace

frmtbl_CadastroContribuinte::frmtbl_CadastroContribuinte(QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_txtIE(field(QStringLiteral("txtIE"), this))
    , m_txtRazaoSocial(field(QStringLiteral("txtRazaoSocial"), this))
    , m_txtCNPJ(field(QStringLiteral("txtCNPJ"), this))
    , m_txtCNAE(field(QStringLiteral("txtCNAE"), this))
    , m_Chave(field(QStringLiteral("Chave"), this))
    , m_txtInscMunicipal(field(QStringLiteral("txtInscMunicipal"), this))
    , m_flag_optantesimples(new QCheckBox(QStringLiteral("Contribuinte Optante do Simples Nacional"), this)) {
    setObjectName(QStringLiteral("frmtbl_CadastroContribuinte"));
    setWindowTitle(QStringLiteral("Atualização de Contribuinte - Prefeitura Municipal de Valdorra"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_flag_optantesimples->setObjectName(QStringLiteral("flag_optantesimples"));
    m_flag_optantesimples->setEnabled(false);

    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Inscrição Estadual"), m_txtIE);
    form->addRow(QStringLiteral("Razão Social"), m_txtRazaoSocial);
    form->addRow(QStringLiteral("CNPJ"), m_txtCNPJ);
    form->addRow(QStringLiteral("CNAE"), m_txtCNAE);
    form->addRow(QStringLiteral("Insc. Municipal"), m_txtInscMunicipal);
    form->addRow(QString(), m_flag_optantesimples);
    form->addRow(QStringLiteral("Chave de Acesso"), m_Chave);
}

void frmtbl_CadastroContribuinte::fill(const QString& ie, const QString& razaoSocial, const QString& cnpj,
                                       const QString& cnae, const QString& chave, const QString& ccm,
                                       bool optanteSimples) {
    m_txtIE->setText(ie);
    m_txtRazaoSocial->setText(razaoSocial);
    m_txtCNPJ->setText(cnpj);
    m_txtCNAE->setText(cnae);
    m_Chave->setText(chave);
    m_txtInscMunicipal->setText(ccm);
    m_flag_optantesimples->setChecked(optanteSimples);
}

void frmtbl_CadastroContribuinte::closeEvent(QCloseEvent* event) {
    event->accept();
    if (Principal* main = Principal::instance())
        main->setEnabled(true);
}

} // namespace fiscora
