#include "gui/frmLote.h"

#include "certificates/PersonalCertificateSource.h"
#include "core/AppTexts.h"
#include "core/FileChooser.h"
#include "core/MessageBox.h"
#include "core/Session.h"
#include "core/UserPreferences.h"
#include "data/AccountantTable.h"
#include "gui/BusyWindow.h"
#include "gui/CertificateSelection.h"
#include "gui/DialogKeys.h"
#include "gui/ImportarEmpresas.h"
#include "gui/TransmissionAccountant.h"
#include "transmission/Services.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace fiscora {

namespace {

constexpr int kIndexRole = Qt::UserRole;
enum Column { ColName, ColReference, ColRegime, ColType, ColState, ColumnCount };

template <typename Widget> Widget* named(Widget* widget, const QString& name) {
    widget->setObjectName(name);
    return widget;
}

QString readinessText(const BatchItem& item) {
    switch (item.readiness) {
    case BatchItem::Readiness::KeyRefused:
        return QStringLiteral("Chave recusada pelo servidor");
    case BatchItem::Readiness::ListUnavailable:
        return QStringLiteral("Lista indisponível: ") + item.readinessDetail;
    case BatchItem::Readiness::NotAsked:
        return {};
    case BatchItem::Readiness::Ready:
        break;
    }
    if (item.kind == TransmissionKind::Pgdas)
        return item.tickedGias().isEmpty() ? QStringLiteral("Documento não marcado")
                                           : QStringLiteral("Documento marcado");
    return QStringLiteral("%1 de %2 GIA(s) marcada(s)").arg(item.tickedGias().size()).arg(item.gias.size());
}

QString resultText(const BatchItem& item) {
    QString text = batchResultText(item);
    if (const QString detail = batchResultDetail(item); !detail.isEmpty())
        text += (item.protocols.isEmpty() ? QStringLiteral(": ") : QStringLiteral(" — ")) + detail;
    if (!item.journalError.isEmpty())
        text += QStringLiteral(" — ") + journalNotWrittenText(item);
    return text;
}

} // namespace

frmLote::frmLote(Session& session, const Services& services, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_session(session)
    , m_services(services)
    , m_txtOrigem(named(new QLineEdit(this), QStringLiteral("txtOrigem")))
    , m_cmdArquivo(
          named(new QPushButton(QStringLiteral("Escolher &arquivo..."), this), QStringLiteral("cmdArquivo")))
    , m_cmdPasta(
          named(new QPushButton(QStringLiteral("Escolher &pasta..."), this), QStringLiteral("cmdPasta")))
    , m_cmdPgdas(
          named(new QPushButton(QStringLiteral("&Documentos PGDAS..."), this), QStringLiteral("cmdPgdas")))
    , m_GridLote(named(new QTreeWidget(this), QStringLiteral("GridLote")))
    , m_lblNaoCadastradas(named(new QLabel(this), QStringLiteral("lblNaoCadastradas")))
    , m_lstNaoCadastradas(named(new QListWidget(this), QStringLiteral("lstNaoCadastradas")))
    , m_cmdImportar(named(new QPushButton(QStringLiteral("&Importar empresas..."), this),
                          QStringLiteral("cmdImportar")))
    , m_lblSeparados(named(new QLabel(this), QStringLiteral("lblSeparados")))
    , m_lstSeparados(named(new QListWidget(this), QStringLiteral("lstSeparados")))
    , m_lblEmpresa(named(new QLabel(QStringLiteral("Empresa atual"), this), QStringLiteral("lblEmpresa")))
    , m_ProgressEmpresa(named(new QProgressBar(this), QStringLiteral("ProgressEmpresa")))
    , m_lblGeral(named(new QLabel(QStringLiteral("Geral"), this), QStringLiteral("lblGeral")))
    , m_ProgressGeral(named(new QProgressBar(this), QStringLiteral("ProgressGeral")))
    , m_lblResumo(named(new QLabel(this), QStringLiteral("lblResumo")))
    , m_cmdEnviar(named(new QPushButton(QStringLiteral("&Enviar"), this), QStringLiteral("cmdEnviar")))
    , m_cmdParar(named(new QPushButton(QStringLiteral("Parar após a empresa atual"), this),
                       QStringLiteral("cmdParar")))
    , m_cmdReenviar(named(new QPushButton(QStringLiteral("Enviar &novamente as que falharam"), this),
                          QStringLiteral("cmdReenviar")))
    , m_cmdFechar(named(new QPushButton(QStringLiteral("&Fechar"), this), QStringLiteral("cmdFechar")))
    , m_run(new BatchRun(services.http, *services.journal, services.transmission, this))
    , m_preparation(new BatchPreparation(services.http, *services.journal, this)) {
    setObjectName(QStringLiteral("frmLote"));
    setWindowTitle(QStringLiteral("Transmissão em lote - Prefeitura Municipal de Valdorra"));
    setAttribute(Qt::WA_DeleteOnClose);

    m_txtOrigem->setPlaceholderText(QStringLiteral(
        "Exportação do NovaGIA, pasta de arquivos GIA (.prf) ou de documentos PGDAS (.pdf): escolha, "
        "ou digite o caminho e tecle Enter"));
    keepReturn(m_txtOrigem);
    m_GridLote->setColumnCount(ColumnCount);
    m_GridLote->setHeaderLabels({QStringLiteral("Contribuinte / GIA ou documento"),
                                 QStringLiteral("Referência"), QStringLiteral("Regime tributário"),
                                 QStringLiteral("Tipo"), QStringLiteral("Situação")});
    m_GridLote->header()->setSectionResizeMode(ColName, QHeaderView::Interactive);
    m_GridLote->setColumnWidth(ColName, 300);
    m_GridLote->setColumnWidth(ColReference, 90);
    m_GridLote->setColumnWidth(ColRegime, 110);
    m_GridLote->setColumnWidth(ColType, 110);
    m_GridLote->header()->setStretchLastSection(true);
    m_lblNaoCadastradas->setWordWrap(true);
    m_lstNaoCadastradas->setMaximumHeight(m_lstNaoCadastradas->fontMetrics().height() * 4);
    m_lblSeparados->setWordWrap(true);
    m_lstSeparados->setMaximumHeight(m_lstSeparados->fontMetrics().height() * 5);
    for (QProgressBar* bar : {m_ProgressEmpresa, m_ProgressGeral}) {
        bar->setRange(0, 100);
        bar->setValue(0);
    }
    m_lblResumo->setWordWrap(true);

    auto* origin = new QHBoxLayout;
    origin->addWidget(named(new QLabel(QStringLiteral("Arquivo ou pasta:"), this), QStringLiteral("Label1")));
    origin->addWidget(m_txtOrigem, 1);
    origin->addWidget(m_cmdArquivo);
    origin->addWidget(m_cmdPasta);
    origin->addWidget(m_cmdPgdas);
    auto* unregistered = new QHBoxLayout;
    unregistered->addWidget(m_lstNaoCadastradas, 1);
    unregistered->addWidget(m_cmdImportar, 0, Qt::AlignTop);
    auto* progress = new QGridLayout;
    progress->addWidget(m_lblEmpresa, 0, 0);
    progress->addWidget(m_ProgressEmpresa, 0, 1);
    progress->addWidget(m_lblGeral, 1, 0);
    progress->addWidget(m_ProgressGeral, 1, 1);
    progress->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cmdEnviar);
    buttons->addWidget(m_cmdParar);
    buttons->addWidget(m_cmdReenviar);
    buttons->addWidget(m_cmdFechar);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(origin);
    layout->addWidget(m_GridLote, 1);
    layout->addWidget(m_lblNaoCadastradas);
    layout->addLayout(unregistered);
    layout->addWidget(m_lblSeparados);
    layout->addWidget(m_lstSeparados);
    layout->addLayout(progress);
    layout->addWidget(m_lblResumo);
    layout->addLayout(buttons);
    resize(1040, 600);

    m_lblNaoCadastradas->hide();
    m_lstNaoCadastradas->hide();
    m_cmdImportar->hide();
    m_lblSeparados->hide();
    m_lstSeparados->hide();
    setSending(false);
    setDialogKeys(this, m_cmdEnviar, m_cmdFechar);

    connect(m_cmdArquivo, &QPushButton::clicked, this, [this] {
        const QString path = m_services.seams.files.openFile(
            this, QStringLiteral("Exportação do NovaGIA ou arquivo GIA"), QDir::homePath(),
            QStringLiteral("Arquivos GIA (*.mdb *.MDB *.prf *.PRF);;Todos os arquivos (*)"));
        if (!path.isEmpty())
            openSource(path);
    });
    connect(m_cmdPasta, &QPushButton::clicked, this, [this] {
        const QString path = m_services.seams.files.chooseFolder(
            this, QStringLiteral("Pasta dos arquivos GIA (.prf)"), QDir::homePath());
        if (!path.isEmpty())
            openSource(path);
    });
    connect(m_cmdPgdas, &QPushButton::clicked, this, [this] {
        const QString path = m_services.seams.files.chooseFolder(
            this, QStringLiteral("Pasta dos documentos PGDAS (.pdf)"), QDir::homePath());
        if (!path.isEmpty())
            openPgdasFolder(path);
    });
    connect(m_txtOrigem, &QLineEdit::returnPressed, this, [this] {
        const QString typed = QDir::fromNativeSeparators(m_txtOrigem->text().trimmed());
        if (typed.isEmpty())
            return;
        if (BatchSource::isPgdasFolder(typed))
            openPgdasFolder(typed);
        else
            openSource(typed);
    });
    connect(m_cmdImportar, &QPushButton::clicked, this, [this] {
        auto* import = new ImportarEmpresas(m_services);
        import->show();
    });
    connect(m_GridLote, &QTreeWidget::itemChanged, this, &frmLote::ticked);
    connect(m_cmdEnviar, &QPushButton::clicked, this, &frmLote::send);
    connect(m_cmdParar, &QPushButton::clicked, this, [this] {
        m_run->stopAfterCurrent();
        m_cmdParar->setEnabled(false);
    });
    connect(m_cmdReenviar, &QPushButton::clicked, this, &frmLote::sendFailedAgain);
    connect(m_cmdFechar, &QPushButton::clicked, this, &QWidget::close);
    connect(m_run, &BatchRun::itemStarted, this, [this](int index) {
        const BatchItem& item = m_source.items.at(index);
        m_lblEmpresa->setText(item.taxpayer.RazaoSocial);
        m_ProgressEmpresa->setValue(0);
        m_lblGeral->setText(QStringLiteral("Empresa %1 de %2").arg(m_done + 1).arg(m_sending.size()));
    });
    connect(m_run, &BatchRun::itemProgress, this,
            [this](int, int percent) { m_ProgressEmpresa->setValue(percent); });
    connect(m_run, &BatchRun::itemFinished, this, [this](int index) {
        ++m_done;
        m_ProgressEmpresa->setValue(100);
        m_ProgressGeral->setValue(m_sending.isEmpty() ? 100 : int(m_done * 100 / m_sending.size()));
        // The taxpayer's list, had again, marks its GIAs in every item of the taxpayer.
        const QString ie = m_source.items.at(index).taxpayer.IE;
        for (qsizetype i = 0; i < m_source.items.size(); ++i) {
            if (m_source.items.at(i).taxpayer.IE == ie)
                showItem(int(i));
        }
    });
    connect(m_run, &BatchRun::finished, this, &frmLote::runFinished);
    connect(m_preparation, &BatchPreparation::asking, this, [this](int index, int total) {
        m_lblResumo->setText(
            QStringLiteral("Consultando o servidor: empresa %1 de %2").arg(index + 1).arg(total));
    });
    connect(m_preparation, &BatchPreparation::finished, this, &frmLote::prepared);
}

frmLote::~frmLote() = default;

void frmLote::openSource(const QString& path) {
    if (!beginReading(path))
        return;
    m_work = std::make_unique<QTemporaryDir>();
    BatchSource::open(m_services.seams.folder, m_services.reader, path, m_work->path(), m_preparation,
                      [this](const Result<BatchSource>& source) { sourceRead(source); });
}

void frmLote::openPgdasFolder(const QString& folder) {
    if (!beginReading(folder))
        return;
    BatchSource::openPgdas(m_services.seams.folder, folder, m_services.seams.gate, m_preparation,
                           [this](const Result<BatchSource>& source) { sourceRead(source); });
}

bool frmLote::beginReading(const QString& path) {
    if (sending() || preparing())
        return false;
    m_txtOrigem->setText(QDir::toNativeSeparators(path));
    m_busy = BusyWindow::hold(this);
    return true;
}

void frmLote::sourceRead(const Result<BatchSource>& source) {
    if (!source) {
        m_busy.reset();
        m_source = {};
        fillTree();
        m_services.seams.messages.show(AppTexts::productTitle, source.error().description,
                                       MessageIcon::Warning);
        return;
    }
    m_source = *source;
    m_lblResumo->setText(QStringLiteral("Consultando o servidor..."));
    m_preparation->start(&m_source.items, UserPreferences::uploadsAtOnce());
}

void frmLote::prepared() {
    m_busy.reset();
    m_lblResumo->clear();
    if (!m_preselected.isEmpty()) {
        for (BatchItem& item : m_source.items) {
            if (!m_preselected.contains(item.taxpayer.IE)) {
                for (BatchGia& gia : item.gias)
                    gia.ticked = false;
            }
        }
    }
    fillTree();
    if (!m_source.problems.isEmpty())
        m_services.seams.messages.show(AppTexts::productTitle,
                                       QStringLiteral("Arquivos que não puderam ser lidos:\n") +
                                           m_source.problems.join(u'\n'),
                                       MessageIcon::Warning);
}

void frmLote::fillTree() {
    // Ticks set while filling are the source's own, not the user's.
    QSignalBlocker quiet(m_GridLote);
    m_GridLote->clear();
    for (qsizetype i = 0; i < m_source.items.size(); ++i) {
        const BatchItem& item = m_source.items.at(i);
        auto* top = new QTreeWidgetItem(m_GridLote);
        top->setData(ColName, kIndexRole, int(i));
        top->setText(ColName, QStringLiteral("%1 (%2)").arg(item.taxpayer.RazaoSocial, item.taxpayer.IE));
        top->setToolTip(ColName, QDir::toNativeSeparators(item.chosenPath));
        for (qsizetype g = 0; g < item.gias.size(); ++g) {
            const BatchGia& gia = item.gias.at(g);
            auto* child = new QTreeWidgetItem(top);
            child->setData(ColName, kIndexRole, int(g));
            child->setText(ColReference, gia.row.reference);
            if (item.kind == TransmissionKind::Pgdas) {
                child->setText(ColName, QFileInfo(item.chosenPath).fileName());
                if (gia.row.reference.isEmpty())
                    child->setText(ColReference, QStringLiteral("não encontrada"));
                child->setText(ColRegime, QStringLiteral("Simples Nacional"));
                child->setText(ColType, QStringLiteral("PGDAS"));
            } else {
                child->setText(ColName, QStringLiteral("GIA ") + gia.row.number);
                child->setText(ColRegime, gia.row.regime);
                child->setText(ColType, gia.row.type);
            }
        }
        top->setExpanded(true);
        showItem(int(i));
    }
    m_GridLote->resizeColumnToContents(ColName);
    quiet.unblock();

    m_lstNaoCadastradas->clear();
    for (const BatchCompany& company : m_source.unregistered)
        m_lstNaoCadastradas->addItem(taxpayerLabel(company.ie, company.name));
    const bool any = !m_source.unregistered.isEmpty();
    m_lblNaoCadastradas->setText(
        QStringLiteral(
            "%1 empresa(s) do arquivo não estão cadastradas e não serão enviadas. Para enviá-las, "
            "importe-as (Contribuinte > Novo > Importação de Empresas) e escolha o arquivo de novo.")
            .arg(m_source.unregistered.size()));
    m_lblNaoCadastradas->setVisible(any);
    m_lstNaoCadastradas->setVisible(any);
    m_cmdImportar->setVisible(any);

    m_lstSeparados->clear();
    for (const PgdasMatch& match : m_source.setApart) {
        auto* row = new QListWidgetItem(setApartText(match), m_lstSeparados);
        row->setToolTip(QDir::toNativeSeparators(match.path));
    }
    const bool apart = !m_source.setApart.isEmpty();
    m_lblSeparados->setText(
        QStringLiteral("%1 documento(s) PGDAS da pasta não serão enviados:").arg(m_source.setApart.size()));
    m_lblSeparados->setVisible(apart);
    m_lstSeparados->setVisible(apart);
    m_ProgressEmpresa->setValue(0);
    m_ProgressGeral->setValue(0);
    setSending(false);
}

void frmLote::showItem(int index) {
    QTreeWidgetItem* top = m_GridLote->topLevelItem(index);
    if (!top)
        return;
    const BatchItem& item = m_source.items.at(index);
    {
        // Ticks shown are the batch's own, not the user's.
        const QSignalBlocker quiet(m_GridLote);
        for (int g = 0; g < top->childCount() && g < item.gias.size(); ++g) {
            QTreeWidgetItem* child = top->child(g);
            const BatchGia& gia = item.gias.at(g);
            QString note = batchNoteText(gia.note);
            if (!gia.protocols.isEmpty() && gia.note == BatchGia::Note::AlreadyListed)
                note += QStringLiteral(" (protocolo %1)").arg(gia.protocols.join(QStringLiteral(", ")));
            child->setText(ColState, note);
            Qt::ItemFlags flags = Qt::ItemIsSelectable;
            if (item.canTick(g))
                flags |= Qt::ItemIsEnabled | Qt::ItemIsUserCheckable;
            child->setFlags(flags);
            child->setCheckState(ColName, gia.ticked && item.canTick(g) ? Qt::Checked : Qt::Unchecked);
        }
    }
    const bool sentOnce = item.result != BatchItem::Outcome::NotSent || !item.detail.isEmpty();
    const QString text =
        sentOnce && item.readiness == BatchItem::Readiness::Ready ? resultText(item) : readinessText(item);
    top->setText(ColState, text);
    top->setToolTip(ColState, text);
    const bool bad = item.result == BatchItem::Outcome::Failed ||
                     item.result == BatchItem::Outcome::Refused ||
                     item.readiness == BatchItem::Readiness::KeyRefused ||
                     item.readiness == BatchItem::Readiness::ListUnavailable;
    top->setForeground(ColState, bad ? QColor(0xb0, 0x00, 0x00) : palette().color(QPalette::Text));
}

void frmLote::ticked(QTreeWidgetItem* changed, int column) {
    if (column != ColName || !changed->parent())
        return;
    const int index = changed->parent()->data(ColName, kIndexRole).toInt();
    const int gia = changed->data(ColName, kIndexRole).toInt();
    m_source.items[index].gias[gia].ticked = changed->checkState(ColName) == Qt::Checked;
    showItem(index);
    setSending(false);
}

void frmLote::send() {
    QList<int> which;
    for (qsizetype i = 0; i < m_source.items.size(); ++i)
        which.append(int(i));
    start(which);
}

void frmLote::sendFailedAgain() {
    QList<int> which;
    for (qsizetype i = 0; i < m_source.items.size(); ++i) {
        if (m_source.items.at(i).result == BatchItem::Outcome::Failed)
            which.append(int(i));
    }
    start(which);
}

void frmLote::start(const QList<int>& which) {
    if (sending() || which.isEmpty())
        return;
    // A reference the server has already goes again only when the accountant says so.
    QList<ListedReference> gias;
    QList<ListedReference> documents;
    for (const int index : which) {
        const BatchItem& item = m_source.items.at(index);
        if (item.readiness == BatchItem::Readiness::Ready)
            (item.kind == TransmissionKind::Pgdas ? documents : gias) += item.tickedListed();
    }
    if (!confirmResend(m_services.seams.messages, gias) ||
        !confirmResend(m_services.seams.messages, documents, TransmissionKind::Pgdas))
        return;
    const std::optional<Accountant> contador =
        transmissionAccountant(m_services, [this] { Q_EMIT mainWindowReleased(); });
    if (!contador)
        return;
    // The date the choice is checked with: the server's, from the first list that gave one (each
    // company's is checked again before its upload).
    QDateTime serverDate;
    for (const int index : which) {
        if (m_source.items.at(index).readiness == BatchItem::Readiness::Ready) {
            serverDate = m_source.items.at(index).serverDate;
            break;
        }
    }
    std::optional<Certificate> certificate;
    bool accepted = false;
    const CertificateSelection::Outcome outcome = CertificateSelection::transmissionVariant(
        m_services.seams, m_services.certificates, this, serverDate, &certificate, &accepted,
        PersonalCertificateSource(m_services.tokens));
    if (outcome != CertificateSelection::Outcome::Accepted || !certificate)
        return;
    m_sending = which;
    m_done = 0;
    m_ProgressGeral->setValue(0);
    setSending(true);
    m_run->start(&m_source.items, which, *certificate, contador->cont_cpf_cnpj,
                 UserPreferences::uploadsAtOnce());
}

void frmLote::runFinished() {
    setSending(false);
    m_lblEmpresa->setText(QStringLiteral("Empresa atual"));
    m_lblGeral->setText(QStringLiteral("Geral"));
    showSummary();
    // The main window's list of the current taxpayer may show one of these uploads now.
    for (const int index : m_sending) {
        if (m_source.items.at(index).taxpayer.IE == m_session.IESel() &&
            m_source.items.at(index).result != BatchItem::Outcome::NotSent) {
            Q_EMIT transmissionsChanged();
            break;
        }
    }
    if (m_closeWhenDone)
        close();
}

void frmLote::showSummary() {
    m_lblResumo->setText(batchSummaryText(m_source.items));
}

void frmLote::setSending(bool on) {
    bool failed = false;
    bool anyTicked = false;
    for (const BatchItem& item : m_source.items) {
        failed = failed || item.result == BatchItem::Outcome::Failed;
        anyTicked = anyTicked || !item.tickedGias().isEmpty();
    }
    m_txtOrigem->setReadOnly(on);
    m_cmdArquivo->setEnabled(!on);
    m_cmdPasta->setEnabled(!on);
    m_cmdPgdas->setEnabled(!on);
    m_GridLote->setEnabled(!on);
    m_cmdEnviar->setEnabled(!on && anyTicked);
    m_cmdParar->setEnabled(on);
    m_cmdReenviar->setEnabled(!on && failed);
}

void frmLote::closeEvent(QCloseEvent* event) {
    if (sending()) {
        // The company being sent goes on to its end; then the window closes.
        m_run->stopAfterCurrent();
        m_closeWhenDone = true;
        event->ignore();
        return;
    }
    event->accept();
}

} // namespace fiscora
