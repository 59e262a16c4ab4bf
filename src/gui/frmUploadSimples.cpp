#include "gui/frmUploadSimples.h"

#include "core/AppTexts.h"
#include "core/MessageBox.h"
#include "core/Session.h"

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

const QList<frmUploadSimples::Refusal>& frmUploadSimples::refusals() {
    static const QList<Refusal> list{
        {QStringLiteral("ARQUIVO INVALIDO - EXTRATO"),
         QStringLiteral("O arquivo que você enviou (Extrato) não é correto para esta operação, por favor, "
                        "verifique o manual que está disponível no site.")},
        {QStringLiteral("ARQUIVO INVALIDO - RECIBO"),
         QStringLiteral("O arquivo que você enviou (Recibo) não é correto para esta operação, por favor, "
                        "verifique o manual que está disponível no site.")},
        {QStringLiteral("ARQUIVO INVALIDO - MODIFICADO"),
         QStringLiteral("O arquivo que você enviou foi modificado, você deverá fazer o download do arquivo "
                        "original no site PGDAS. Se você decidir imprimir e salvar o resultado da impressão "
                        "em PDF continuará dando erro, a maneira correta para isto é Salvar o arquivo.")},
    };
    return list;
}

QStringList frmUploadSimples::refusalMessages(const QString& answer) {
    QStringList messages;
    for (const Refusal& refusal : refusals()) {
        if (answer.contains(refusal.marker, Qt::CaseSensitive))
            messages.append(refusal.message);
    }
    return messages;
}

frmUploadSimples::frmUploadSimples(Session& session, QWidget* parent)
    : UploadWindow(session, texts(), parent) {
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
    m_txtUrl = uploadUrl(QStringLiteral("xt_upload_simples.php"), QString());
    const QString file = m_txtUploadFile;
    startUpload(
        m_txtUrl,
        [file]() -> Result<QList<UploadFilePiece>> {
            const Result<UploadFilePiece> piece = UploadFile(file);
            if (!piece)
                return piece.error();
            return QList<UploadFilePiece>{*piece};
        },
        m_clickedName, Pauses{kPauseBeforeSendMs, kPauseAfterSendMs});
}

void frmUploadSimples::answered(const QString& text) {
    m_session.enableMainWindow();
    m_cmdUpload->setEnabled(false);
    setAnswerPending(true);
    QTimer::singleShot(kPauseAfterAnswerMs, this, [this, text] {
        const QStringList messages = refusalMessages(text);
        for (const QString& message : messages)
            showOutcome(AppTexts::programTitle, message);
        if (messages.isEmpty() && !forCurrentTaxpayer())
            showAnsweredElsewhere();
        setAnswerPending(false);
        refreshList();
        unload();
    });
}

void frmUploadSimples::uploadFailed(const AppError& error) {
    // A connection error closes the window without a word, unless the window's taxpayer is no
    // longer on screen: then nobody would learn the upload failed.
    if (!forCurrentTaxpayer())
        showOutcome(AppTexts::errorTitle, error.description + (requestSent() ? checkListText : QString()),
                    MessageIcon::Warning);
    if (requestSent())
        refreshList();
    unload();
}

void frmUploadSimples::closedWithoutAnswer() {
    m_session.enableMainWindow();
    if (!forCurrentTaxpayer())
        showOutcome(AppTexts::errorTitle, closedWithoutAnswerText + checkListText, MessageIcon::Warning);
    refreshList();
    if (leftBehind())
        unload();
}

} // namespace fiscora
