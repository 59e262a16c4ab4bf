#include "gui/frmSituacaoMes.h"

#include "certificates/CertificateExpiry.h"
#include "certificates/CertificateStore.h"
#include "core/AppTexts.h"
#include "core/FileChooser.h"
#include "core/MessageBox.h"
#include "core/SearchText.h"
#include "core/UserPreferences.h"
#include "data/TaxpayerTable.h"
#include "gui/CsvExport.h"
#include "gui/DatabaseErrorBox.h"
#include "gui/ReadOnlyGrid.h"
#include "gui/ReceiptFiles.h"
#include "transmission/ReceiptKeeper.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QVBoxLayout>

namespace fiscora {

namespace {

enum Column { ColIe, ColName, ColRegime, ColState, ColProtocol, ColDate, ColDetail };

bool validReference(const QString& text) {
    static const QRegularExpression shape(QStringLiteral("^(0[1-9]|1[0-2])/\\d{4}$"));
    return shape.match(text).hasMatch();
}

bool pending(const MonthRow& row) {
    return row.state != MonthState::Delivered;
}

} // namespace

frmSituacaoMes::frmSituacaoMes(const Services& services, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_txtReferencia(new QLineEdit(this))
    , m_chkPendentes(new QCheckBox(QStringLiteral("Só &pendentes"), this))
    , m_cboRegime(new QComboBox(this))
    , m_txtPesquisa(new QLineEdit(this))
    , m_GridMes(new QTableWidget(this))
    , m_lblTotais(new QLabel(this))
    , m_lblCertificados(new QLabel(this))
    , m_cmdAtualizar(new QPushButton(QStringLiteral("&Atualizar"), this))
    , m_cmdRecibo(new QPushButton(QStringLiteral("Abrir rec&ibo"), this))
    , m_cmdExportar(new QPushButton(QStringLiteral("&Exportar CSV"), this))
    , m_cmdLote(new QPushButton(QStringLiteral("Enviar GIAs pendentes em &lote"), this))
    , m_cmdFechar(new QPushButton(QStringLiteral("&Fechar"), this))
    , m_journal(*services.journal)
    , m_situation(services.http, *services.journal)
    , m_seams(services.seams) {
    setObjectName(QStringLiteral("frmSituacaoMes"));
    setWindowTitle(QStringLiteral("Situação do mês - ") + AppTexts::municipality);
    // Closing hides it: the main window shows it again with the lists it had, "Atualizar" asks anew.
    m_txtReferencia->setObjectName(QStringLiteral("txtReferencia"));
    m_chkPendentes->setObjectName(QStringLiteral("chkPendentes"));
    m_cboRegime->setObjectName(QStringLiteral("cboRegime"));
    m_txtPesquisa->setObjectName(QStringLiteral("txtPesquisa"));
    m_GridMes->setObjectName(QStringLiteral("GridMes"));
    m_lblTotais->setObjectName(QStringLiteral("lblTotais"));
    m_cmdAtualizar->setObjectName(QStringLiteral("cmdAtualizar"));
    m_lblCertificados->setObjectName(QStringLiteral("lblCertificados"));
    m_cmdRecibo->setObjectName(QStringLiteral("cmdRecibo"));
    m_cmdExportar->setObjectName(QStringLiteral("cmdExportar"));
    m_cmdLote->setObjectName(QStringLiteral("cmdLote"));
    m_cmdFechar->setObjectName(QStringLiteral("cmdFechar"));

    m_txtReferencia->setInputMask(QStringLiteral("99/9999"));
    m_txtReferencia->setText(previousReference(services.seams.clock.now().date()));
    m_cboRegime->addItems({QStringLiteral("Todos"), QStringLiteral("GIA"), QStringLiteral("PGDAS")});
    m_txtPesquisa->setPlaceholderText(QStringLiteral("Nome, IE ou CNPJ"));
    m_txtPesquisa->setClearButtonEnabled(true);
    setUpReadOnlyGrid(m_GridMes,
                      {QStringLiteral("IE"), QStringLiteral("Razão social"), QStringLiteral("Regime"),
                       QStringLiteral("Situação"), QStringLiteral("Protocolo"), QStringLiteral("Data"),
                       QStringLiteral("Detalhe")});
    m_GridMes->horizontalHeader()->setStretchLastSection(true);

    auto* filters = new QHBoxLayout;
    auto* referencia = new QLabel(QStringLiteral("&Referência:"), this);
    referencia->setBuddy(m_txtReferencia);
    auto* regime = new QLabel(QStringLiteral("Re&gime:"), this);
    regime->setBuddy(m_cboRegime);
    auto* pesquisa = new QLabel(QStringLiteral("Pes&quisar:"), this);
    pesquisa->setBuddy(m_txtPesquisa);
    filters->addWidget(referencia);
    filters->addWidget(m_txtReferencia);
    filters->addWidget(regime);
    filters->addWidget(m_cboRegime);
    filters->addWidget(m_chkPendentes);
    filters->addWidget(pesquisa);
    filters->addWidget(m_txtPesquisa, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_lblTotais, 1);
    buttons->addWidget(m_cmdAtualizar);
    buttons->addWidget(m_cmdRecibo);
    buttons->addWidget(m_cmdExportar);
    buttons->addWidget(m_cmdLote);
    buttons->addWidget(m_cmdFechar);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(m_lblCertificados);
    layout->addWidget(m_GridMes, 1);
    layout->addLayout(buttons);
    resize(900, 520);

    connect(m_txtReferencia, &QLineEdit::editingFinished, this, &frmSituacaoMes::load);
    connect(m_chkPendentes, &QCheckBox::toggled, this, &frmSituacaoMes::fillGrid);
    connect(m_cboRegime, &QComboBox::currentIndexChanged, this, &frmSituacaoMes::fillGrid);
    connect(m_txtPesquisa, &QLineEdit::textChanged, this, &frmSituacaoMes::fillGrid);
    connect(m_cmdAtualizar, &QPushButton::clicked, this, [this] {
        m_situation.refresh();
        fillGrid();
    });
    connect(m_cmdRecibo, &QPushButton::clicked, this, &frmSituacaoMes::openReceipt);
    connect(m_cmdExportar, &QPushButton::clicked, this, &frmSituacaoMes::exportCsv);
    connect(m_cmdLote, &QPushButton::clicked, this, &frmSituacaoMes::sendPending);
    connect(m_cmdFechar, &QPushButton::clicked, this, &QWidget::close);
    connect(&m_situation, &MonthSituation::rowChanged, this, &frmSituacaoMes::fillGrid);
    connect(&m_situation, &MonthSituation::finished, this, &frmSituacaoMes::fillGrid);
    const QStringList expiring = CertificateExpiry::noticesDue(
        CertificateExpiry::lastAccepted(CertificateStore()), m_seams.clock.now().date());
    m_lblCertificados->setText(expiring.join(QLatin1Char(' ')));
    m_lblCertificados->setWordWrap(true);
    m_lblCertificados->setVisible(!expiring.isEmpty());
    load();
}

void frmSituacaoMes::openReceipt() {
    const int row = m_GridMes->currentRow();
    if (row < 0 || row >= m_shown.size())
        return;
    const MonthRow& chosen = m_situation.rows().at(m_shown.at(row));
    openReceiptFiles(m_seams, keptReceiptFiles(m_journal, chosen.taxpayer.IE,
                                               chosen.protocol.split(QLatin1Char(','), Qt::SkipEmptyParts)));
}

void frmSituacaoMes::load() {
    const QString reference = m_txtReferencia->displayText();
    if (!validReference(reference)) {
        m_seams.messages.show(AppTexts::productTitle,
                              QStringLiteral("Informe a referência como mês/ano (MM/AAAA)."),
                              MessageIcon::Warning);
        return;
    }
    const Result<QList<Taxpayer>> taxpayers = listTaxpayers(m_seams.folder);
    if (!taxpayers) {
        showDatabaseError(m_seams.messages, taxpayers.error());
        return;
    }
    m_situation.show(*taxpayers, reference, UserPreferences::uploadsAtOnce());
    fillGrid();
}

void frmSituacaoMes::fillGrid() {
    const QList<MonthRow>& rows = m_situation.rows();
    const int regime = m_cboRegime->currentIndex(); // 0 all, 1 GIA, 2 PGDAS
    m_shown.clear();
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const MonthRow& row = rows.at(i);
        if ((m_chkPendentes->isChecked() && !pending(row)) || (regime == 1 && row.pgdas()) ||
            (regime == 2 && !row.pgdas()) ||
            !matchesSearch(m_txtPesquisa->text(),
                           {row.taxpayer.RazaoSocial, row.taxpayer.IE, row.taxpayer.Cnpj}))
            continue;
        m_shown.append(int(i));
    }
    m_GridMes->setRowCount(int(m_shown.size()));
    for (int r = 0; r < m_shown.size(); ++r) {
        const MonthRow& row = rows.at(m_shown.at(r));
        const QStringList cells{row.taxpayer.IE, row.taxpayer.RazaoSocial,
                                regimeText(row), monthStateText(row.state),
                                row.protocol,    row.date,
                                row.detail};
        for (int c = 0; c < cells.size(); ++c) {
            QTableWidgetItem* item = m_GridMes->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                m_GridMes->setItem(r, c, item);
            }
            item->setText(cells.at(c));
        }
    }
    // Widths follow the text once every list is in, not at each row that comes.
    if (!m_situation.asking())
        m_GridMes->resizeColumnsToContents();
    const QString totals = monthTotalsText(rows);
    m_lblTotais->setText(m_situation.asking() ? totals + QStringLiteral(" · consultando o servidor…")
                                              : totals);
    m_cmdExportar->setEnabled(!m_shown.isEmpty());
    m_cmdLote->setEnabled(std::any_of(m_shown.cbegin(), m_shown.cend(),
                                      [&rows](int i) { return !rows.at(i).pgdas() && pending(rows.at(i)); }));
}

void frmSituacaoMes::exportCsv() {
    const QString reference = m_txtReferencia->displayText();
    QList<MonthRow> shown;
    for (const int i : m_shown)
        shown.append(m_situation.rows().at(i));
    exportCsvFile(
        m_seams, this, QStringLiteral("situacao-%1.csv").arg(QString(reference).replace(u'/', u'-')),
        [&](const QString& path) { return exportMonthCsv(shown, reference, path); },
        QStringLiteral("%1 contribuintes exportados para %2.")
            .arg(QString::number(shown.size()), QStringLiteral("%1")));
}

void frmSituacaoMes::sendPending() {
    QStringList ies;
    for (const int i : m_shown) {
        const MonthRow& row = m_situation.rows().at(i);
        if (!row.pgdas() && pending(row))
            ies.append(row.taxpayer.IE);
    }
    if (!ies.isEmpty())
        Q_EMIT batchRequested(ies);
}

} // namespace fiscora
