#include "gui/ImportarEmpresas.h"

#include "certificates/CertificateChecks.h"
#include "certificates/CertificateTexts.h"
#include "certificates/PersonalCertificateSource.h"
#include "core/AppTexts.h"
#include "core/FileChooser.h"
#include "core/MessageBox.h"
#include "data/AccountantTable.h"
#include "data/LocalDatabase.h"
#include "data/TaxpayerTable.h"
#include "gui/BusyWindow.h"
#include "gui/CertificateSelection.h"
#include "gui/DatabaseErrorBox.h"
#include "gui/DialogKeys.h"
#include "gui/ReadOnlyGrid.h"
#include "net/KeyRequest.h"
#include "transmission/Services.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace fiscora {

namespace {

const QString kCrLf = QStringLiteral("\r\n");
// Stored companies named one by one in the summary; the rest are counted.
constexpr int kNamedInSummary = 15;
// The grid's columns, in twips.
constexpr int kWidths[] = {1500, 1800, 1200, 5000};

QString companyLines(const ExportCompany& company) {
    return company.name + QLatin1Char(' ') + kCrLf + QStringLiteral("Inscrição Estadual: ") + company.ie;
}

} // namespace

ImportarEmpresas::ImportarEmpresas(const Services& services, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_services(services)
    , m_Frame1(new QGroupBox(QStringLiteral("Importar"), this))
    , m_Text1(new QLineEdit(QStringLiteral("Selecione o arquivo a importar"), m_Frame1))
    , m_Command2(new QPushButton(QStringLiteral("Selecionar Arquivo"), m_Frame1))
    , m_Command3(new QPushButton(QStringLiteral("Carregar Dados"), m_Frame1))
    , m_MSFlexGrid1(new QTableWidget(m_Frame1))
    , m_Command1(new QPushButton(QStringLiteral("Impo&rtar"), m_Frame1))
    , m_Label1(new QLabel(QStringLiteral("Atenção, a importação não será concluída, existe inconsistência "
                                         "nos cadastros."),
                          m_Frame1))
    , m_Label2(
          new QLabel(QStringLiteral("Para prosseguir, corrija as informações e tente novamente."), m_Frame1))
    , m_lblProgresso(new QLabel(m_Frame1))
    , m_cmdParar(new QPushButton(QStringLiteral("&Parar após a empresa atual"), m_Frame1)) {
    setObjectName(QStringLiteral("ImportarEmpresas"));
    setWindowTitle(QStringLiteral("Cadastro de Empresas - Através do Arquivo NovaGIA - Importação"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_Frame1->setObjectName(QStringLiteral("Frame1"));
    m_Text1->setObjectName(QStringLiteral("Text1"));
    m_Command2->setObjectName(QStringLiteral("Command2"));
    m_Command3->setObjectName(QStringLiteral("Command3"));
    m_MSFlexGrid1->setObjectName(QStringLiteral("MSFlexGrid1"));
    m_Command1->setObjectName(QStringLiteral("Command1"));
    m_Label1->setObjectName(QStringLiteral("Label1"));
    m_Label2->setObjectName(QStringLiteral("Label2"));
    m_lblProgresso->setObjectName(QStringLiteral("lblProgresso"));
    m_cmdParar->setObjectName(QStringLiteral("cmdParar"));

    // The path comes from the dialog only.
    m_Text1->setReadOnly(true);
    m_Label1->setWordWrap(true);
    m_Label2->setWordWrap(true);

    QTableWidget* grid = m_MSFlexGrid1;
    setUpReadOnlyGrid(grid, {QStringLiteral("IE"), QStringLiteral("CNPJ"), QStringLiteral("CNAE"),
                             QStringLiteral("Razão Social")});
    for (int column = 0; column < 4; ++column)
        grid->setColumnWidth(column, kWidths[column] / 15);
    grid->horizontalHeader()->setStretchLastSection(true);

    auto* file = new QHBoxLayout;
    file->addWidget(m_Text1, 1);
    file->addWidget(m_Command2);
    file->addWidget(m_Command3);
    auto* progress = new QHBoxLayout;
    progress->addWidget(m_lblProgresso, 1);
    progress->addWidget(m_cmdParar);
    auto* actions = new QHBoxLayout;
    auto* labels = new QVBoxLayout;
    labels->addWidget(m_Label1);
    labels->addWidget(m_Label2);
    actions->addLayout(labels, 1);
    actions->addWidget(m_Command1, 0, Qt::AlignTop);
    auto* inside = new QVBoxLayout(m_Frame1);
    inside->addLayout(file);
    inside->addWidget(grid, 1);
    inside->addLayout(progress);
    inside->addLayout(actions);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_Frame1);

    m_Command3->hide();
    hideLoad();
    m_lblProgresso->hide();
    m_cmdParar->hide();
    // The grid's columns, its frame and the group's margins.
    resize(780, 440);

    // No cancel button: Escape closes the window, as its title-bar button does.
    setDialogKeys(this, m_Command1, nullptr);
    // The stop button's row lies above Importar.
    setTabOrder(m_MSFlexGrid1, m_cmdParar);
    setTabOrder(m_cmdParar, m_Command1);
    connect(m_Command2, &QPushButton::clicked, this, &ImportarEmpresas::Command2_Click);
    connect(m_Command3, &QPushButton::clicked, this, &ImportarEmpresas::Command3_Click);
    connect(m_Command1, &QPushButton::clicked, this, &ImportarEmpresas::Command1_Click);
    connect(m_cmdParar, &QPushButton::clicked, this, &ImportarEmpresas::requestStop);
}

ImportarEmpresas::~ImportarEmpresas() = default;

void ImportarEmpresas::Command2_Click() {
    const QString path = m_services.seams.files.openFile(
        this, QStringLiteral("Escolha o arquivo"), QString(),
        QStringLiteral("Arquivos exportados do NovaGIA (*.mdb)"), QStringLiteral("mdb"));
    if (path.isEmpty())
        return;
    m_path = path;
    m_Text1->setText(path);
    m_Command3->show();
    // What is on show belongs to the previous file: a new file is loaded before it is imported.
    hideLoad();
}

void ImportarEmpresas::Command3_Click() {
    readExport([this](const CompanyExport& read) { showCompanies(read); });
}

void ImportarEmpresas::readExport(std::function<void(const CompanyExport&)> then) {
    CompanyExport::read(
        m_services.reader, m_path, this,
        [this, then = std::move(then), busy = BusyWindow::hold(this)](const CompanyExport& read) mutable {
            // Usable again for what follows: a box, the certificate, the import.
            busy.reset();
            if (read.outcome != CompanyExport::Outcome::Ok) {
                hideLoad();
                m_services.seams.messages.show(AppTexts::productTitle, read.message());
                return;
            }
            then(read);
        });
}

void ImportarEmpresas::hideLoad() {
    m_MSFlexGrid1->hide();
    m_Command1->hide();
    m_Label1->hide();
    m_Label2->hide();
}

void ImportarEmpresas::showCompanies(const CompanyExport& read) {
    QTableWidget* grid = m_MSFlexGrid1;
    grid->clearContents();
    grid->setRowCount(static_cast<int>(read.companies.size()));
    for (int row = 0; row < read.companies.size(); ++row) {
        const ExportCompany& company = read.companies.at(row);
        const QString cells[] = {company.ie, company.cnpj, company.cnae, company.name + QLatin1Char(' ')};
        for (int column = 0; column < 4; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            if (column < 3)
                item->setTextAlignment(Qt::AlignCenter);
            if (!company.consistent())
                item->setBackground(QColor(255, 0, 0));
            grid->setItem(row, column, item);
        }
    }
    // The original widths, widened where this platform's font needs more.
    for (int column = 0; column < 3; ++column) {
        grid->resizeColumnToContents(column);
        grid->setColumnWidth(column, qMax(kWidths[column] / 15, grid->columnWidth(column) + 8));
    }
    grid->show();
    const bool consistent = read.consistent();
    m_Command1->setVisible(consistent);
    m_Label1->setVisible(!consistent);
    m_Label2->setVisible(!consistent);
}

void ImportarEmpresas::Command1_Click() {
    if (m_importing)
        return;
    // The file is read afresh: it may have changed since it was loaded.
    readExport([this](const CompanyExport& read) { startImport(read); });
}

void ImportarEmpresas::startImport(const CompanyExport& read) {
    if (!read.consistent()) {
        // Changed since the load: show what it holds now, and import nothing.
        showCompanies(read);
        return;
    }

    const Result<std::optional<Accountant>> stored = DadosContador(m_services.seams.folder);
    if (!stored) {
        showDatabaseError(m_services.seams.messages, stored.error());
        return;
    }
    const Accountant contador = stored->value_or(Accountant{});
    // One certificate serves every company of the export, so it must be the accountant's: his
    // document is the only one it is compared with.
    const CertificateSelection::KeyDocuments documents{true, contador.document(), contador.document(),
                                                       UserPreferences::CertificateUse::Import};
    const QPointer<ImportarEmpresas> self(this);
    const CertificateSelection::Outcome choice =
        CertificateSelection::keyVariant(m_services.seams.messages, m_services.certificates, this, documents,
                                         &m_certificado, PersonalCertificateSource(m_services.tokens));
    if (!self || choice != CertificateSelection::Outcome::Accepted)
        return;

    m_companies = read.companies;
    m_next = 0;
    m_stored.clear();
    m_stopRequested = false;
    m_closeWhenDone = false;
    setImporting(true);
    importNext();
}

void ImportarEmpresas::importNext() {
    // A stop asked for during the last company comes too late to interrupt anything.
    if (m_next >= m_companies.size()) {
        finish(End::Completed);
        return;
    }
    if (m_stopRequested) {
        finish(End::Stopped);
        return;
    }
    const ExportCompany company = m_companies.at(m_next);
    const int current = static_cast<int>(m_next) + 1;
    const int total = static_cast<int>(m_companies.size());
    m_lblProgresso->setText(QStringLiteral("Importando: empresa %1 de %2").arg(current).arg(total));
    const QPointer<ImportarEmpresas> self(this);
    Q_EMIT importProgress(current, total);
    if (!self)
        return;

    // The window stays until the import ends (closeEvent); its commands wait meanwhile, "Parar"
    // excepted.
    KeyRequest::request(m_services.http, company.ie, company.cnpj, this,
                        [this, company](KeyAnswer answer) { storeCompany(company, answer); });
}

void ImportarEmpresas::storeCompany(const ExportCompany& company, const KeyAnswer& answer) {
    // A box may be answered after the window went.
    const QPointer<ImportarEmpresas> self(this);
    switch (answer.status) {
    case KeyAnswer::Status::Failed:
        m_failed = company;
        finish(End::ServerFailed);
        return;
    case KeyAnswer::Status::Refused:
        m_services.seams.messages.show(
            AppTexts::productTitle,
            QStringLiteral("Não é possível cadastrar a empresa: ") + kCrLf + kCrLf + companyLines(company) +
                kCrLf + kCrLf + QStringLiteral("Empresa não está cadastrada nos servidores da Prefeitura.") +
                kCrLf +
                QStringLiteral("Se a empresa pertencer ao Muncípio, por favor, nos informe "
                               "imediatamente."),
            MessageIcon::Critical);
        break;
    case KeyAnswer::Status::Granted: {
        if (!CertificateChecks::withinValidity(*m_certificado, answer.serverDate)) {
            m_services.seams.messages.show(AppTexts::programTitle, CertificateTexts::expired);
            finish(End::Expired);
            return;
        }
        const Result<bool> inserted = importTaxpayer(m_services.seams.folder, company.taxpayer(answer.chave));
        if (!inserted) {
            showDatabaseError(m_services.seams.messages, inserted.error());
            finish(End::DatabaseFailed);
            return;
        }
        if (*inserted) {
            m_stored.append(company);
        } else {
            m_services.seams.messages.show(
                AppTexts::productTitle,
                QStringLiteral("Empresa já cadastrada anteriormente: ") + kCrLf + kCrLf +
                    companyLines(company) + kCrLf + kCrLf +
                    QStringLiteral("A empresa não será cadastrada, para não gerar duplicidade"),
                MessageIcon::Critical);
        }
        break;
    }
    }
    if (!self)
        return;
    ++m_next;
    importNext();
}

QString ImportarEmpresas::storedSummary() const {
    if (m_stored.isEmpty())
        return QStringLiteral("Nenhuma empresa foi cadastrada nesta importação.");
    QString text = QStringLiteral("Empresas cadastradas nesta importação (%1):").arg(m_stored.size());
    for (qsizetype i = 0; i < m_stored.size() && i < kNamedInSummary; ++i)
        text += kCrLf + m_stored.at(i).ie + QStringLiteral(" - ") + m_stored.at(i).name;
    if (m_stored.size() > kNamedInSummary)
        text += kCrLf + QStringLiteral("e mais %1.").arg(m_stored.size() - kNamedInSummary);
    return text;
}

void ImportarEmpresas::finish(End end) {
    setImporting(false);
    // The company that failed is not stored either.
    const qsizetype left = m_companies.size() - m_next;
    m_companies.clear();
    if (end == End::Completed) {
        m_services.seams.messages.show(AppTexts::productTitle, QStringLiteral("Importação Concluída"),
                                       MessageIcon::Information);
        Q_EMIT importFinished();
        close();
        return;
    }
    QString reason;
    MessageIcon icon = MessageIcon::Warning;
    switch (end) {
    case End::Completed:
        break;
    case End::Stopped:
        reason = QStringLiteral("A importação foi interrompida a pedido do usuário.");
        icon = MessageIcon::Information;
        break;
    case End::ServerFailed:
        reason = QStringLiteral("Não foi possível obter do servidor da Prefeitura a chave da empresa:") +
                 kCrLf + kCrLf + companyLines(m_failed) + kCrLf + kCrLf +
                 QStringLiteral("Verifique a conexão e tente novamente. A importação foi interrompida.");
        icon = MessageIcon::Critical;
        break;
    case End::Expired:
    case End::DatabaseFailed:
        reason = QStringLiteral("A importação foi interrompida.");
        break;
    }
    QString text = reason + kCrLf + kCrLf + storedSummary();
    if (left > 0)
        text += kCrLf + kCrLf + QStringLiteral("Empresas do arquivo não processadas: %1.").arg(left);
    m_services.seams.messages.show(AppTexts::productTitle, text, icon);
    Q_EMIT importFinished();
    if (m_closeWhenDone)
        close();
}

void ImportarEmpresas::setImporting(bool importing) {
    m_importing = importing;
    m_Command1->setEnabled(!importing);
    m_Command2->setEnabled(!importing);
    m_Command3->setEnabled(!importing);
    m_lblProgresso->setVisible(importing);
    m_cmdParar->setVisible(importing);
    m_cmdParar->setEnabled(importing);
}

void ImportarEmpresas::requestStop() {
    if (!m_importing)
        return;
    m_stopRequested = true;
    m_cmdParar->setEnabled(false);
    m_lblProgresso->setText(m_lblProgresso->text() + QStringLiteral(" (parando após esta empresa)"));
}

void ImportarEmpresas::closeEvent(QCloseEvent* event) {
    if (m_importing) {
        // Closing stops after the current company; the window goes once the user has been told
        // what was stored.
        requestStop();
        m_closeWhenDone = true;
        event->ignore();
        return;
    }
    event->accept();
}

} // namespace fiscora
