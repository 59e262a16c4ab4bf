#include "gui/Principal.h"

#include "core/AppTexts.h"
#include "core/Cp1252.h"
#include "core/MessageBox.h"
#include "core/Platform.h"
#include "core/ServerAddress.h"
#include "core/ServerDate.h"
#include "core/Session.h"
#include "core/UserPreferences.h"
#include "data/AccountantTable.h"
#include "data/LocalDatabase.h"
#include "data/TaxpayerTable.h"
#include "data/TransmissionJournal.h"
#include "gui/Ajuda.h"
#include "gui/BusyWindow.h"
#include "gui/DatabaseErrorBox.h"
#include "gui/Images.h"
#include "gui/PrintLibrary.h"
#include "gui/ReadOnlyGrid.h"
#include "gui/Sobre.h"
#include "gui/TransmissionAccountant.h"
#include "gui/WrappedTree.h"
#include "gui/frmContador.h"
#include "gui/frmEnvios.h"
#include "gui/frmLote.h"
#include "gui/frmSituacaoMes.h"
#include "gui/frmUpload.h"
#include "gui/frmUploadSimples.h"
#include "gui/frmtbl_CriaContribuinte.h"
#include "gui/frmtbl_SelecionaContribuinte.h"
#include "gui/frmtbl_atualizarContribuinte.h"
#include "gui/frmtbl_exclusaoContribuinte.h"
#include "net/TransmissionHistory.h"
#include "printing/ReceiptFile.h"
#include "transmission/ReceiptKeeper.h"
#include "transmission/Services.h"
#include "transmission/TaxpayerList.h"

#include <QAction>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace fiscora {

namespace {

const QString kListUnavailable = QStringLiteral("O Servidor está indisponivel, tente novamente mais tarde.");
const QString kUpToDate = QStringLiteral("O programa está atualizado");
const QString kReceiptUnavailable =
    QStringLiteral("O Servidor está indisponível, tente novamente mais tarde.");

QLabel* label(const QString& name, const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

QAction* action(QMenu* menu, const QString& name, const QString& text, const QKeySequence& shortcut = {}) {
    QAction* a = menu->addAction(text);
    a->setObjectName(name);
    a->setShortcut(shortcut);
    return a;
}

// Brings an already open window to the front, or shows a new one, linked to its opener by `link`.
template <typename Window, typename Link, typename... Needs>
Window* showOnce(QPointer<Window>& slot, Link link, Needs&... needs) {
    if (!slot) {
        slot = new Window(needs...);
        link(slot.data());
    }
    slot->show();
    slot->raise();
    slot->activateWindow();
    return slot;
}

// The address as the browser is given it.
QString browserAddress(const QString& url) {
    return url.startsWith(QStringLiteral("http"), Qt::CaseInsensitive) ? url
                                                                       : QStringLiteral("http://") + url;
}

// The caption rule of the upload windows: the accepted years are appended once.
void appendWorkYears(QWidget* window, const QString& anoTrabalho) {
    if (!window->windowTitle().contains(anoTrabalho))
        window->setWindowTitle(window->windowTitle() + QStringLiteral(" - Ano trabalho: ") + anoTrabalho);
}

} // namespace

Principal::Principal(Session& session, const Services& services, QWidget* parent)
    : QMainWindow(parent)
    , m_session(session)
    , m_services(services) {
    setObjectName(QStringLiteral("Principal"));
    setWindowTitle(AppTexts::windowCaption);

    auto* central = new QWidget(this);
    setCentralWidget(central);

    auto* picture = label(QStringLiteral("Picture1"), QString(), central);
    picture->setPixmap(brasao());
    picture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto* heading =
        label(QStringLiteral("GIASelecionada"), QStringLiteral("Contribuinte Selecionado"), central);
    QFont headingFont = heading->font();
    headingFont.setBold(true);
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.3);
    heading->setFont(headingFont);

    m_RSSel = label(QStringLiteral("RSSel"), QString(), central);
    m_IESel = label(QStringLiteral("IESel"), QString(), central);
    for (QLabel* value : {m_RSSel, m_IESel}) {
        QFont bold = value->font();
        bold.setBold(true);
        value->setFont(bold);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    m_lblChave = label(QStringLiteral("lblChave"), QStringLiteral("LABEL DA CHAVE!"), central);
    m_lblChave->hide();

    m_Command1 = new QPushButton(QStringLiteral("Escolher arquivo para &transmitir"), central);
    m_Command1->setObjectName(QStringLiteral("Command1"));
    m_Command1->hide();

    auto* labels = new QGridLayout;
    labels->addWidget(label(QStringLiteral("Label1"), QStringLiteral("Razão Social"), central), 0, 0);
    labels->addWidget(m_RSSel, 0, 1);
    labels->addWidget(label(QStringLiteral("lblLabels"), QStringLiteral("Inscrição Estadual"), central), 1,
                      0);
    labels->addWidget(m_IESel, 1, 1);
    labels->setColumnStretch(1, 1);
    labels->setHorizontalSpacing(12);

    auto* transmit = new QHBoxLayout;
    transmit->addWidget(m_Command1);
    transmit->addStretch(1);

    auto* taxpayer = new QVBoxLayout;
    taxpayer->addWidget(heading);
    taxpayer->addLayout(labels);
    taxpayer->addStretch(1);
    taxpayer->addLayout(transmit);

    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addSpacing(16);
    top->addLayout(taxpayer, 1);

    // Past transmissions and their receipts.
    m_frmImportacao = new QGroupBox(QStringLiteral("Transmissões Realizadas"), central);
    m_frmImportacao->setObjectName(QStringLiteral("frmImportacao"));
    m_frmImportacao->hide();
    m_GridTransmissoes = new QTableWidget(m_frmImportacao);
    m_GridTransmissoes->setObjectName(QStringLiteral("GridTransmissoes"));
    buildTransmissionsGrid();
    m_Command3 = new QPushButton(QStringLiteral("Relatório de Transmissões"), m_frmImportacao);
    m_Command3->setObjectName(QStringLiteral("Command3"));
    m_Command3->hide();
    m_cmdImpressao = new QPushButton(QStringLiteral("Im&primir Protocolo"), m_frmImportacao);
    m_cmdImpressao->setObjectName(QStringLiteral("cmd_Impressao"));
    m_cmdSalvarPdf = new QPushButton(QStringLiteral("&Salvar PDF"), m_frmImportacao);
    m_cmdSalvarPdf->setObjectName(QStringLiteral("cmdSalvarPdf"));
    m_cmdSalvarPdf->setToolTip(
        QStringLiteral("Guarda o recibo da entrega escolhida como PDF na pasta de documentos"));
    m_cmdImprimir = new QPushButton(QStringLiteral("Impri&mir"), m_frmImportacao);
    m_cmdImprimir->setObjectName(QStringLiteral("cmdImprimir"));
    m_cmdImprimir->setToolTip(QStringLiteral("Imprime o recibo da entrega escolhida"));
    m_labelOK = label(QStringLiteral("labelOK"), QStringLiteral("Verificação concluída, sem mensagens."),
                      m_frmImportacao);
    m_labelOK->hide();
    m_lblEnviosSemConfirmacao = label(QStringLiteral("lblEnviosSemConfirmacao"), QString(), m_frmImportacao);
    m_lblEnviosSemConfirmacao->setToolTip(QStringLiteral(
        "Não se sabe se estes envios chegaram ao servidor: veja Contribuinte > Envios realizados"));
    m_lblEnviosSemConfirmacao->hide();
    m_detApuracao =
        label(QStringLiteral("detApuracao"), QStringLiteral("Detalhes da apuração"), m_frmImportacao);
    m_detApuracao->hide();
    m_tvwPessoa = new QTreeWidget(m_frmImportacao);
    m_tvwPessoa->setObjectName(QStringLiteral("tvwPessoa"));
    m_tvwPessoa->setHeaderHidden(true);
    m_tvwPessoa->setRootIsDecorated(true);
    m_tvwPessoa->setMinimumWidth(220);
    wrapTreeLines(m_tvwPessoa);
    m_tvwPessoa->hide();

    auto* print = new QHBoxLayout;
    print->addWidget(m_cmdImpressao);
    print->addWidget(m_cmdSalvarPdf);
    print->addWidget(m_cmdImprimir);
    print->addSpacing(12);
    print->addWidget(m_labelOK);
    print->addStretch(1);
    print->addWidget(m_lblEnviosSemConfirmacao);
    auto* receipt = new QVBoxLayout;
    receipt->addWidget(m_detApuracao);
    receipt->addWidget(m_tvwPessoa, 1);
    auto* frame = new QGridLayout(m_frmImportacao);
    frame->addWidget(m_GridTransmissoes, 0, 0);
    frame->addLayout(receipt, 0, 1);
    frame->addLayout(print, 1, 0, 1, 2);
    frame->setColumnStretch(0, 3);
    frame->setColumnStretch(1, 2);

    // Up to date only when a check said so; the list's answer says it again later.
    m_lblAtualizado =
        label(QStringLiteral("lblAtualizado"),
              m_session.versionConfirmed() ? kUpToDate : QStringLiteral("A versão não pôde ser verificada"),
              central);
    m_lblnovaatualizacao = label(QStringLiteral("lblnovaatualizacao"),
                                 QStringLiteral("Nova atualização disponível para download"), central);
    m_lblnovaatualizacao->hide();
    QPalette notice = m_lblnovaatualizacao->palette();
    notice.setColor(QPalette::WindowText, QColor(0xb0, 0x00, 0x00));
    m_lblnovaatualizacao->setPalette(notice);
    m_lblEnviosSemConfirmacao->setPalette(notice);
    auto* status = new QHBoxLayout;
    status->addWidget(m_lblAtualizado);
    status->addWidget(m_lblnovaatualizacao);
    status->addStretch(1);

    // Kept for the other windows and the procedures; never shown.
    m_Text1 = new QPlainTextEdit(central);
    m_Text1->setObjectName(QStringLiteral("Text1"));
    m_Text1->hide();
    m_Text2 = new QLineEdit(central);
    m_Text2->setObjectName(QStringLiteral("Text2"));
    m_Text2->hide();

    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(12, 12, 12, 8);
    layout->addLayout(top);
    layout->addSpacing(8);
    layout->addWidget(m_frmImportacao, 1);
    layout->addStretch(0);
    layout->addLayout(status);

    buildMenus();
    resize(10785 / 15, 6705 / 15);

    connect(m_Command1, &QPushButton::clicked, this, &Principal::transmitir);
    connect(m_Command3, &QPushButton::clicked, this, &Principal::RecebeDadosServer);
    connect(m_cmdImpressao, &QPushButton::clicked, this, &Principal::printProtocol);
    connect(m_cmdSalvarPdf, &QPushButton::clicked, this, &Principal::saveReceiptPdf);
    connect(m_cmdImprimir, &QPushButton::clicked, this, &Principal::printReceipt);
    connect(m_GridTransmissoes, &QTableWidget::cellClicked, this, [this](int row, int) {
        if (row >= 0)
            RecebeDadosProtocolo();
    });
    connect(&m_session, &Session::taxpayerChanged, this, &Principal::showTaxpayer);
    if (m_session.hasTaxpayer())
        showTaxpayer();
}

Principal::~Principal() {
    m_listBusy.reset();
    m_receiptBusy.reset();
    m_pageBusy.reset();
    delete m_frmUpload;
    delete m_frmUploadSimples;
    delete m_frmSituacaoMes;
    qDeleteAll(m_leftWindows);
}

void Principal::reenable() {
    // Another window decides now: a wait must not put back the state it found.
    m_listBusy.reset();
    m_receiptBusy.reset();
    m_pageBusy.reset();
    setEnabled(true);
}

void Principal::linkTaxpayerList(TaxpayerListWindow* window) {
    connect(window, &TaxpayerListWindow::closed, this, &Principal::reenable);
}

template <typename Window> void Principal::linkTransmitting(Window* window) {
    connect(window, &Window::mainWindowReleased, this, &Principal::reenable);
    connect(window, &Window::transmissionsChanged, this, &Principal::RecebeDadosServer);
}

frmLote* Principal::showBatch() {
    return showOnce(
        m_frmLote, [this](frmLote* window) { linkTransmitting(window); }, m_session, m_services);
}

void Principal::buildMenus() {
    QMenu* arquivo = menuBar()->addMenu(QStringLiteral("&Arquivo"));
    arquivo->setObjectName(QStringLiteral("mnArquivo"));
    connect(action(arquivo, QStringLiteral("mnSair"), QStringLiteral("&Sair")), &QAction::triggered, this,
            [this] { m_services.seams.platform.quit(); });

    QMenu* contribuinte = menuBar()->addMenu(QStringLiteral("&Contribuinte"));
    contribuinte->setObjectName(QStringLiteral("mnContribuinte"));
    connect(action(contribuinte, QStringLiteral("mnContribuinteNovo"), QStringLiteral("&Novo"), Qt::Key_F2),
            &QAction::triggered, this, &Principal::newTaxpayer);
    connect(action(contribuinte, QStringLiteral("mnContribuinteSelecionar"), QStringLiteral("&Selecionar"),
                   Qt::Key_F5),
            &QAction::triggered, this, &Principal::selecionar);
    connect(action(contribuinte, QStringLiteral("mnAtualizar"), QStringLiteral("&Atualizar"), Qt::Key_F8),
            &QAction::triggered, this, &Principal::atualizar);
    connect(action(contribuinte, QStringLiteral("mnExcluir"), QStringLiteral("&Excluir")),
            &QAction::triggered, this, &Principal::excluir);
    contribuinte->addSeparator()->setObjectName(QStringLiteral("space2"));
    connect(action(contribuinte, QStringLiteral("mnContador"), QStringLiteral("&Contador"), Qt::Key_F6),
            &QAction::triggered, this, &Principal::openAccountant);
    connect(
        action(contribuinte, QStringLiteral("mnEnvios"), QStringLiteral("Envios &realizados"), Qt::Key_F7),
        &QAction::triggered, this, &Principal::envios);
    connect(
        action(contribuinte, QStringLiteral("mnLote"), QStringLiteral("Transmissão em &lote"), Qt::Key_F9),
        &QAction::triggered, this, [this] { showBatch(); });
    connect(
        action(contribuinte, QStringLiteral("mnSituacaoMes"), QStringLiteral("Situação do &mês"), Qt::Key_F4),
        &QAction::triggered, this, &Principal::monthSituation);

    QMenu* ajuda = menuBar()->addMenu(QStringLiteral("A&juda"));
    ajuda->setObjectName(QStringLiteral("mnAjuda"));
    connect(action(ajuda, QStringLiteral("mnSAjuda"), QStringLiteral("&Ajuda"), Qt::Key_F1),
            &QAction::triggered, this, [this] { Ajuda::open(m_services.seams); });
    connect(action(ajuda, QStringLiteral("mnSobre"), QStringLiteral("&Sobre")), &QAction::triggered, this,
            &Principal::sobre);
}

void Principal::monthSituation() {
    if (!m_frmSituacaoMes) {
        m_frmSituacaoMes = new frmSituacaoMes(m_services);
        connect(m_frmSituacaoMes, &frmSituacaoMes::batchRequested, this,
                [this](const QStringList& ies) { showBatch()->preselect(ies); });
    }
    m_frmSituacaoMes->show();
    m_frmSituacaoMes->raise();
    m_frmSituacaoMes->activateWindow();
}

void Principal::buildTransmissionsGrid() {
    QTableWidget* grid = m_GridTransmissoes;
    setUpReadOnlyGrid(grid, {QStringLiteral("Referência"), QStringLiteral("Data de Processamento"),
                             QStringLiteral("Protocolo"), QStringLiteral("Status"),
                             QStringLiteral("Valor Adicionado")});
    grid->horizontalHeader()->setMinimumSectionSize(0);
    const int widths[] = {1500, 2500, 1700, 0, 0};
    for (int column = 0; column < TransmissionColumnCount; ++column)
        grid->setColumnWidth(column, widths[column] / 15);
    // Status and value added are kept in the grid but take no room.
    grid->setColumnHidden(ColStatus, true);
    grid->setColumnHidden(ColAdicionado, true);
    grid->setMinimumWidth((1500 + 2500 + 1700) / 15 + 2 * grid->frameWidth() + 20);
}

void Principal::showTaxpayer() {
    if (m_session.IESel() != m_shownIE || m_session.accessKey() != m_shownKey)
        leaveTaxpayer();
    const bool selected = m_session.hasTaxpayer();
    m_RSSel->setText(m_session.RSSel());
    m_IESel->setText(m_session.IESel());
    m_lblChave->setText(m_session.accessKey());
    m_frmImportacao->setVisible(selected);
    m_Command1->setVisible(selected);
    showUnconfirmedNotice();
}

void Principal::showUnconfirmedNotice() {
    qsizetype unconfirmed = 0;
    if (m_session.hasTaxpayer()) {
        JournalFilter filter;
        filter.ie = m_session.IESel();
        filter.unconfirmedOnly = true;
        // A database that cannot be read is reported by the command that needs it.
        unconfirmed = m_services.journal->findTransmissions(filter).valueOr({}).size();
    }
    m_lblEnviosSemConfirmacao->setText(unconfirmedCountText(unconfirmed));
    m_lblEnviosSemConfirmacao->setVisible(unconfirmed > 0);
}

void Principal::showListedSends(const QList<qint64>& rows,
                                const QHash<qint64, QList<ListedTransmission>>& protocols) {
    QList<ListedTransmission> found;
    for (const qint64 id : rows)
        found += protocols.value(id);
    if (!found.isEmpty())
        statusBar()->showMessage(QStringLiteral("A lista do servidor mostra o envio — ") +
                                 protocolsText(found));
}

void Principal::leaveTaxpayer() {
    // Nothing asked for the previous taxpayer is shown for this one.
    delete m_listJob;
    delete m_receiptJob;
    m_listBusy.reset();
    m_receiptBusy.reset();
    statusBar()->clearMessage();
    m_shownIE = m_session.IESel();
    m_shownKey = m_session.accessKey();
    m_GridTransmissoes->setRowCount(0);
    m_tvwPessoa->clear();
    m_tvwPessoa->hide();
    m_detApuracao->hide();
    m_labelOK->hide();
    m_Text1->clear();
    m_Text2->clear();

    for (UploadWindow* window : {static_cast<UploadWindow*>(m_frmUpload.data()),
                                 static_cast<UploadWindow*>(m_frmUploadSimples.data())}) {
        if (!window)
            continue;
        m_leftWindows.append(window);
        window->taxpayerLeft();
    }
    m_frmUpload.clear();
    m_frmUploadSimples.clear();
    m_leftWindows.removeAll(nullptr);
}

void Principal::RecebeDadosServer() {
    // The answer asked for last is the one shown: a request under way is ended unread.
    delete m_listJob;
    m_listBusy.reset();
    QFile stamp(m_services.seams.folder.file(QStringLiteral("info.fsc")));
    if (!stamp.open(QIODevice::ReadOnly)) {
        m_services.seams.messages.show(AppTexts::productTitle, kListUnavailable);
        return;
    }
    // The stamp as it is, line ends included: the answer must carry it whole.
    const QString installed = Cp1252::decode(stamp.readAll());
    auto* job = new QObject(this);
    m_listJob = job;
    // A window another one disabled is left to that one.
    m_listBusy = isEnabled() ? BusyWindow::hold(this) : nullptr;
    fetchTaxpayerList(m_services.http, *m_services.journal, m_session.IESel(), m_session.accessKey(), job,
                      [this, job, installed](Result<TaxpayerList> list) {
                          m_listBusy.reset();
                          m_listJob.clear();
                          job->deleteLater();
                          showList(list, installed);
                      });
}

void Principal::showList(const Result<TaxpayerList>& list, const QString& installed) {
    if (!list) {
        if (isListFailure(list.error()))
            m_services.seams.messages.show(AppTexts::productTitle, kListUnavailable);
        else
            showDatabaseError(m_services.seams.messages, list.error());
        return;
    }
    if (list->keyRefused) {
        if (!PopulaGridTransmissoes(list->listText)) {
            m_services.seams.messages.show(AppTexts::productTitle, kListUnavailable);
            return;
        }
        m_session.dropTaxpayer();
        return;
    }
    m_Command1->setEnabled(true);
    showRows(list->rows, list->listText);
    const ListHeader& header = list->header;
    m_session.setServerList(header.serverDate, header.anoTrabalho);
    const bool upToDate = list->answer.contains(installed);
    m_lblAtualizado->setVisible(upToDate);
    if (upToDate)
        m_lblAtualizado->setText(kUpToDate);
    else
        m_lblnovaatualizacao->setText(QStringLiteral("Nova atualização disponível para download - versão ") +
                                      header.version);
    m_lblnovaatualizacao->setVisible(!upToDate);
    m_tvwPessoa->hide();
    m_detApuracao->hide();
    // Uploads whose outcome was not known are closed by the protocols the list now shows.
    m_session.setListedTransmissions(list->listed());
    if (!list->confirmedRows.isEmpty())
        showListedSends(list->confirmedRows, list->confirmed);
    showUnconfirmedNotice();
}

bool Principal::PopulaGridTransmissoes(const QString& XMLConteudo) {
    const KeyRefusal refusal = keyRefusal(XMLConteudo, XMLConteudo);
    if (refusal == KeyRefusal::InvalidKey) {
        m_services.seams.messages.show(AppTexts::productTitle, QStringLiteral("Chave inválida"),
                                       MessageIcon::Critical);
        m_Command1->setEnabled(false);
        return true;
    }
    m_Command1->setEnabled(true);
    m_GridTransmissoes->setRowCount(0);
    if (refusal == KeyRefusal::Unauthorized) {
        m_services.seams.messages.show(AppTexts::productTitle, QStringLiteral("Acesso não autorizado"),
                                       MessageIcon::Information);
        return true;
    }
    const Result<QList<QStringList>> rows = transmissionRows(XMLConteudo);
    if (!rows)
        return false;
    showRows(*rows, XMLConteudo);
    return true;
}

void Principal::showRows(const QList<QStringList>& rows, const QString& listText) {
    m_GridTransmissoes->setRowCount(0);
    m_GridTransmissoes->setRowCount(static_cast<int>(rows.size()));
    for (int row = 0; row < rows.size(); ++row) {
        for (int column = 0; column < TransmissionColumnCount; ++column) {
            auto* item = new QTableWidgetItem(rows.at(row).at(column));
            if (column <= ColProtocolo)
                item->setTextAlignment(Qt::AlignCenter);
            else if (column == ColAdicionado)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_GridTransmissoes->setItem(row, column, item);
        }
    }
    // As after a refill of the original grid, the header row is current: no transmission chosen.
    m_GridTransmissoes->setCurrentCell(-1, -1);
    m_GridTransmissoes->clearSelection();
    m_Text1->setPlainText(listText);
}

void Principal::RecebeDadosProtocolo() {
    const int row = m_GridTransmissoes->currentRow();
    const QTableWidgetItem* statusItem = row >= 0 ? m_GridTransmissoes->item(row, ColStatus) : nullptr;
    bool isNumber = false;
    const int status = statusItem ? statusItem->text().trimmed().toInt(&isNumber) : 0;
    if (!isNumber) {
        m_services.seams.messages.show(AppTexts::productTitle, kReceiptUnavailable);
        return;
    }
    if (status == 2) {
        m_Text1->clear();
        const QTableWidgetItem* protocol = m_GridTransmissoes->item(row, ColProtocolo);
        delete m_receiptJob;
        m_receiptBusy.reset();
        auto* job = new QObject(this);
        m_receiptJob = job;
        m_receiptBusy = BusyWindow::hold(this);
        fetchReceipt(m_services.http, protocol ? protocol->text() : QString(), m_session.accessKey(), job,
                     [this, job](Result<QString> receipt) {
                         m_receiptBusy.reset();
                         m_receiptJob.clear();
                         job->deleteLater();
                         if (!receipt) {
                             m_services.seams.messages.show(AppTexts::productTitle, kReceiptUnavailable);
                             return;
                         }
                         CarregaProtocolo(*receipt);
                         buildReceiptTree(*receipt);
                         m_labelOK->hide();
                     });
    } else if (status == 1) {
        m_labelOK->show();
        m_tvwPessoa->hide();
        m_detApuracao->hide();
    }
}

void Principal::CarregaProtocolo(const QString& XMLConteudo) {
    m_Text1->setPlainText(XMLConteudo);
    m_Text2->setText(QString::number(XMLConteudo.size()));
}

void Principal::buildReceiptTree(const QString& receiptText) {
    const Result<Receipt> parsed = readReceipt(receiptText);
    if (!parsed) {
        m_services.seams.messages.show(AppTexts::programTitle, parsed.error().description);
        return;
    }
    const Receipt& receipt = *parsed;
    if (m_tvwPessoa->topLevelItemCount() > 0)
        delete m_tvwPessoa->takeTopLevelItem(0);
    auto* root = new QTreeWidgetItem(m_tvwPessoa, {receipt.root});
    for (const ReceiptEntry& entry : receipt.entries) {
        auto* node = new QTreeWidgetItem(root, {entry.text});
        if (entry.hasTag)
            node->setData(0, Qt::UserRole, entry.tag);
        for (const QString& child : entry.children)
            new QTreeWidgetItem(node, {child});
        m_tvwPessoa->scrollToItem(node);
        root->setExpanded(true);
    }
    // The details are the only view of a receipt with messages: show them.
    m_detApuracao->show();
    m_tvwPessoa->show();
}

bool Principal::OpenBrowser(const QString& url) {
    return m_services.seams.platform.openUrl(browserAddress(url));
}

void Principal::printProtocol() {
    const int row = m_GridTransmissoes->currentRow();
    const QTableWidgetItem* reference = row >= 0 ? m_GridTransmissoes->item(row, ColReferencia) : nullptr;
    const QString address =
        ServerAddress::fromSettings(m_services.seams.folder)
            .receipt(m_session.IESel(), m_session.accessKey(), reference ? reference->text() : QString());
    if (address.isEmpty()) {
        m_services.seams.messages.show(AppTexts::productTitle,
                                       QStringLiteral("Selecione uma entrega específica"),
                                       MessageIcon::Information);
        return;
    }
    if (!OpenBrowser(address)) {
        MessageRequest request;
        request.title = AppTexts::productTitle;
        request.text = QStringLiteral("Não foi possível abrir o navegador. Abra este endereço para ver o "
                                      "protocolo:\n\n") +
                       browserAddress(address);
        request.icon = MessageIcon::Information;
        request.selectable = true;
        m_services.seams.messages.show(request);
    }
}

QObject* Principal::startPageJob() {
    m_pageJob = new QObject(this);
    m_pageBusy = BusyWindow::hold(this);
    return m_pageJob;
}

void Principal::endPageJob(QObject* job) {
    m_pageBusy.reset();
    m_pageJob.clear();
    job->deleteLater();
}

void Principal::withReceiptPage(
    std::function<void(const QString& html, const QString& reference, const QString& protocol)> use) {
    const int row = m_GridTransmissoes->currentRow();
    const auto cell = [this, row](int column) {
        const QTableWidgetItem* item = row >= 0 ? m_GridTransmissoes->item(row, column) : nullptr;
        return item ? item->text().trimmed() : QString();
    };
    const QString reference = cell(ColReferencia);
    const QString protocol = cell(ColProtocolo);
    if (!reference.contains(QLatin1Char('/')) || protocol.isEmpty()) {
        m_services.seams.messages.show(AppTexts::productTitle,
                                       QStringLiteral("Selecione uma entrega específica"),
                                       MessageIcon::Information);
        return;
    }
    delete m_pageJob;
    QObject* job = startPageJob();
    fetchReceiptPage(m_services.http, m_session.IESel(), m_session.accessKey(), reference, protocol, job,
                     [this, job, reference, protocol, use = std::move(use)](Result<QString> page) {
                         endPageJob(job);
                         if (!page) {
                             m_services.seams.messages.show(AppTexts::productTitle, page.error().description,
                                                            MessageIcon::Warning);
                             return;
                         }
                         use(*page, reference, protocol);
                     });
}

void Principal::saveReceiptPdf() {
    withReceiptPage([this](const QString& html, const QString& reference, const QString& protocol) {
        const Result<QString> path = ReceiptFile::path(UserPreferences::documentsFolder(), m_session.IESel(),
                                                       m_session.RSSel(), reference, protocol);
        if (!path) {
            m_services.seams.messages.show(AppTexts::productTitle, path.error().description,
                                           MessageIcon::Warning);
            return;
        }
        QObject* job = startPageJob();
        ReceiptFile::keep(html, *path, m_services.seams.gate, job, [this, job](Result<KeptReceipt> kept) {
            endPageJob(job);
            if (!kept) {
                m_services.seams.messages.show(AppTexts::productTitle, kept.error().description,
                                               MessageIcon::Warning);
                return;
            }
            MessageRequest request;
            request.title = AppTexts::productTitle;
            request.text = QStringLiteral("Recibo salvo em %1.").arg(QDir::toNativeSeparators(kept->path));
            request.icon = MessageIcon::Information;
            request.selectable = true;
            m_services.seams.messages.show(request);
        });
    });
}

void Principal::printReceipt() {
    withReceiptPage([this](const QString& html, const QString&, const QString&) {
        const Result<const PrintLibrary*>& library = printLibrary();
        if (!library) {
            m_services.seams.messages.show(AppTexts::productTitle, library.error().description,
                                           MessageIcon::Warning);
            return;
        }
        // Modal to the window, without a loop of its own: the answer comes by a signal.
        QDialog* dialog = (*library)->printDialog(this, [this, html](QPagedPaintDevice* printer) {
            if (const Status printed = ReceiptFile::render(html, printer); !printed)
                m_services.seams.messages.show(AppTexts::productTitle, printed.error().description,
                                               MessageIcon::Warning);
        });
        dialog->setObjectName(QStringLiteral("dlgImprimir"));
        dialog->setWindowTitle(QStringLiteral("Imprimir recibo"));
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->open();
    });
}

void Principal::newTaxpayer() {
    setEnabled(false);
    const Result<qint64> total = countAccountants(m_services.seams.folder);
    if (!total) {
        showDatabaseError(m_services.seams.messages, total.error());
        // Left disabled, the window could not be used again: nothing else would enable it.
        setEnabled(true);
        return;
    }
    if (*total == 0) {
        m_services.seams.messages.show(
            AppTexts::programTitle,
            QStringLiteral("É necessário cadastrar um contador antes de Cadastrar seu(s) "
                           "Contribuinte(s)."));
        openAccountant();
        return;
    }
    showOnce(
        m_frmCria,
        [this](frmtbl_CriaContribuinte* window) {
            connect(window, &TaxpayerForm::closed, this, &Principal::reenable);
        },
        m_services);
}

void Principal::selecionar() {
    setEnabled(false);
    showOnce(
        m_frmSeleciona,
        [this](frmtbl_SelecionaContribuinte* window) {
            linkTaxpayerList(window);
            connect(window, &frmtbl_SelecionaContribuinte::taxpayerChosen, this,
                    &Principal::RecebeDadosServer);
        },
        m_session, m_services.seams);
}

void Principal::atualizar() {
    showOnce(
        m_frmAtualizar,
        [this](frmtbl_atualizarContribuinte* window) {
            linkTaxpayerList(window);
            // The edit window stays after the list, and may be one an earlier list opened.
            connect(
                window, &frmtbl_atualizarContribuinte::editWindowOpened, this, [this](TaxpayerForm* edit) {
                    connect(edit, &TaxpayerForm::closed, this, &Principal::reenable, Qt::UniqueConnection);
                });
        },
        m_session, m_services.seams);
}

void Principal::excluir() {
    showOnce(
        m_frmExclusao, [this](TaxpayerListWindow* window) { linkTaxpayerList(window); }, m_session,
        m_services.seams);
}

void Principal::openAccountant() {
    reenable();
    frmContador::showWindow(m_services);
}

void Principal::envios() {
    showOnce(
        m_frmEnvios, [](frmEnvios*) {}, m_session, *m_services.journal, m_services.seams);
}

void Principal::sobre() {
    auto* about = new Sobre;
    connect(about, &QDialog::finished, this, [this] {
        show();
        raise();
        reenable();
    });
    about->show();
    setEnabled(false);
}

void Principal::transmitir() {
    const std::optional<Accountant> contador = transmissionAccountant(m_services, [this] { reenable(); });
    if (!contador)
        return;
    m_session.setThisCont_cpf_cnpj(contador->cont_cpf_cnpj);

    const Result<std::optional<Taxpayer>> taxpayer = findTaxpayer(m_services.seams.folder, m_session.IESel());
    if (!taxpayer) {
        showDatabaseError(m_services.seams.messages, taxpayer.error());
        return;
    }
    m_services.seams.messages.show(
        QStringLiteral("Informação"),
        QStringLiteral("O Certificado que será solicitado durante a transmissão é do contador "
                       "responsável"),
        MessageIcon::Information);
    if (!*taxpayer) {
        showDatabaseError(m_services.seams.messages,
                          AppError{3021, AppTexts::programTitle,
                                   QStringLiteral("Nenhum registro atual: o contribuinte ") +
                                       m_session.IESel() + QStringLiteral(" não está cadastrado.")});
        return;
    }

    if (!(*taxpayer)->OptanteSimples) {
        setEnabled(false);
        appendWorkYears(showOnce(
                            m_frmUpload, [this](UploadWindow* window) { linkTransmitting(window); },
                            m_session, m_services),
                        m_session.anoTrabalho());
    } else {
        appendWorkYears(showOnce(
                            m_frmUploadSimples, [this](UploadWindow* window) { linkTransmitting(window); },
                            m_session, m_services),
                        m_session.anoTrabalho());
    }
}

void Principal::closeEvent(QCloseEvent* event) {
    event->accept();
    m_services.seams.platform.quit();
}

} // namespace fiscora
