#include "gui/CertificateDialog.h"

#include "certificates/CertificateSource.h"
#include "core/AppTexts.h"
#include "core/FileChooser.h"
#include "core/MessageBox.h"
#include "gui/CertificateListModel.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

#include <utility>

namespace fiscora {

CertificateDialog::CertificateDialog(const CertificateSource& source, const Seams& seams, QWidget* parent)
    : QDialog(parent)
    , m_source(source)
    , m_seams(seams)
    , m_model(new CertificateListModel(seams.clock, this))
    , m_proxy(new QSortFilterProxyModel(this)) {
    setObjectName(QStringLiteral("frmCertificado"));
    setModal(true);

    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("lblTexto"));
    m_text->setWordWrap(true);

    auto* searchLabel = new QLabel(QStringLiteral("&Pesquisar:"), this);
    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("txtPesquisa"));
    m_search->setPlaceholderText(QStringLiteral("Titular, documento ou emissor"));
    m_search->setClearButtonEnabled(true);
    searchLabel->setBuddy(m_search);

    m_proxy->setSourceModel(m_model);
    m_proxy->setFilterKeyColumn(-1);
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_proxy->setSortRole(CertificateListModel::SortRole);

    m_grid = new QTableView(this);
    m_grid->setObjectName(QStringLiteral("gridCertificados"));
    m_grid->setModel(m_proxy);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setAlternatingRowColors(true);
    m_grid->setSortingEnabled(true);
    m_grid->setWordWrap(false);
    m_grid->verticalHeader()->hide();
    m_grid->horizontalHeader()->setHighlightSections(false);
    m_grid->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_grid->horizontalHeader()->setSectionResizeMode(CertificateListModel::Titular, QHeaderView::Stretch);
    m_grid->sortByColumn(CertificateListModel::Titular, Qt::AscendingOrder);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lblSituacao"));
    m_status->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(this);
    m_import = new QPushButton(QStringLiteral("&Importar…"), this);
    m_import->setObjectName(QStringLiteral("cmdImportar"));
    m_import->setVisible(source.canImport());
    m_import->setAutoDefault(false);
    m_remove = new QPushButton(QStringLiteral("&Remover"), this);
    m_remove->setObjectName(QStringLiteral("cmdRemover"));
    m_remove->setVisible(source.canRemove());
    m_remove->setAutoDefault(false);
    // Reads the source again: a token plugged in or taken out while the window is open.
    m_refresh = new QPushButton(QStringLiteral("A&tualizar"), this);
    m_refresh->setObjectName(QStringLiteral("cmdAtualizar"));
    m_refresh->setAutoDefault(false);
    m_ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    m_ok->setObjectName(QStringLiteral("cmdOK"));
    m_ok->setDefault(true);
    m_cancel = buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole);
    m_cancel->setObjectName(QStringLiteral("cmdCancelar"));

    auto* search = new QHBoxLayout;
    search->addWidget(searchLabel);
    search->addWidget(m_search, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addLayout(search);
    layout->addWidget(m_grid, 1);
    layout->addWidget(m_status);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_import);
    bottom->addWidget(m_remove);
    bottom->addWidget(m_refresh);
    bottom->addStretch(1);
    bottom->addWidget(buttons);
    layout->addLayout(bottom);

    connect(m_search, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_proxy->setFilterFixedString(text);
        // The one certificate found is the one meant: Return takes it.
        if (m_proxy->rowCount() == 1)
            m_grid->selectRow(0);
        updateButtons();
    });
    m_search->installEventFilter(this);
    connect(m_grid->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CertificateDialog::updateButtons);
    connect(m_grid, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            accept();
    });
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (!selectedCertificate().isNull())
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_import, &QPushButton::clicked, this, &CertificateDialog::importFromFile);
    connect(m_remove, &QPushButton::clicked, this, &CertificateDialog::removeSelected);
    connect(m_refresh, &QPushButton::clicked, this, [this] {
        m_source.refresh();
        reload(selectedCertificate());
    });

    resize(940, 420);
    reload();
}

CertificateDialog::~CertificateDialog() = default;

void CertificateDialog::setText(const QString& text) {
    m_text->setText(text);
}

void CertificateDialog::preselect(const QString& fingerprint) {
    m_preferred = fingerprint;
    if (fingerprint.isEmpty())
        return;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        if (m_model->certificate(row).fingerprint() == fingerprint) {
            selectCertificate(m_model->certificate(row));
            return;
        }
    }
}

bool CertificateDialog::eventFilter(QObject* watched, QEvent* event) {
    // Down leaves the search field for the list, on the selected row or the first.
    if (watched == m_search && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Down && m_proxy->rowCount() > 0) {
        if (!m_grid->selectionModel()->hasSelection())
            m_grid->selectRow(0);
        m_grid->setFocus(Qt::TabFocusReason);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

Certificate CertificateDialog::selectedCertificate() const {
    const QModelIndexList rows = m_grid->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return {};
    return m_model->certificate(m_proxy->mapToSource(rows.first()).row());
}

void CertificateDialog::reload(const Certificate& select) {
    const Result<CertificateSource::Listing> listed = m_source.listWithProblems();
    // The tokens take a moment: what is at hand can be chosen meanwhile.
    const bool reading = !m_source.isRead();
    QStringList lines;
    if (!listed) {
        m_model->setCertificates({});
        lines.append(listed.error().description);
    } else {
        // What could not be read is told; the rest can be chosen.
        const QList<Certificate>& certificates = listed->certificates;
        lines = listed->problems;
        m_model->setCertificates(certificates);
        if (certificates.isEmpty() && !reading)
            lines.prepend(
                m_source.canImport()
                    ? QStringLiteral("Nenhum certificado encontrado. Use \"Importar…\" para "
                                     "adicionar um certificado (.pfx, .p12, .cer, .crt, .pem, .der).")
                    : QStringLiteral("Nenhum certificado encontrado."));
    }
    if (reading)
        lines.append(QStringLiteral("Lendo tokens…"));
    m_status->setText(lines.join(QLatin1Char('\n')));
    m_status->setVisible(!m_status->text().isEmpty());
    if (!select.isNull())
        selectCertificate(select);
    updateButtons();
    if (reading) {
        m_awaited = select.isNull() ? m_awaited : select;
        if (!m_reading) {
            m_reading = true;
            m_source.read(this, [this] { tokensRead(); });
        }
    }
}

void CertificateDialog::tokensRead() {
    m_reading = false;
    // The row the user picked meanwhile stays; else the one asked for before the reading.
    const Certificate picked = selectedCertificate();
    const Certificate awaited = std::exchange(m_awaited, {});
    reload(picked.isNull() ? awaited : picked);
    // A search the user typed is not cleared to show the last used certificate.
    if (selectedCertificate().isNull() && m_search->text().isEmpty())
        preselect(m_preferred);
}

void CertificateDialog::selectCertificate(const Certificate& certificate) {
    const int row = m_model->rowOf(certificate);
    if (row < 0)
        return;
    if (!m_proxy->mapFromSource(m_model->index(row, 0)).isValid())
        m_search->clear(); // the search hides it
    const QModelIndex index = m_proxy->mapFromSource(m_model->index(row, 0));
    m_grid->selectRow(index.row());
    m_grid->scrollTo(index);
}

void CertificateDialog::updateButtons() {
    m_ok->setEnabled(m_grid->selectionModel()->hasSelection());
    m_remove->setEnabled(m_grid->selectionModel()->hasSelection());
}

void CertificateDialog::removeSelected() {
    const Certificate chosen = selectedCertificate();
    if (chosen.isNull())
        return;
    MessageRequest question;
    question.title = AppTexts::productTitle;
    question.text = QStringLiteral("Remover do repositório o certificado de %1 (%2, válido até %3)?\n\n"
                                   "Para usá-lo de novo será preciso importá-lo outra vez.")
                        .arg(chosen.subjectName(), chosen.formattedDocument(),
                             chosen.validTo().toLocalTime().toString(QStringLiteral("dd/MM/yyyy")));
    question.icon = MessageIcon::Question;
    question.buttons = MessageButtons::YesNo;
    question.defaultAnswer = MessageAnswer::No;
    if (m_seams.messages.show(question) != MessageAnswer::Yes)
        return;
    if (const Status removed = m_source.remove(chosen); !removed) {
        m_seams.messages.show(AppTexts::productTitle, removed.error().description, MessageIcon::Critical);
        reload(chosen);
        return;
    }
    reload();
    m_status->setText(QStringLiteral("Certificado de %1 removido.").arg(chosen.subjectName()));
    m_status->setVisible(true);
}

void CertificateDialog::importFromFile() {
    const QString path =
        m_seams.files.openFile(this, QStringLiteral("Importar certificado"), QString(),
                               QStringLiteral("Certificados (*.pfx *.p12 *.cer *.crt *.pem *.der);;"
                                              "Todos os arquivos (*)"));
    if (path.isEmpty())
        return;
    QString password;
    if (m_source.needsPassword(path)) {
        QInputDialog ask(this);
        ask.setWindowTitle(QStringLiteral("Senha do certificado"));
        ask.setLabelText(QStringLiteral("Senha do arquivo %1:").arg(QFileInfo(path).fileName()));
        ask.setTextEchoMode(QLineEdit::Password);
        // Room for the whole title beside the title bar's buttons, whatever the label's length.
        ask.resize(qMax(360, ask.fontMetrics().horizontalAdvance(ask.windowTitle()) * 2 + 160), 1);
        if (ask.exec() != QDialog::Accepted)
            return;
        password = ask.textValue();
    }
    const ImportResult result = m_source.importFile(path, password);
    password.fill(QLatin1Char('\0'));
    if (!result.ok()) {
        m_seams.messages.show(AppTexts::productTitle, result.message, MessageIcon::Critical);
        return;
    }
    reload(result.certificate);
    m_status->setText(result.message);
    m_status->setVisible(true);
}

} // namespace fiscora
