#include "gui/frmEnvios.h"

#include "core/AppTexts.h"
#include "core/FileChooser.h"
#include "core/MessageBox.h"
#include "core/SearchText.h"
#include "core/Session.h"
#include "data/JournalCsv.h"
#include "data/LocalDatabase.h"
#include "data/TaxpayerTable.h"
#include "gui/CsvExport.h"
#include "gui/DatabaseErrorBox.h"
#include "gui/DialogKeys.h"
#include "gui/ReadOnlyGrid.h"
#include "gui/ReceiptFiles.h"
#include "transmission/ReceiptKeeper.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

namespace fiscora {

namespace {

// Outcome filter entries besides the outcomes themselves.
constexpr int kAnyOutcome = -1;
constexpr int kUnconfirmed = -2;

const TransmissionOutcome kOutcomes[] = {TransmissionOutcome::Sending, TransmissionOutcome::Answered,
                                         TransmissionOutcome::Refused, TransmissionOutcome::Failed,
                                         TransmissionOutcome::Unknown};

// A filter's words as they go into a file name: "Enviando (sem conclusão)" -> "enviando-sem-conclusao".
QString fileNamePart(const QString& text) {
    QString out;
    for (const QChar c : text.normalized(QString::NormalizationForm_D).toLower()) {
        if (c.isLetterOrNumber() && c.unicode() < 0x80)
            out.append(c);
        else if (c.category() != QChar::Mark_NonSpacing && !out.isEmpty() && !out.endsWith(QLatin1Char('-')))
            out.append(QLatin1Char('-'));
    }
    while (out.endsWith(QLatin1Char('-')))
        out.chop(1);
    return out;
}

} // namespace

QString journalEntryDetails(const JournalEntry& e) {
    QStringList lines;
    const auto add = [&lines](const QString& name, const QString& value) {
        lines.append(name + QStringLiteral(": ") + (value.isEmpty() ? QStringLiteral("—") : value));
    };
    add(QStringLiteral("Data e hora"), journalDateText(e.localTime));
    add(QStringLiteral("Data do servidor"), journalDateText(e.serverDate));
    add(QStringLiteral("Contribuinte"), taxpayerLabel(e.ie, e.companyName));
    add(QStringLiteral("Chave"), e.chave);
    add(QStringLiteral("Tipo"), kindText(e.kind));
    if (e.kind == TransmissionKind::Gia) {
        QStringList gias;
        for (const JournalGia& gia : e.gias)
            gias.append(gia.number + QStringLiteral(" (") + gia.reference + QLatin1Char(')'));
        add(QStringLiteral("GIAs"), gias.join(QStringLiteral(", ")));
    }
    add(QStringLiteral("Arquivo"), e.fileName);
    add(QStringLiteral("Conteúdo enviado"),
        QStringLiteral("%1 bytes, SHA-256 %2").arg(e.contentSize).arg(e.contentSha256));
    add(QStringLiteral("Documento do contador"), e.accountantDocument);
    add(QStringLiteral("Certificado"),
        e.certificateSerial.isEmpty()
            ? e.certificateHolder
            : e.certificateHolder + QStringLiteral(", série ") + e.certificateSerial);
    add(QStringLiteral("Situação"), outcomeText(e.outcome));
    if (!e.detail.isEmpty())
        add(QStringLiteral("Detalhe"), e.detail);
    if (e.completedTime.isValid())
        add(QStringLiteral("Concluído em"), journalDateText(e.completedTime));
    if (!e.protocols.isEmpty())
        add(QStringLiteral("Protocolos"), protocolsText(e.protocols) + QStringLiteral(" (listados em ") +
                                              journalDateText(e.confirmedTime) + QLatin1Char(')'));
    if (e.unconfirmed())
        lines.append(
            QStringLiteral("Sem confirmação do servidor: não se sabe se este envio chegou ao servidor. "
                           "Confira a lista de transmissões do contribuinte antes de enviar de novo."));
    return lines.join(QLatin1Char('\n'));
}

frmEnvios::frmEnvios(Session& session, TransmissionJournal& journal, const Seams& seams, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_session(session)
    , m_journal(journal)
    , m_seams(seams)
    , m_cboContribuinte(new QComboBox(this))
    , m_cboSituacao(new QComboBox(this))
    , m_chkPeriodo(new QCheckBox(QStringLiteral("&Período de"), this))
    , m_dtpDe(new QDateEdit(this))
    , m_dtpAte(new QDateEdit(this))
    , m_chkReferencia(new QCheckBox(QStringLiteral("&Referência"), this))
    , m_dtpReferencia(new QDateEdit(this))
    , m_txtPesquisa(new QLineEdit(this))
    , m_splitter(new QSplitter(Qt::Vertical, this))
    , m_GridEnvios(new QTableWidget(this))
    , m_txtDetalhes(new QPlainTextEdit(this))
    , m_lblTotal(new QLabel(this))
    , m_cmdRecibo(new QPushButton(QStringLiteral("Abrir rec&ibo"), this))
    , m_cmdExportar(new QPushButton(QStringLiteral("&Exportar CSV"), this))
    , m_cmdFechar(new QPushButton(QStringLiteral("&Fechar"), this)) {
    setObjectName(QStringLiteral("frmEnvios"));
    setWindowTitle(QStringLiteral("Envios realizados - ") + AppTexts::municipality);
    setAttribute(Qt::WA_DeleteOnClose);

    m_cboContribuinte->setObjectName(QStringLiteral("cboContribuinte"));
    m_cboContribuinte->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_cboSituacao->setObjectName(QStringLiteral("cboSituacao"));
    m_cboSituacao->addItem(QStringLiteral("Todas"), kAnyOutcome);
    m_cboSituacao->addItem(QStringLiteral("Sem confirmação do servidor"), kUnconfirmed);
    for (TransmissionOutcome outcome : kOutcomes)
        m_cboSituacao->addItem(outcomeText(outcome), static_cast<int>(outcome));
    m_chkPeriodo->setObjectName(QStringLiteral("chkPeriodo"));
    const QDate today = QDate::currentDate();
    m_dtpDe->setObjectName(QStringLiteral("dtpDe"));
    m_dtpDe->setDate(QDate(today.year(), today.month(), 1).addMonths(-1));
    m_dtpAte->setObjectName(QStringLiteral("dtpAte"));
    m_dtpAte->setDate(today);
    for (QDateEdit* edit : {m_dtpDe, m_dtpAte}) {
        edit->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
        edit->setCalendarPopup(true);
        edit->setEnabled(false);
    }
    m_chkReferencia->setObjectName(QStringLiteral("chkReferencia"));
    m_dtpReferencia->setObjectName(QStringLiteral("dtpReferencia"));
    m_dtpReferencia->setDisplayFormat(QStringLiteral("MM/yyyy"));
    // Declarations are usually of the month before.
    m_dtpReferencia->setDate(QDate(today.year(), today.month(), 1).addMonths(-1));
    m_dtpReferencia->setEnabled(false);
    m_txtPesquisa->setObjectName(QStringLiteral("txtPesquisa"));
    m_txtPesquisa->setPlaceholderText(QStringLiteral("Razão social, IE, referência ou protocolo"));
    m_txtPesquisa->setClearButtonEnabled(true);

    m_GridEnvios->setObjectName(QStringLiteral("GridEnvios"));
    setUpReadOnlyGrid(m_GridEnvios,
                      {QStringLiteral("Data e hora"), QStringLiteral("Situação"),
                       QStringLiteral("Contribuinte"), QStringLiteral("Tipo"), QStringLiteral("Referências"),
                       QStringLiteral("Protocolos"), QStringLiteral("Arquivo")});
    m_GridEnvios->horizontalHeader()->setStretchLastSection(true);
    m_txtDetalhes->setObjectName(QStringLiteral("txtDetalhes"));
    m_txtDetalhes->setReadOnly(true);
    m_lblTotal->setObjectName(QStringLiteral("lblTotal"));
    m_cmdRecibo->setObjectName(QStringLiteral("cmdRecibo"));
    m_cmdRecibo->setEnabled(false);
    m_cmdExportar->setObjectName(QStringLiteral("cmdExportar"));
    m_cmdFechar->setObjectName(QStringLiteral("cmdFechar"));
    setDialogKeys(this, nullptr, m_cmdFechar);

    auto* taxpayerLabel = new QLabel(QStringLiteral("&Contribuinte"), this);
    taxpayerLabel->setBuddy(m_cboContribuinte);
    auto* outcomeLabel = new QLabel(QStringLiteral("&Situação"), this);
    outcomeLabel->setBuddy(m_cboSituacao);
    auto* filters = new QGridLayout;
    filters->addWidget(taxpayerLabel, 0, 0);
    filters->addWidget(m_cboContribuinte, 0, 1, 1, 4);
    filters->addWidget(outcomeLabel, 1, 0);
    filters->addWidget(m_cboSituacao, 1, 1);
    filters->addWidget(m_chkPeriodo, 1, 2);
    auto* period = new QHBoxLayout;
    period->addWidget(m_dtpDe);
    period->addWidget(new QLabel(QStringLiteral("até"), this));
    period->addWidget(m_dtpAte);
    filters->addLayout(period, 1, 3);
    auto* reference = new QHBoxLayout;
    reference->addWidget(m_chkReferencia);
    reference->addWidget(m_dtpReferencia);
    filters->addLayout(reference, 1, 4);
    auto* searchLabel = new QLabel(QStringLiteral("Pes&quisar"), this);
    searchLabel->setBuddy(m_txtPesquisa);
    filters->addWidget(searchLabel, 2, 0);
    filters->addWidget(m_txtPesquisa, 2, 1, 1, 4);
    filters->setColumnStretch(5, 1);

    // The rows get the room; the details, a few lines the user may widen.
    auto* details = new QWidget(m_splitter);
    auto* detailsLabel = new QLabel(QStringLiteral("&Detalhes do envio"), details);
    detailsLabel->setBuddy(m_txtDetalhes);
    auto* detailsLayout = new QVBoxLayout(details);
    detailsLayout->setContentsMargins(0, 0, 0, 0);
    detailsLayout->addWidget(detailsLabel);
    detailsLayout->addWidget(m_txtDetalhes);
    m_txtDetalhes->setMinimumHeight(m_txtDetalhes->fontMetrics().lineSpacing() * 3);
    m_splitter->setObjectName(QStringLiteral("splitter"));
    m_splitter->addWidget(m_GridEnvios);
    m_splitter->addWidget(details);
    m_splitter->setStretchFactor(0, 1);
    m_splitter->setStretchFactor(1, 0);
    m_splitter->setChildrenCollapsible(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_lblTotal);
    buttons->addStretch(1);
    buttons->addWidget(m_cmdRecibo);
    buttons->addWidget(m_cmdExportar);
    buttons->addWidget(m_cmdFechar);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(m_splitter, 1);
    layout->addLayout(buttons);
    const int detailsHeight = m_txtDetalhes->fontMetrics().lineSpacing() * 6;
    m_splitter->setSizes({8 * detailsHeight, detailsHeight});
    // Wide enough for the columns, as tall as the screen allows with a title bar and a panel.
    QSize size(1100, 760);
    if (const QScreen* screen = this->screen())
        size = size.boundedTo(screen->availableGeometry().size() - QSize(40, 72));
    resize(size);

    connect(m_cboContribuinte, &QComboBox::currentIndexChanged, this, &frmEnvios::reload);
    connect(m_cboSituacao, &QComboBox::currentIndexChanged, this, &frmEnvios::reload);
    connect(m_chkPeriodo, &QCheckBox::toggled, this, [this](bool on) {
        m_dtpDe->setEnabled(on);
        m_dtpAte->setEnabled(on);
        reload();
    });
    connect(m_dtpDe, &QDateEdit::dateChanged, this, &frmEnvios::reload);
    connect(m_dtpAte, &QDateEdit::dateChanged, this, &frmEnvios::reload);
    connect(m_chkReferencia, &QCheckBox::toggled, this, [this](bool on) {
        m_dtpReferencia->setEnabled(on);
        reload();
    });
    connect(m_dtpReferencia, &QDateEdit::dateChanged, this, &frmEnvios::reload);
    connect(m_txtPesquisa, &QLineEdit::textChanged, this, &frmEnvios::reload);
    connect(m_GridEnvios, &QTableWidget::itemSelectionChanged, this, &frmEnvios::showDetails);
    connect(m_cmdRecibo, &QPushButton::clicked, this, &frmEnvios::openReceipt);
    connect(m_cmdExportar, &QPushButton::clicked, this, &frmEnvios::exportCsv);
    connect(m_cmdFechar, &QPushButton::clicked, this, &QWidget::close);
}

void frmEnvios::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Opened again from the menu: the current taxpayer's rows, with what was sent meanwhile.
    if (!event->spontaneous()) {
        loadTaxpayers();
        reload();
    }
}

void frmEnvios::loadTaxpayers() {
    // The caller lists the rows once the choice is complete, not for each item added.
    const QSignalBlocker quiet(m_cboContribuinte);
    const QString wanted = m_session.IESel();
    m_cboContribuinte->clear();
    m_cboContribuinte->addItem(QStringLiteral("Todos os contribuintes"), QString());
    const Result<QList<JournalTaxpayer>> taxpayers = m_journal.journalTaxpayers();
    bool wantedListed = wanted.isEmpty();
    for (const JournalTaxpayer& t : taxpayers.valueOr({})) {
        m_cboContribuinte->addItem(taxpayerLabel(t.ie, t.companyName), t.ie);
        wantedListed = wantedListed || t.ie == wanted;
    }
    // The current taxpayer is offered even before its first upload.
    if (!wantedListed)
        m_cboContribuinte->addItem(taxpayerLabel(wanted, m_session.RSSel()), wanted);
    m_cboContribuinte->setCurrentIndex(std::max(0, m_cboContribuinte->findData(wanted)));
}

void frmEnvios::reload() {
    const qint64 selected = m_GridEnvios->currentRow() >= 0 && m_GridEnvios->currentRow() < m_shown.size()
                                ? m_shown.at(m_GridEnvios->currentRow()).id
                                : 0;
    JournalFilter filter;
    filter.ie = m_cboContribuinte->currentData().toString();
    if (m_chkPeriodo->isChecked()) {
        filter.from = m_dtpDe->date();
        filter.to = m_dtpAte->date();
    }
    const int outcome = m_cboSituacao->currentData().toInt();
    filter.unconfirmedOnly = outcome == kUnconfirmed;
    if (outcome >= 0)
        filter.outcome = static_cast<TransmissionOutcome>(outcome);

    const Result<QList<JournalEntry>> found = m_journal.findTransmissions(filter);
    if (!found)
        showDatabaseError(m_seams.messages, found.error());
    m_shown = found.valueOr({});
    const QString month = m_chkReferencia->isChecked()
                              ? m_dtpReferencia->date().toString(QStringLiteral("MM/yyyy"))
                              : QString();
    const QString query = m_txtPesquisa->text();
    m_shown.removeIf([&month, &query](const JournalEntry& e) {
        const QString references = e.references();
        if (!month.isEmpty() && !references.split(QStringLiteral(", ")).contains(month))
            return true;
        return !matchesSearch(query, {e.companyName, e.ie, references, protocolsText(e.protocols)});
    });

    const QSignalBlocker quiet(m_GridEnvios);
    m_GridEnvios->clearSelection();
    m_GridEnvios->setRowCount(static_cast<int>(m_shown.size()));
    int current = -1;
    for (int row = 0; row < m_shown.size(); ++row) {
        const JournalEntry& e = m_shown.at(row);
        const QString cells[ColumnCount] = {journalDateText(e.localTime),
                                            outcomeText(e.outcome),
                                            taxpayerLabel(e.ie, e.companyName),
                                            kindText(e.kind),
                                            e.references(),
                                            protocolsText(e.protocols),
                                            e.fileName};
        for (int column = 0; column < ColumnCount; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            if (e.unconfirmed())
                item->setForeground(QColor(0xb0, 0x00, 0x00));
            m_GridEnvios->setItem(row, column, item);
        }
        if (e.id == selected)
            current = row;
    }
    m_GridEnvios->resizeColumnsToContents();
    m_GridEnvios->setCurrentCell(current, current >= 0 ? 0 : -1);
    if (current >= 0)
        m_GridEnvios->selectRow(current);
    m_lblTotal->setText(m_shown.size() == 1 ? QStringLiteral("1 envio")
                                            : QStringLiteral("%1 envios").arg(m_shown.size()));
    m_cmdExportar->setEnabled(!m_shown.isEmpty());
    showDetails();
}

void frmEnvios::showDetails() {
    const int row = m_GridEnvios->currentRow();
    const bool chosen = row >= 0 && row < m_shown.size() && !m_GridEnvios->selectedItems().isEmpty();
    m_txtDetalhes->setPlainText(chosen ? journalEntryDetails(m_shown.at(row)) : QString());
    m_cmdRecibo->setEnabled(chosen);
}

void frmEnvios::openReceipt() {
    const int row = m_GridEnvios->currentRow();
    if (row < 0 || row >= m_shown.size())
        return;
    const JournalEntry& entry = m_shown.at(row);
    QStringList protocols;
    for (const ListedTransmission& pair : entry.protocols)
        protocols.append(pair.protocol);
    openReceiptFiles(m_seams, keptReceiptFiles(m_journal, entry.ie, protocols));
}

QString frmEnvios::proposedCsvName() const {
    QStringList parts{QStringLiteral("envios"),
                      m_journal.clock().now().date().toString(QStringLiteral("yyyy-MM-dd"))};
    const QString ie = m_cboContribuinte->currentData().toString();
    if (!ie.isEmpty())
        parts.append(fileNamePart(ie).remove(QLatin1Char('-')));
    const int outcome = m_cboSituacao->currentData().toInt();
    if (outcome == kUnconfirmed)
        parts.append(QStringLiteral("sem-confirmacao"));
    else if (outcome >= 0)
        parts.append(fileNamePart(outcomeText(static_cast<TransmissionOutcome>(outcome))));
    if (m_chkReferencia->isChecked())
        parts.append(QStringLiteral("ref-") + m_dtpReferencia->date().toString(QStringLiteral("yyyy-MM")));
    if (m_chkPeriodo->isChecked())
        parts.append(m_dtpDe->date().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral("-a-") +
                     m_dtpAte->date().toString(QStringLiteral("yyyy-MM-dd")));
    if (const QString words = fileNamePart(m_txtPesquisa->text()); !words.isEmpty())
        parts.append(words);
    return parts.join(QLatin1Char('-')) + QStringLiteral(".csv");
}

void frmEnvios::exportCsv() {
    exportCsvFile(
        m_seams, this, proposedCsvName(),
        [this](const QString& path) { return writeJournalCsv(path, m_shown); },
        m_shown.size() == 1 ? QStringLiteral("1 envio exportado para %1.")
                            : QStringLiteral("%1 envios exportados para %2.")
                                  .arg(QString::number(m_shown.size()), QStringLiteral("%1")));
}

} // namespace fiscora
