#include "gui/frmContador.h"

#include "core/AppTexts.h"
#include "core/MessageBox.h"
#include "data/AccountantTable.h"
#include "data/LocalDatabase.h"
#include "gui/BusyWindow.h"
#include "gui/DatabaseErrorBox.h"
#include "gui/DialogKeys.h"
#include "gui/OpenWindow.h"
#include "transmission/AccountantNotice.h"
#include "transmission/Services.h"
#include "validation/Documents.h"
#include "validation/FormRules.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace fiscora {

const QString frmContador::defaultServerHost = QStringLiteral("fiscora.valdorra.sp.gov.br");

namespace {

// Qt's "9" is a required digit; "_" shows in every position not typed.
const QString kCnpjMask = cnpjInputMask();
const QString kCpfMask = QStringLiteral("999.999.999-99;_");
const QString kPhoneMask = QStringLiteral("(99) 9999-9999;_");
const QString kCepMask = QStringLiteral("99999-999;_");

QLineEdit* field(const QString& name, QWidget* parent, const QString& mask = {}) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    if (!mask.isEmpty())
        edit->setInputMask(mask);
    return edit;
}

} // namespace

frmContador::frmContador(const Services& services, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_services(services)
    , m_opt_fisica(new QRadioButton(QStringLiteral("Física"), this))
    , m_opt_juridica(new QRadioButton(QStringLiteral("Jurídica"), this))
    , m_txtCNPJCPF(field(QStringLiteral("txtCNPJCPF"), this, kCnpjMask))
    , m_txtCRC(field(QStringLiteral("txtCRC"), this))
    , m_txtRazaoSocial(field(QStringLiteral("txtRazaoSocial"), this))
    , m_txtLogradouro(field(QStringLiteral("txtLogradouro"), this))
    , m_txtNumero(field(QStringLiteral("txtNumero"), this))
    , m_txtComplemento(field(QStringLiteral("txtComplemento"), this))
    , m_txtBairro(field(QStringLiteral("txtBairro"), this))
    , m_txtCidade(field(QStringLiteral("txtCidade"), this))
    , m_txtUF(field(QStringLiteral("txtUF"), this))
    , m_txtTelefone(field(QStringLiteral("txtTelefone"), this, kPhoneMask))
    , m_txtCEP(field(QStringLiteral("txtCEP"), this, kCepMask))
    , m_txtEmail(field(QStringLiteral("txtEmail"), this))
    , m_erroMsg(new QLabel(this))
    , m_btnOK(new QPushButton(QStringLiteral("OK"), this))
    , m_Command1(new QPushButton(QStringLiteral("Cancelar"), this))
    , m_Command2(new QPushButton(QStringLiteral("Remover"), this)) {
    setObjectName(QStringLiteral("frmContador"));
    setWindowTitle(QStringLiteral("Dados do Contador - Prefeitura Municipal de Valdorra"));
    setAttribute(Qt::WA_DeleteOnClose);

    m_opt_fisica->setObjectName(QStringLiteral("opt_fisica"));
    m_opt_juridica->setObjectName(QStringLiteral("opt_juridica"));
    m_erroMsg->setObjectName(QStringLiteral("erroMsg"));
    m_btnOK->setObjectName(QStringLiteral("btnOK"));
    m_Command1->setObjectName(QStringLiteral("Command1"));
    m_Command2->setObjectName(QStringLiteral("Command2"));

    QPalette red = m_erroMsg->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    m_erroMsg->setPalette(red);
    m_erroMsg->setWordWrap(true);

    auto* frame = new QGroupBox(QStringLiteral("Dados do Contador"), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    auto* personType = new QGroupBox(QStringLiteral("Tipo de Pessoa"), frame);
    personType->setObjectName(QStringLiteral("Frame2"));
    auto* options = new QHBoxLayout(personType);
    options->addWidget(m_opt_fisica);
    options->addWidget(m_opt_juridica);
    options->addStretch(1);

    auto* grid = new QGridLayout(frame);
    const auto row = [grid, frame](int r, int c, const QString& text, QWidget* widget, int span = 1) {
        auto* caption = new QLabel(text, frame);
        caption->setBuddy(widget);
        grid->addWidget(caption, r, c);
        grid->addWidget(widget, r, c + 1, 1, span);
    };
    grid->addWidget(personType, 0, 0, 1, 4);
    row(1, 0, QStringLiteral("CNPJ / CPF"), m_txtCNPJCPF);
    row(1, 2, QStringLiteral("CRC"), m_txtCRC);
    row(2, 0, QStringLiteral("Razão Social"), m_txtRazaoSocial, 3);
    row(3, 0, QStringLiteral("Endereço"), m_txtLogradouro);
    row(3, 2, QStringLiteral("Número"), m_txtNumero);
    row(4, 0, QStringLiteral("Complemento"), m_txtComplemento);
    row(4, 2, QStringLiteral("Bairro"), m_txtBairro);
    row(5, 0, QStringLiteral("Cidade"), m_txtCidade);
    row(5, 2, QStringLiteral("Estado"), m_txtUF);
    row(6, 0, QStringLiteral("Telefone"), m_txtTelefone);
    row(6, 2, QStringLiteral("CEP"), m_txtCEP);
    row(7, 0, QStringLiteral("E-mail"), m_txtEmail, 3);
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(3, 2);
    grid->setHorizontalSpacing(10);

    auto* notice = new QLabel(QStringLiteral("Atenção: Para a transmissão dos documentos será utilizado o "
                                             "certificado dos dados cadastrados do contador responsável."),
                              this);
    notice->setObjectName(QStringLiteral("Label11"));
    notice->setWordWrap(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_Command2);
    buttons->addStretch(1);
    buttons->addWidget(m_btnOK);
    buttons->addWidget(m_Command1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addWidget(notice);
    layout->addWidget(m_erroMsg);
    layout->addStretch(1);
    layout->addLayout(buttons);

    m_txtCNPJCPF->installEventFilter(this);
    connect(m_opt_fisica, &QRadioButton::clicked, this, [this] { setDocumentMask(kCpfMask); });
    connect(m_opt_juridica, &QRadioButton::clicked, this, [this] { setDocumentMask(kCnpjMask); });
    setDialogKeys(this, m_btnOK, m_Command1);
    // Remover stands left of OK in the button row.
    setTabOrder(m_txtEmail, m_Command2);
    setTabOrder(m_Command2, m_btnOK);
    setTabOrder(m_btnOK, m_Command1);
    connect(m_btnOK, &QPushButton::clicked, this, &frmContador::ok);
    connect(m_Command1, &QPushButton::clicked, this, &QWidget::close);
    connect(m_Command2, &QPushButton::clicked, this, &frmContador::remove);

    resize(640, 440);
    load();
    // Typing starts in the first field that takes it: the person type, first in the tab order,
    // would swallow the digits of a document typed at once.
    (m_txtCNPJCPF->isEnabled() ? m_txtCNPJCPF : m_txtCRC)->setFocus();
}

frmContador::~frmContador() = default;

frmContador* frmContador::showWindow(const Services& services) {
    frmContador* window = openWindow<frmContador>();
    if (!window)
        window = new frmContador(services);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void frmContador::load() {
    const Result<std::optional<Accountant>> stored = DadosContador(m_services.seams.folder);
    if (!stored) {
        // Nothing to show: the fields stay empty and a later OK reports the database again.
        showDatabaseError(m_services.seams.messages, stored.error());
        return;
    }
    if (!*stored)
        return;
    const Accountant& c = **stored;
    setDocumentMask(c.cont_cpf_cnpj.size() == 14 ? kCpfMask : kCnpjMask);
    m_txtCNPJCPF->setText(c.cont_cpf_cnpj);
    m_txtCNPJCPF->setEnabled(false);
    m_opt_fisica->setEnabled(false);
    m_opt_juridica->setEnabled(false);
    m_txtCRC->setText(c.cont_num_crc);
    m_txtRazaoSocial->setText(c.cont_razao_nome);
    m_txtLogradouro->setText(c.cont_nom_endereco);
    m_txtNumero->setText(c.cont_num_predial);
    m_txtComplemento->setText(c.cont_dsc_complemento);
    m_txtBairro->setText(c.cont_nom_bairro);
    m_txtCidade->setText(c.cont_nom_cidade);
    m_txtUF->setText(c.cont_nom_estado);
    m_txtTelefone->setText(c.cont_num_telefone);
    m_txtCEP->setText(c.cont_num_cep);
    m_txtEmail->setText(c.cont_email);
}

// A document typed for one person type means nothing under the other mask: changing the mask
// starts the field afresh.
void frmContador::setDocumentMask(const QString& mask) {
    if (m_txtCNPJCPF->inputMask() == mask)
        return;
    m_txtCNPJCPF->setInputMask(mask);
    m_txtCNPJCPF->clear();
}

bool frmContador::isCpf() const {
    return m_txtCNPJCPF->inputMask() == kCpfMask;
}

bool frmContador::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_txtCNPJCPF && event->type() == QEvent::FocusOut)
        checkDocument();
    return QWidget::eventFilter(watched, event);
}

void frmContador::checkDocument() {
    const QString document = m_txtCNPJCPF->displayText();
    if (isCpf() ? CPFValida(document) : CNPJValida(document))
        m_erroMsg->clear();
    else
        m_erroMsg->setText(accountantDocumentError(isCpf()));
}

void frmContador::fail(const QString& message) {
    m_erroMsg->setText(message);
}

void frmContador::ok() {
    // Masked fields give their text as displayed, literals and "_" included.
    const QStringList typed = {
        m_txtCNPJCPF->displayText(),  m_txtCRC->text(),        m_txtRazaoSocial->text(),
        m_txtLogradouro->text(),      m_txtNumero->text(),     m_txtComplemento->text(),
        m_txtBairro->text(),          m_txtCidade->text(),     m_txtUF->text(),
        m_txtTelefone->displayText(), m_txtCEP->displayText(), m_txtEmail->text()};
    // The server is told first; only a failure to reach it stops the command here. The window
    // waits for it; once closed, it has discarded its edits.
    notifyAccountant(m_services.http, typed, this,
                     [this, typed, busy = BusyWindow::hold(this)](Status sent) mutable {
                         busy.reset();
                         if (!isVisible())
                             return;
                         if (!sent) {
                             showConnectionFailure(QStringLiteral("2"));
                             return;
                         }
                         save(typed);
                     });
}

void frmContador::save(const QStringList& typed) {
    AccountantFields fields{isCpf(),     typed.at(0),  typed.at(1), typed.at(2), typed.at(3),
                            typed.at(4), typed.at(5),  typed.at(6), typed.at(7), typed.at(8),
                            typed.at(9), typed.at(10), typed.at(11)};
    FormCheck failure = checkAccountant(fields);
    if (failure && failure->question) {
        const MessageAnswer answer = m_services.seams.messages.show(failure->title, failure->message,
                                                                    failure->icon, MessageButtons::YesNo);
        failure = checkAccountant(fields, answer == MessageAnswer::Yes ? CrcAnswer::Yes : CrcAnswer::No);
    }
    if (failure) {
        fail(failure->message);
        return;
    }
    m_erroMsg->clear();
    // An accountant without a CRC is kept with none, not with the blanks typed.
    const QString crc = fields.crc.trimmed().isEmpty() ? QString() : fields.crc;

    // The table keeps the texts as typed: the values are bound, not pasted into the SQL. The
    // previous row stays when the save fails.
    const Accountant contador{typed.at(0), crc,         typed.at(2), typed.at(3), typed.at(4),  typed.at(5),
                              typed.at(6), typed.at(7), typed.at(8), typed.at(9), typed.at(10), typed.at(11)};
    if (!saveAccountant(m_services.seams.folder, contador)) {
        showConnectionFailure(QStringLiteral("1"));
        showConnectionFailure(QStringLiteral("2"));
        return;
    }
    close();
    m_services.seams.messages.show(AppTexts::productTitle, QStringLiteral("Contador cadastrado com sucesso"),
                                   MessageIcon::Information);
}

void frmContador::remove() {
    if (!removeAccountant(m_services.seams.folder)) {
        m_services.seams.messages.show(
            AppTexts::productTitle,
            QStringLiteral("Não foi possível excluir o contador. Tente novamente mais tarde."));
        return;
    }
    const QPoint where = pos();
    close();
    auto* fresh = new frmContador(m_services);
    fresh->move(where);
    fresh->show();
}

void frmContador::showConnectionFailure(const QString& code) {
    m_services.seams.messages.show(
        AppTexts::productTitle,
        QStringLiteral("Falha de conexão - Cód ") + code + QStringLiteral(", \r\n") +
            QStringLiteral("favor entrar em contato com seu administrador de redes para verificação de "
                           "regras no seu firewall ou proxy. \r\n\r\n") +
            QStringLiteral("Verifique também suas configurações de antivírus.\r\n\r\n") +
            QStringLiteral("O sistema deverá se comunicar com a URL http://") + defaultServerHost +
            QStringLiteral("/"),
        MessageIcon::Critical);
}

} // namespace fiscora
