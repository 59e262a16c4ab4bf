#include "gui/frmUploadSimples.h"

#include "core/AppTexts.h"
#include "core/MessageBox.h"
#include "core/ModalGate.h"
#include "core/Session.h"
#include "transmission/PgdasAnswer.h"

#include <QPushButton>
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

frmUploadSimples::frmUploadSimples(Session& session, TransmissionJournal& journal, QWidget* parent)
    : UploadWindow(session, journal, texts(), parent) {
    connect(m_cmdUpload, &QPushButton::clicked, this, &frmUploadSimples::send);
}

void frmUploadSimples::fileClick(const QString& path, const QString& name) {
    m_txtUploadFile = path;
    m_clickedName = name;
    if (name.right(3).toLower() == QStringLiteral("pdf")) {
        m_cmdUpload->setEnabled(true);
        m_session.enableMainWindow();
    } else {
        m_cmdUpload->setEnabled(false);
        MessageBox::show(AppTexts::programTitle, invalidFileText);
    }
}

void frmUploadSimples::send() {
    if (!readyToSend())
        return;
    TransmissionOrder order;
    order.kind = TransmissionKind::Pgdas;
    order.databasePath = m_txtUploadFile;
    order.chosenPath = m_txtUploadFile;
    startTransmission(order, {kPauseBeforeSendMs, kPauseAfterSendMs});
}

void frmUploadSimples::answered(const QString& text) {
    m_session.enableMainWindow();
    m_cmdUpload->setEnabled(false);
    setAnswerPending(true);
    QTimer::singleShot(kPauseAfterAnswerMs, this, [this, text] {
        // The window goes with it: not under a box the user is answering.
        ModalGate::deliver(this, [this, text] {
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
    m_session.enableMainWindow();
    if (!forCurrentTaxpayer())
        showClosedWithoutAnswer();
    refreshList();
    if (leftBehind())
        unload();
}

} // namespace fiscora
