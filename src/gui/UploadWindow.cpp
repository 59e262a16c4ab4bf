#include "gui/UploadWindow.h"

#include "core/AppTexts.h"
#include "core/MessageBox.h"
#include "core/Session.h"
#include "core/Settings.h"
#include "data/AccountantTable.h"
#include "data/LocalDatabase.h"
#include "gui/CertificateSelection.h"
#include "gui/DialogKeys.h"
#include "gui/FileBrowser.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <optional>
#include <utility>

namespace fiscora {

const QString UploadWindow::closedWithoutAnswerText =
    QStringLiteral("O servidor encerrou a conexão sem responder.");

namespace {

int g_connectTimeoutMs = 0;
int g_answerTimeoutMs = 0;

QLabel* label(const QString& name, const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

QPushButton* button(const QString& name, const QString& text, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    return b;
}

} // namespace

void UploadWindow::setTimeLimits(int connectMs, int answerMs) {
    g_connectTimeoutMs = connectMs;
    g_answerTimeoutMs = answerMs;
}

UploadWindow::UploadWindow(Session& session, const Texts& texts, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_session(session) {
    setObjectName(texts.objectName);
    setWindowTitle(texts.caption);
    // Closing unloads the window; Cancel only hides it.
    setAttribute(Qt::WA_DeleteOnClose);

    auto* Label1 = label(QStringLiteral("Label1"), texts.title, this);
    QFont titleFont = Label1->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.25);
    Label1->setFont(titleFont);
    auto* Label2 = label(QStringLiteral("Label2"), texts.instructions, this);
    Label2->setWordWrap(true);

    auto* browser = new FileBrowser(this);
    auto* Frame1 = new QGroupBox(QStringLiteral("Selecione as referências a enviar"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    m_GridRefencias = new QTableWidget(Frame1);
    m_GridRefencias->setObjectName(QStringLiteral("GridRefencias"));
    auto* frameLayout = new QVBoxLayout(Frame1);
    frameLayout->setContentsMargins(6, 6, 6, 6);
    frameLayout->addWidget(m_GridRefencias);

    m_cmdUpload = button(QStringLiteral("cmdUpload"), QStringLiteral("&Enviar"), this);
    m_cmdUpload->setEnabled(false);
    auto* Command2 = button(QStringLiteral("Command2"), QStringLiteral("&Cancelar"), this);
    m_ProgressBar1 = new QProgressBar(this);
    m_ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    m_ProgressBar1->setRange(0, 100);
    m_ProgressBar1->setValue(0);
    m_ProgressBar1->setTextVisible(false);
    m_lblSendSpeed = label(QStringLiteral("lblSendSpeed"), kProgressStartText, this);

    auto* lists = new QHBoxLayout;
    lists->addWidget(browser, 3);
    lists->addWidget(Frame1, 2);

    auto* progress = new QVBoxLayout;
    progress->setSpacing(2);
    progress->addWidget(m_ProgressBar1);
    progress->addWidget(m_lblSendSpeed);
    auto* bottom = new QHBoxLayout;
    bottom->addLayout(progress, 1);
    bottom->addSpacing(24);
    bottom->addWidget(m_cmdUpload, 0, Qt::AlignBottom);
    bottom->addWidget(Command2, 0, Qt::AlignBottom);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 8, 10, 10);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addSpacing(4);
    layout->addLayout(lists, 1);
    layout->addSpacing(4);
    layout->addLayout(bottom);

    resize(texts.widthTwips / 15, texts.heightTwips / 15);

    connect(browser, &FileBrowser::fileClicked, this,
            [this](const QString& path, const QString& name) { fileClick(path, name); });
    setDialogKeys(this, m_cmdUpload, Command2);
    connect(Command2, &QPushButton::clicked, this, &UploadWindow::cancel);

    // An unreadable accountant row is reported on opening; the window opens all the same.
    const Result<std::optional<Accountant>> contador = DadosContador();
    if (!contador)
        showDatabaseError(contador.error());
}

UploadWindow::~UploadWindow() {
    if (m_upload)
        m_upload->abort();
}

bool UploadWindow::uploadBusy() const {
    return (m_upload && m_upload->isBusy()) || m_pausing;
}

void UploadWindow::closeEvent(QCloseEvent* event) {
    if (m_upload)
        m_upload->abort();
    m_held.clear();
    event->accept();
    m_session.enableMainWindow();
}

void UploadWindow::unload() {
    close();
}

void UploadWindow::cancel() {
    m_session.enableMainWindow();
    hide();
}

bool UploadWindow::certificateStep() {
    // A second send while one runs would transmit the same declarations twice.
    if (uploadBusy())
        return false;
    QPointer<UploadWindow> self(this);
    std::optional<Certificate> certificate;
    CertificateSelection::transmissionVariant(this, m_session.DataServidor(), &certificate,
                                              &m_certificateAccepted);
    return self && m_certificateAccepted && !uploadBusy();
}

bool UploadWindow::readyToSend() {
    if (!certificateStep())
        return false;
    if (m_txtUploadFile.isEmpty()) {
        MessageBox::show(AppTexts::errorTitle, kNoFileChosenText, MessageIcon::Critical);
        return false;
    }
    return true;
}

QString UploadWindow::uploadUrl(const QString& script, const QString& gias) const {
    // The blank before the path is the address as the server has always received it.
    return QStringLiteral("http://") + serverHost() + QStringLiteral(":") + serverPort() +
           QStringLiteral(" /client/") + script + QStringLiteral("?contador=") +
           m_session.thisCont_cpf_cnpj() + QStringLiteral("&chave=") + m_session.lblChave() +
           QStringLiteral("&gias=") + gias;
}

void UploadWindow::resetProgress(const QString& text) {
    m_ProgressBar1->setValue(0);
    m_lblSendSpeed->setText(text.isEmpty() ? kProgressStartText : text);
}

bool UploadWindow::startUpload(const QString& url, const std::function<Result<QByteArray>()>& content,
                               const QString& fileName, Pauses pauses) {
    const UrlParts address = SplitUrl(url);
    if (address.Host.isEmpty()) {
        MessageBox::show(AppTexts::errorTitle, kInvalidHostText, MessageIcon::Critical);
        return false;
    }
    const Result<QByteArray> bytes = content();
    if (!bytes) {
        // Sending without the file would only earn a refusal the user cannot make sense of.
        MessageBox::show(AppTexts::errorTitle, bytes.error().description, MessageIcon::Critical);
        return false;
    }
    const UploadRequest request =
        BuildUploadRequest(*bytes, address, kUploadFieldName, fileName, kUploadContentType);

    if (m_upload)
        m_upload->deleteLater();
    m_held.clear();
    m_pausing = false;
    m_upload = new UploadSession(this);
    if (g_connectTimeoutMs > 0)
        m_upload->setConnectTimeout(g_connectTimeoutMs);
    if (g_answerTimeoutMs > 0)
        m_upload->setAnswerTimeout(g_answerTimeoutMs);
    UploadSession* upload = m_upload;
    connect(upload, &UploadSession::connected, this, [this, upload, request, pauses] {
        if (upload != m_upload)
            return;
        const auto send = [this, upload, request, pauses] {
            if (upload != m_upload || upload->state() != UploadSession::State::Connected)
                return;
            upload->send(request);
            if (pauses.afterSendMs > 0) {
                m_pausing = true;
                QTimer::singleShot(pauses.afterSendMs, this, [this] {
                    m_pausing = false;
                    const QList<std::function<void()>> held = std::exchange(m_held, {});
                    QPointer<UploadWindow> self(this);
                    for (const auto& event : held) {
                        if (!self)
                            return;
                        event();
                    }
                });
            }
        };
        if (pauses.beforeSendMs > 0)
            QTimer::singleShot(pauses.beforeSendMs, this, send);
        else
            send();
    });
    connect(upload, &UploadSession::sendProgress, this, [this](qint64, qint64, int percent) {
        deliver([this, percent] {
            m_ProgressBar1->setValue(percent);
            m_lblSendSpeed->setText(ProgressLabel(percent));
        });
    });
    connect(upload, &UploadSession::sendComplete, this,
            [this] { deliver([this] { m_lblSendSpeed->setText(kWaitingForAnswerText); }); });
    connect(upload, &UploadSession::answered, this, [this](const QByteArray& piece) {
        deliver([this, piece] { answered(QString::fromUtf8(piece)); });
    });
    connect(upload, &UploadSession::closedWithoutAnswer, this, [this] {
        deliver([this] {
            resetProgress(closedWithoutAnswerText);
            closedWithoutAnswer();
        });
    });
    connect(upload, &UploadSession::failed, this,
            [this](const AppError& error) { deliver([this, error] { uploadFailed(error); }); });

    const Result<quint16> port = UploadPort(address, serverPort());
    if (!port) {
        const AppError error = port.error();
        QTimer::singleShot(0, this, [this, error] { uploadFailed(error); });
        m_upload->abort();
        return true;
    }
    m_upload->connectToServer(address.Host, *port);
    return true;
}

void UploadWindow::deliver(std::function<void()> event) {
    if (m_pausing)
        m_held.append(std::move(event));
    else
        event();
}

} // namespace fiscora
