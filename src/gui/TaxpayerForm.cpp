#include "gui/TaxpayerForm.h"

#include "core/MessageBox.h"
#include "data/TaxpayerTable.h"
#include "gui/DatabaseErrorBox.h"
#include "gui/DialogKeys.h"
#include "validation/Documents.h"
#include "validation/FormRules.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace fiscora {

namespace {

// Qt's "9" is a required digit; "_" shows in every position not typed.
const QString kIeMask = QStringLiteral("999.999.999.999;_");
const QString kCnpjMask = cnpjInputMask();
const QString kCnaeMask = QStringLiteral("9999-9/99;_");

QLineEdit* field(const QString& name, QWidget* parent, const QString& mask = {}) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    if (!mask.isEmpty()) {
        edit->setInputMask(mask);
        // Room for the whole mask, no more: the field shows its format.
        const int width = edit->fontMetrics().horizontalAdvance(mask.section(QLatin1Char(';'), 0, 0)) + 24;
        edit->setMinimumWidth(width);
        edit->setMaximumWidth(width + 16);
    }
    return edit;
}

} // namespace

TaxpayerForm::TaxpayerForm(const Seams& seams, const QString& objectName, const QString& caption,
                           QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_seams(seams)
    , m_txtIE(field(QStringLiteral("txtIE"), this, kIeMask))
    , m_txtRazaoSocial(field(QStringLiteral("txtRazaoSocial"), this))
    , m_txtCNPJ(field(QStringLiteral("txtCNPJ"), this, kCnpjMask))
    , m_txtCNAE(field(QStringLiteral("txtCNAE"), this, kCnaeMask))
    , m_txtInscMunicipal(field(QStringLiteral("txtInscMunicipal"), this))
    , m_flag_optantesimples(new QCheckBox(QStringLiteral("Contribuinte Optante do Simples Nacional"), this))
    , m_Chave(field(QStringLiteral("Chave"), this))
    , m_erroMsg(new QLabel(this))
    , m_layout(new QVBoxLayout(this)) {
    setObjectName(objectName);
    setWindowTitle(caption);
    setAttribute(Qt::WA_DeleteOnClose);
    m_flag_optantesimples->setObjectName(QStringLiteral("flag_optantesimples"));
    m_erroMsg->setObjectName(QStringLiteral("erroMsg"));
    QPalette red = m_erroMsg->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    m_erroMsg->setPalette(red);
    m_erroMsg->setMinimumHeight(m_erroMsg->fontMetrics().height());

    auto* frame = new QGroupBox(QStringLiteral(" Contribuinte "), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    auto* grid = new QGridLayout(frame);
    int row = 0;
    const auto add = [grid, frame, &row](const QString& text, QWidget* widget) {
        auto* caption = new QLabel(text, frame);
        caption->setBuddy(widget);
        grid->addWidget(caption, row, 0);
        grid->addWidget(widget, row++, 1);
    };
    add(QStringLiteral("Inscrição Estadual"), m_txtIE);
    add(QStringLiteral("Razão Social"), m_txtRazaoSocial);
    add(QStringLiteral("CNPJ"), m_txtCNPJ);
    add(QStringLiteral("CNAE"), m_txtCNAE);
    add(QStringLiteral("Insc. Municipal"), m_txtInscMunicipal);
    grid->addWidget(m_flag_optantesimples, row++, 1);
    add(QStringLiteral("Chave de Acesso"), m_Chave);
    grid->addWidget(m_erroMsg, row++, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    m_txtInscMunicipal->setMaximumWidth(m_txtCNPJ->maximumWidth());
    m_Chave->setMaximumWidth(m_txtCNPJ->maximumWidth());
    m_txtRazaoSocial->setMinimumWidth(m_txtIE->minimumWidth() * 2);
    m_layout->addWidget(frame);

    m_txtIE->installEventFilter(this);
    m_txtCNPJ->installEventFilter(this);
}

TaxpayerForm::~TaxpayerForm() {
    m_txtIE->removeEventFilter(this);
    m_txtCNPJ->removeEventFilter(this);
}

QPushButton* TaxpayerForm::addButtonRow() {
    m_cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdCancelar = new QPushButton(QStringLiteral("&Cancelar"), this);
    m_cmdCancelar->setObjectName(QStringLiteral("cmdCancelar"));
    connect(m_cmdCancelar, &QPushButton::clicked, this, &QWidget::close);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdCancelar);
    m_layout->addLayout(buttons);
    setDialogKeys(this, m_cmdOK, m_cmdCancelar);
    return m_cmdOK;
}

QString TaxpayerForm::ie() const {
    return m_txtIE->displayText();
}

QString TaxpayerForm::companyName() const {
    return m_txtRazaoSocial->text();
}

QString TaxpayerForm::cnpj() const {
    return m_txtCNPJ->displayText();
}

QString TaxpayerForm::cnae() const {
    return m_txtCNAE->displayText();
}

QString TaxpayerForm::inscMunicipal() const {
    return m_txtInscMunicipal->text();
}

QString TaxpayerForm::chave() const {
    return m_Chave->text();
}

bool TaxpayerForm::inSimplesNacional() const {
    return m_flag_optantesimples->isChecked();
}

QString TaxpayerForm::erroMsg() const {
    return m_erroMsg->text();
}

void TaxpayerForm::setErroMsg(const QString& text) {
    m_erroMsg->setText(text);
}

void TaxpayerForm::checkCnpjField() {
    setErroMsg(CNPJValida(cnpj()) ? QString() : QStringLiteral("CNPJ Inválido"));
}

void TaxpayerForm::checkIeField() {
    if (!IEValida(ie(), QStringLiteral("SP"))) {
        setErroMsg(QStringLiteral("Inscrição Estadual inválida."));
        return;
    }
    setErroMsg({});
    if (lookUpIe().value_or(false))
        setErroMsg(QStringLiteral("Contribuinte já cadastrado."));
}

std::optional<bool> TaxpayerForm::lookUpIe() {
    const Result<bool> found = taxpayerExists(m_seams.folder, ie());
    if (!found) {
        showDatabaseError(m_seams.messages, found.error());
        return std::nullopt;
    }
    return *found;
}

TaxpayerFields TaxpayerForm::fields() const {
    return TaxpayerFields{ie(), companyName(), cnpj(), cnae(), chave(), erroMsg()};
}

bool TaxpayerForm::passes(const FormCheck& failure) {
    if (failure)
        m_seams.messages.show(failure->title, failure->message, failure->icon);
    return !failure;
}

bool TaxpayerForm::checkFields() {
    return passes(checkTaxpayerFields(fields()));
}

bool TaxpayerForm::checkFieldsAndKey() {
    return passes(checkTaxpayerSave(fields()));
}

bool TaxpayerForm::eventFilter(QObject* watched, QEvent* event) {
    // The field is left when the focus moves to another control of this window; the window
    // losing the focus to another one (a message box, another program) leaves nothing. A field
    // that cannot take the focus (the edit window's IE and CNPJ) is never left.
    const auto* focus = event->type() == QEvent::FocusOut ? static_cast<QFocusEvent*>(event) : nullptr;
    if (focus && focus->reason() != Qt::ActiveWindowFocusReason && focus->reason() != Qt::PopupFocusReason &&
        static_cast<QWidget*>(watched)->isEnabled()) {
        if (watched == m_txtIE)
            checkIeField();
        else if (watched == m_txtCNPJ)
            checkCnpjField();
    }
    return QWidget::eventFilter(watched, event);
}

void TaxpayerForm::closeEvent(QCloseEvent* event) {
    event->accept();
    Q_EMIT closed();
}

} // namespace fiscora
