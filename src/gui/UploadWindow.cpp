#include "gui/UploadWindow.h"

#include "certificates/PersonalCertificateSource.h"
#include "core/AppTexts.h"
#include "core/MessageBox.h"
#include "core/ModalGate.h"
#include "core/Session.h"
#include "data/AccountantTable.h"
#include "data/LocalDatabase.h"
#include "gui/CertificateSelection.h"
#include "gui/DatabaseErrorBox.h"
#include "gui/DialogKeys.h"
#include "gui/FileBrowser.h"
#include "net/Transport.h"
#include "transmission/Services.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <optional>
#include <utility>

namespace fiscora {

const QString UploadWindow::checkListText =
    QStringLiteral(" Confira na lista de transmissões se a entrega foi registrada antes de enviar de novo.");

namespace {

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

UploadWindow::UploadWindow(Session& session, const Services& services, const Texts& texts, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_session(session)
    , m_services(services)
    , m_taxpayerName(session.RSSel())
    , m_taxpayerIE(session.IESel())
    , m_taxpayerKey(session.accessKey()) {
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

    auto* browser = new FileBrowser(m_session, m_services.seams, this);
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
    const Result<std::optional<Accountant>> contador = DadosContador(m_services.seams.folder);
    if (!contador)
        showDatabaseError(m_services.seams.messages, contador.error());
}

UploadWindow::~UploadWindow() {
    if (m_transmission)
        m_transmission->abort();
}

bool UploadWindow::uploadBusy() const {
    return (m_transmission && m_transmission->busy()) || m_answerPending;
}

bool UploadWindow::forCurrentTaxpayer() const {
    return m_session.IESel() == m_taxpayerIE && m_session.accessKey() == m_taxpayerKey;
}

void UploadWindow::taxpayerLeft() {
    if (forCurrentTaxpayer())
        return;
    if (!uploadBusy()) {
        unload();
        return;
    }
    m_leftBehind = true;
    m_cmdUpload->setEnabled(false);
}

void UploadWindow::showOutcome(const QString& title, const QString& text, MessageIcon icon) {
    const QString prefix =
        forCurrentTaxpayer() ? QString()
                             : QStringLiteral("Contribuinte %1 (IE %2): ").arg(m_taxpayerName, m_taxpayerIE);
    m_services.seams.messages.show(title, prefix + text, icon);
}

void UploadWindow::showFailure(const AppError& error) {
    showOutcome(AppTexts::errorTitle, error.description + (requestSent() ? checkListText : QString()),
                MessageIcon::Warning);
}

void UploadWindow::showClosedWithoutAnswer() {
    showOutcome(AppTexts::errorTitle, kClosedWithoutAnswerText + checkListText, MessageIcon::Warning);
}

void UploadWindow::showAnsweredElsewhere() {
    showOutcome(AppTexts::productTitle,
                QStringLiteral("o servidor respondeu ao envio. Selecione este contribuinte para ver a "
                               "lista de transmissões."),
                MessageIcon::Information);
}

void UploadWindow::refreshList() {
    if (forCurrentTaxpayer())
        Q_EMIT transmissionsChanged();
}

void UploadWindow::closeEvent(QCloseEvent* event) {
    if (m_answerPending) {
        // The answer is in and its handling waits: it is still shown and the list refreshed,
        // then the window unloads.
        event->ignore();
        hide();
        Q_EMIT mainWindowReleased();
        return;
    }
    if (m_transmission)
        m_transmission->abort();
    event->accept();
    Q_EMIT mainWindowReleased();
}

void UploadWindow::unload() {
    close();
}

void UploadWindow::cancel() {
    Q_EMIT mainWindowReleased();
    hide();
}

bool UploadWindow::certificateStep() {
    // A second send while one runs would transmit the same declarations twice.
    if (uploadBusy())
        return false;
    std::optional<Certificate> certificate;
    bool accepted = m_certificate.has_value();
    const CertificateSelection::Outcome outcome = CertificateSelection::transmissionVariant(
        m_services.seams, m_services.certificates, this, m_session.DataServidor(), &certificate, &accepted,
        PersonalCertificateSource(m_services.tokens));
    if (outcome == CertificateSelection::Outcome::Accepted)
        m_certificate = certificate;
    else if (!accepted)
        m_certificate.reset();
    return m_certificate && !uploadBusy();
}

bool UploadWindow::readyToSend() {
    if (!certificateStep())
        return false;
    if (m_txtUploadFile.isEmpty()) {
        m_services.seams.messages.show(AppTexts::errorTitle, kNoFileChosenText, MessageIcon::Critical);
        return false;
    }
    return true;
}

void UploadWindow::resetProgress(const QString& text) {
    m_ProgressBar1->setValue(0);
    m_lblSendSpeed->setText(text.isEmpty() ? kProgressStartText : text);
}

bool UploadWindow::startTransmission(TransmissionOrder order, TransmissionPauses pauses) {
    order.ie = m_taxpayerIE;
    order.companyName = m_taxpayerName;
    order.chave = m_taxpayerKey;
    order.accountantDocument = m_session.thisCont_cpf_cnpj();
    order.fileName = m_clickedName;
    order.serverDate = m_session.DataServidor();
    if (m_certificate) {
        order.certificateHolder = m_certificate->subjectName();
        order.certificateSerial = m_certificate->serialNumber();
    }

    if (m_transmission)
        m_transmission->deleteLater();
    auto* transmission =
        new Transmission(*m_services.journal, m_services.transmission, m_services.seams.folder, this);
    m_transmission = transmission;
    // What the upload tells reaches the window when no box is up.
    connect(transmission, &Transmission::sendProgress, this, [this](int percent) {
        m_services.seams.gate.deliver(this, [this, percent] {
            m_ProgressBar1->setValue(percent);
            m_lblSendSpeed->setText(ProgressLabel(percent));
        });
    });
    connect(transmission, &Transmission::sendComplete, this, [this] {
        m_services.seams.gate.deliver(this, [this] { m_lblSendSpeed->setText(kWaitingForAnswerText); });
    });
    connect(transmission, &Transmission::answered, this, [this](const QString& text) {
        m_services.seams.gate.deliver(this, [this, text] { answered(text); });
    });
    connect(transmission, &Transmission::closedWithoutAnswer, this, [this] {
        m_services.seams.gate.deliver(this, [this] {
            resetProgress(kClosedWithoutAnswerText);
            closedWithoutAnswer();
        });
    });
    connect(transmission, &Transmission::failed, this, [this](const AppError& error) {
        m_services.seams.gate.deliver(this, [this, error] { uploadFailed(error); });
    });
    connect(transmission, &Transmission::journalFailed, this, [this](const AppError& error) {
        m_services.seams.gate.deliver(this,
                                      [this, error] { showDatabaseError(m_services.seams.messages, error); });
    });

    const std::optional<Transmission::Refusal> refused = transmission->start(order, pauses);
    if (!refused)
        return true;
    m_transmission = nullptr;
    transmission->deleteLater();
    switch (refused->kind) {
    case Transmission::Refusal::Kind::InvalidHost:
    case Transmission::Refusal::Kind::File:
        m_services.seams.messages.show(AppTexts::errorTitle, refused->error.description,
                                       MessageIcon::Critical);
        break;
    case Transmission::Refusal::Kind::Journal:
        showDatabaseError(m_services.seams.messages, refused->error);
        break;
    }
    return false;
}

} // namespace fiscora
