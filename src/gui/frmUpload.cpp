#include "gui/frmUpload.h"

#include "core/AppTexts.h"
#include "core/MessageBox.h"
#include "core/Session.h"
#include "data/GiaConversion.h"
#include "data/GiaDatabaseReader.h"
#include "gui/BusyWindow.h"
#include "gui/ReadOnlyGrid.h"
#include "transmission/AcceptedYear.h"
#include "transmission/Services.h"
#include "transmission/TaxpayerList.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>

namespace fiscora {

const QString frmUpload::accountantAskText =
    QStringLiteral("Você deverá consultar a administração para saber quais documentos poderão ser aceitos. ");
const QString frmUpload::acceptedOnlyText = QStringLiteral("Somente serão aceitas GIAS de ");

namespace {

UploadWindow::Texts texts() {
    UploadWindow::Texts t;
    t.objectName = QStringLiteral("frmUpload");
    t.caption = QStringLiteral("Selecione o arquivo MDB para Entrega  - Prefeitura Municipal de Valdorra");
    t.widthTwips = 12390;
    t.heightTwips = 5385;
    t.title = QStringLiteral("Transmissão de Declaração RPA");
    t.instructions = QStringLiteral(
        "Selecione o arquivo que deseja enviar. Para contribuintes inscritos no Regime Periódico de "
        "Apuração o arquivo a ser enviado é com extensão .MDB / .PRF");
    return t;
}

} // namespace

frmUpload::frmUpload(Session& session, const Services& services, QWidget* parent)
    : UploadWindow(session, services, texts(), parent) {
    setUpGrid();
    connect(m_cmdUpload, &QPushButton::clicked, this, &frmUpload::send);
}

void frmUpload::setUpGrid() {
    setUpReadOnlyGrid(m_GridRefencias, {QStringLiteral("GIA"), QStringLiteral("Referência"),
                                        QStringLiteral("Regime tributário"), QStringLiteral("Tipo")});
    // A range of rows, chosen from either end.
    m_GridRefencias->setSelectionMode(QAbstractItemView::ContiguousSelection);
    const int widths[] = {500, 1000, 1600, 1400};
    const QFontMetrics metrics(m_GridRefencias->horizontalHeader()->font());
    for (int column = 0; column < 4; ++column) {
        // The header text is never cut, whatever the font.
        const int header =
            metrics.horizontalAdvance(m_GridRefencias->horizontalHeaderItem(column)->text()) + 14;
        m_GridRefencias->setColumnWidth(column, qMax(widths[column] / 15, header));
    }
    m_GridRefencias->horizontalHeader()->setStretchLastSection(true);
    // Room for every column beside a vertical scroll bar: the frame takes it from the lists.
    int columns = 0;
    for (int column = 0; column < 4; ++column)
        columns += m_GridRefencias->columnWidth(column);
    m_GridRefencias->setMinimumWidth(columns + 2 * m_GridRefencias->frameWidth() +
                                     m_GridRefencias->verticalScrollBar()->sizeHint().width() + 2);
    m_GridRefencias->horizontalHeaderItem(2)->setTextAlignment(Qt::AlignCenter);
}

void frmUpload::fileClick(const QString& path, const QString& name) {
    m_txtUploadFile = path;
    m_clickedFile = path;
    m_clickedName = name;
    if (name.toUpper().endsWith(QStringLiteral("PRF")))
        selPRF();
    else
        Command1();
}

void frmUpload::selPRF() {
    const QString package = m_services.seams.folder.file(QStringLiteral("atual.mdb"));
    GiaConversion::convert(
        m_services.reader, m_clickedFile, package,
        m_services.seams.folder.file(QStringLiteral("gia_limpa.mdb")), this,
        // The window stays inert until the package is made.
        [this, package, busy = BusyWindow::hold(this)](const GiaConversion::Outcome& conversion) mutable {
            // Let go first: the listing holds the window itself, and restores what it found.
            busy.reset();
            if (!conversion.ok) {
                m_cmdUpload->setEnabled(false);
                m_services.seams.messages.show(AppTexts::productTitle, conversion.message,
                                               MessageIcon::Critical);
                return;
            }
            m_txtUploadFile = package;
            Command1();
        });
}

void frmUpload::Command1() {
    m_session.setPathMDB(m_txtUploadFile);
    GiaDatabaseReader::listGias(m_services.reader, m_txtUploadFile, taxpayerIE(), this,
                                // The window stays inert until the list is shown.
                                [this, busy = BusyWindow::hold(this)](
                                    const GiaDatabaseReader::Listing& listing) { showListing(listing); });
}

void frmUpload::showListing(const GiaDatabaseReader::Listing& listing) {
    if (listing.outcome != GiaDatabaseReader::Outcome::Ok) {
        m_cmdUpload->setEnabled(false);
        m_services.seams.messages.show(AppTexts::productTitle, GiaDatabaseReader::message(listing.outcome));
        return;
    }
    // Rows of an earlier file must not be sent with this file's numbers.
    m_GridRefencias->clearSelection();
    m_GridRefencias->setRowCount(0);
    m_GridRefencias->setRowCount(static_cast<int>(listing.rows.size()));
    for (int row = 0; row < listing.rows.size(); ++row) {
        const GiaListRow& gia = listing.rows.at(row);
        const QString cells[] = {gia.number, gia.reference, gia.regime, gia.type};
        for (int column = 0; column < 4; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            if (column == 2)
                item->setTextAlignment(Qt::AlignCenter);
            m_GridRefencias->setItem(row, column, item);
        }
    }
    // The first GIA is the current row, as after any listing.
    m_GridRefencias->setCurrentCell(0, 0);
    m_cmdUpload->setEnabled(true);
    Q_EMIT mainWindowReleased();
}

QList<JournalGia> frmUpload::giaList() {
    const int b = m_GridRefencias->currentRow();
    if (b < 0)
        return {};
    // The selection runs from the row the user started on (a) to the current row (b).
    int top = b;
    int bottom = b;
    for (const QModelIndex& index : m_GridRefencias->selectionModel()->selectedRows()) {
        top = qMin(top, index.row());
        bottom = qMax(bottom, index.row());
    }
    const int a = b == top ? bottom : top;
    const QString anoTrabalho = m_session.anoTrabalho();
    QList<JournalGia> list;
    for (int row = qMin(a, b); row <= qMax(a, b); ++row) {
        const QTableWidgetItem* number = m_GridRefencias->item(row, 0);
        const QTableWidgetItem* reference = m_GridRefencias->item(row, 1);
        if (reference && acceptsYear(anoTrabalho, reference->text())) {
            list.append({number ? number->text() : QString(), reference->text()});
            ++m_giaCerta;
        } else if (!m_msgTrabalho) {
            m_msgTrabalho = true;
            m_services.seams.messages.show(AppTexts::programTitle,
                                           (a < b ? accountantAskText : acceptedOnlyText) + anoTrabalho);
        }
    }
    return list;
}

void frmUpload::send() {
    if (!readyToSend())
        return;
    TransmissionOrder order;
    order.kind = TransmissionKind::Gia;
    order.gias = giaList();
    if (m_giaCerta == 0)
        return;
    // A reference the server has already goes again only when the accountant says so.
    const QList<ListedTransmission> listed =
        forCurrentTaxpayer() ? m_session.listedTransmissions() : QList<ListedTransmission>();
    QStringList references;
    for (const JournalGia& gia : order.gias)
        references.append(gia.reference);
    if (!confirmResend(m_services.seams.messages, listedReferences(listed, references)))
        return;
    // The files are opened now and read as they are sent: a package converted again meanwhile
    // (another text file clicked) replaces atual.mdb, never the one this upload holds open.
    order.databasePath = m_txtUploadFile;
    order.chosenPath = m_clickedFile;
    startTransmission(order);
}

void frmUpload::answered(const QString&) {
    Q_EMIT mainWindowReleased();
    if (forCurrentTaxpayer())
        refreshList();
    else
        showAnsweredElsewhere();
    unload();
}

void frmUpload::uploadFailed(const AppError& error) {
    resetProgress();
    // Sent but unanswered: the server may have recorded it, and the list tells. A proxy's refusal
    // takes the place of the server's answer, after which the list is fetched again.
    showFailure(error);
    if (requestSent() || refusedByProxy())
        refreshList();
    if (leftBehind())
        unload();
}

void frmUpload::closedWithoutAnswer() {
    showClosedWithoutAnswer();
    refreshList();
    if (leftBehind())
        unload();
}

} // namespace fiscora
