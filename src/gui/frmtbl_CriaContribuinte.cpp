#include "gui/frmtbl_CriaContribuinte.h"

#include "certificates/CertificateChecks.h"
#include "certificates/CertificateTexts.h"
#include "certificates/PersonalCertificateSource.h"
#include "core/AppTexts.h"
#include "core/MessageBox.h"
#include "data/AccountantTable.h"
#include "data/TaxpayerTable.h"
#include "gui/BusyWindow.h"
#include "gui/CertificateSelection.h"
#include "gui/DatabaseErrorBox.h"
#include "gui/ImportarEmpresas.h"
#include "net/KeyRequest.h"
#include "transmission/Services.h"
#include "validation/Documents.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace fiscora {

frmtbl_CriaContribuinte::frmtbl_CriaContribuinte(const Services& services, QWidget* parent)
    : TaxpayerForm(services.seams, QStringLiteral("frmtbl_CriaContribuinte"),
                   QStringLiteral("Cadastro de Contribuinte - Prefeitura Municipal de Valdorra"), parent)
    , m_services(services)
    , m_Command1(new QPushButton(QStringLiteral("Gerar chave através do Cert. Digital"), this))
    , m_Command2(new QPushButton(QStringLiteral("Importação de Empresas"), this)) {
    m_Command1->setObjectName(QStringLiteral("Command1"));
    m_Command2->setObjectName(QStringLiteral("Command2"));
    auto* hint = new QLabel(QStringLiteral("Utilize o certificado da Empresa ou Contador"), this);
    hint->setObjectName(QStringLiteral("Label1"));

    auto* commands = new QGridLayout;
    commands->addWidget(m_Command1, 0, 0);
    commands->addWidget(hint, 0, 1);
    commands->addWidget(m_Command2, 1, 0);
    commands->setColumnStretch(1, 1);
    commands->setHorizontalSpacing(10);
    mainLayout()->addLayout(commands);
    addButtonRow();

    connect(m_cmdOK, &QPushButton::clicked, this, &frmtbl_CriaContribuinte::save);
    connect(m_Command1, &QPushButton::clicked, this, &frmtbl_CriaContribuinte::requestKey);
    connect(m_Command2, &QPushButton::clicked, this, &frmtbl_CriaContribuinte::openCompanyImport);
}

frmtbl_CriaContribuinte::~frmtbl_CriaContribuinte() = default;

void frmtbl_CriaContribuinte::save() {
    if (!checkFieldsAndKey())
        return;
    const std::optional<bool> exists = lookUpIe();
    if (!exists)
        return;
    if (*exists) {
        setErroMsg(QStringLiteral("Contribuinte já cadastrado."));
        return;
    }
    setErroMsg({});
    const Taxpayer row{ie(), companyName(), cnpj(), cnae(), chave(), inscMunicipal(), inSimplesNacional()};
    if (const Status saved = insertTaxpayer(m_seams.folder, row); !saved) {
        showDatabaseError(m_services.seams.messages, saved.error());
        return;
    }
    m_services.seams.messages.show(AppTexts::productTitle, QStringLiteral("O contribuinte foi criado!"));
    close();
}

void frmtbl_CriaContribuinte::requestKey() {
    SelecionarCertificado();
}

void frmtbl_CriaContribuinte::openCompanyImport() {
    (new ImportarEmpresas(m_services))->show();
}

void frmtbl_CriaContribuinte::SelecionarCertificado() {
    const Result<std::optional<Accountant>> contador = DadosContador(m_seams.folder);
    if (!contador) {
        CertificateSelection::showComponentFailure(m_services.seams.messages);
        return;
    }
    if (!checkFields())
        return;
    const CertificateSelection::KeyDocuments documents{true, documentDigits(cnpj()),
                                                       contador->value_or(Accountant{}).document()};
    if (CertificateSelection::keyVariant(m_services.seams.messages, m_services.certificates, this, documents,
                                         &m_certificado, PersonalCertificateSource(m_services.tokens)) !=
        CertificateSelection::Outcome::Accepted)
        return;

    KeyRequest::request(m_services.http, ie(), cnpj(), this,
                        [this, busy = BusyWindow::hold(this)](KeyAnswer answer) mutable {
                            busy.reset();
                            showKey(answer);
                        });
}

void frmtbl_CriaContribuinte::showKey(const KeyAnswer& answer) {
    switch (answer.status) {
    case KeyAnswer::Status::Failed:
        CertificateSelection::showComponentFailure(m_services.seams.messages);
        return;
    case KeyAnswer::Status::Refused:
        m_services.seams.messages.show(
            AppTexts::productTitle,
            QStringLiteral("Atenção, não foi encontrado cadastro para as informações preenchidas.\r\n\r\n"
                           "Solicitamos entrar em contato por E-MAIL com o suporte, informando: CNPJ, "
                           "IE e CNAE do contribuinte."),
            MessageIcon::Critical);
        return;
    case KeyAnswer::Status::Granted:
        break;
    }
    if (!CertificateChecks::withinValidity(*m_certificado, answer.serverDate)) {
        m_services.seams.messages.show(AppTexts::programTitle, CertificateTexts::expired);
        return;
    }
    // Nothing is saved yet: the user confirms with OK.
    m_Chave->setText(answer.chave);
    m_flag_optantesimples->setChecked(answer.simples);
    // Return now saves; left on the key button, it would ask for the key again.
    m_cmdOK->setFocus();
}

} // namespace fiscora
