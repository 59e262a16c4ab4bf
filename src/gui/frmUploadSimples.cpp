#include "gui/frmUploadSimples.h"

#include "core/AppTexts.h"
#include "core/MessageBox.h"
#include "core/ModalGate.h"
#include "core/Session.h"
#include "core/WorkerJob.h"
#include "gui/BusyWindow.h"
#include "gui/ReadOnlyGrid.h"
#include "transmission/PgdasAnswer.h"
#include "transmission/Services.h"
#include "transmission/TaxpayerList.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

namespace fiscora {

const QString frmUploadSimples::invalidFileText = QStringLiteral("Arquivo Inválido");

namespace {

UploadWindow::Texts texts() {
    UploadWindow::Texts t;
    t.objectName = QStringLiteral("frmUploadSimples");
    t.caption = QStringLiteral(
        "Selecione o arquivo PDF - Declaracao - SIMPLES NACIONAL - Prefeitura Municipal de Valdorra");
    t.widthTwips = 12330;
    t.heightTwips = 5385;
    t.title = QStringLiteral("Transmissão de Declaração - Simples Nacional");
    t.instructions = QStringLiteral("Selecione o arquivo que deseja enviar.  Para contribuintes inscritos no "
                                    "Simples Nacional o arquivo a "
                                    "ser enviado é o DeclaraçãoDASN-_____.pdf");
    return t;
}

} // namespace

frmUploadSimples::frmUploadSimples(Session& session, const Services& services, QWidget* parent)
    : UploadWindow(session, services, texts(), parent) {
    setUpReadOnlyGrid(m_GridRefencias, {QStringLiteral("Documento"), QStringLiteral("Referência")});
    m_GridRefencias->horizontalHeader()->setStretchLastSection(true);
    connect(m_cmdUpload, &QPushButton::clicked, this, &frmUploadSimples::send);
}

void frmUploadSimples::fileClick(const QString& path, const QString& name) {
    m_txtUploadFile = path;
    m_clickedName = name;
    m_reference.clear();
    m_GridRefencias->setRowCount(0);
    if (name.right(3).toLower() == QStringLiteral("pdf")) {
        Q_EMIT mainWindowReleased();
        // The reference is read first (Poppler, off the window thread): the question before a
        // second send needs it. The window stays inert meanwhile.
        m_cmdUpload->setEnabled(false);
        runWorkerJob<Result<PgdasDocument>>(
            m_services.seams.gate, this,
            [path](const std::atomic<bool>&) { return PgdasDocument::read(path); },
            [this, path, busy = BusyWindow::hold(this)](Result<PgdasDocument> document) mutable {
                busy.reset();
                if (path != m_txtUploadFile)
                    return;
                showDocument(document);
                // Whatever the text says, the server judges the document, as it always has.
                m_cmdUpload->setEnabled(true);
            });
    } else {
        m_cmdUpload->setEnabled(false);
        m_services.seams.messages.show(AppTexts::programTitle, invalidFileText);
    }
}

void frmUploadSimples::showDocument(const Result<PgdasDocument>& document) {
    m_reference = document ? document->reference : QString();
    QString shown = m_reference;
    if (!document)
        shown = document.error().description;
    else if (m_reference.isEmpty())
        shown = QStringLiteral("não encontrada no documento");
    m_GridRefencias->setRowCount(1);
    m_GridRefencias->setItem(0, 0, new QTableWidgetItem(m_clickedName));
    auto* reference = new QTableWidgetItem(shown);
    reference->setToolTip(shown);
    m_GridRefencias->setItem(0, 1, reference);
}

void frmUploadSimples::send() {
    if (!readyToSend())
        return;
    // A reference the server has already goes again only when the accountant says so.
    const QList<ListedTransmission> listed =
        forCurrentTaxpayer() ? m_session.listedTransmissions() : QList<ListedTransmission>();
    if (!confirmResend(m_services.seams.messages, listedReferences(listed, {m_reference}),
                       TransmissionKind::Pgdas))
        return;
    TransmissionOrder order;
    order.kind = TransmissionKind::Pgdas;
    order.databasePath = m_txtUploadFile;
    order.chosenPath = m_txtUploadFile;
    startTransmission(order, kPgdasPauses);
}

void frmUploadSimples::answered(const QString& text) {
    Q_EMIT mainWindowReleased();
    m_cmdUpload->setEnabled(false);
    setAnswerPending(true);
    QTimer::singleShot(kPauseAfterAnswerMs, this, [this, text] {
        // The window goes with it: not under a box the user is answering.
        m_services.seams.gate.deliver(this, [this, text] {
            const QList<PgdasRefusal> refusals = pgdasRefusalsIn(text);
            for (const PgdasRefusal& refusal : refusals)
                showOutcome(AppTexts::programTitle, refusal.message);
            if (refusals.isEmpty() && !forCurrentTaxpayer())
                showAnsweredElsewhere();
            setAnswerPending(false);
            refreshList();
            unload();
        });
    });
}

void frmUploadSimples::uploadFailed(const AppError& error) {
    // A connection error closes the window without a word, unless the window's taxpayer is no
    // longer on screen: then nobody would learn the upload failed. A proxy's refusal takes the
    // place of the server's answer: it is told, and the list fetched again.
    if (!forCurrentTaxpayer() || refusedByProxy())
        showFailure(error);
    if (requestSent() || refusedByProxy())
        refreshList();
    unload();
}

void frmUploadSimples::closedWithoutAnswer() {
    Q_EMIT mainWindowReleased();
    if (!forCurrentTaxpayer())
        showClosedWithoutAnswer();
    refreshList();
    if (leftBehind())
        unload();
}

} // namespace fiscora
