#pragma once

#include "certificates/Certificate.h"
#include "core/AppError.h"
#include "core/MessageBox.h"
#include "core/Result.h"
#include "net/Upload.h"
#include "transmission/Transmission.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace fiscora {

struct Services;

class Session;

// What the GIA and PGDAS upload windows share: their controls and layout, the hidden fields, the
// file browser, Cancel and unloading, the certificate step and the upload itself with its
// progress display. Each window adds its own file click, content and answer handling.
class UploadWindow : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UploadWindow)

public:
    ~UploadWindow() override;

    // Connected, sending or waiting for the answer, or the answer not yet shown.
    bool uploadBusy() const;

    // The taxpayer the window was opened for: it lists, sends and reports for this one only.
    QString taxpayerIE() const { return m_taxpayerIE; }
    // The main window's current taxpayer changed: an idle window unloads; one whose upload is
    // still running stays until its outcome is shown, naming the taxpayer it was for.
    void taxpayerLeft();

    // Added when the request went out but its outcome is unknown.
    static const QString checkListText;

Q_SIGNALS:
    // The main window may be enabled again: the window was cancelled, closed, or got to a point
    // of its work that gives the main window back.
    void mainWindowReleased();
    // The current taxpayer's transmissions may have changed on the server: worth listing again.
    void transmissionsChanged();

public:
    // What a window says of itself.
    struct Texts {
        QString objectName;
        QString caption;
        int widthTwips = 0;
        int heightTwips = 0;
        QString title;        // Label1
        QString instructions; // Label2
    };

protected:
    UploadWindow(Session& session, const Services& services, const Texts& texts, QWidget* parent);

    void closeEvent(QCloseEvent* event) override;

    // A click in the file list.
    virtual void fileClick(const QString& path, const QString& name) = 0;
    // The first data of the answer.
    virtual void answered(const QString& text) = 0;
    // Any failure of the connection, of the send or of the wait for the answer.
    virtual void uploadFailed(const AppError& error) = 0;
    // The server closed the connection after the send and said nothing; the progress display
    // already shows kClosedWithoutAnswerText.
    virtual void closedWithoutAnswer() = 0;

    // The whole request was handed to the system: the server may have recorded it.
    bool requestSent() const { return m_transmission && m_transmission->requestSent(); }
    // A proxy refused the upload in the server's place.
    bool refusedByProxy() const { return m_transmission && m_transmission->refusedByProxy(); }
    // The window's taxpayer is still the main window's current one.
    bool forCurrentTaxpayer() const;
    // An outcome message; it names the taxpayer when another one is current by now.
    void showOutcome(const QString& title, const QString& text, MessageIcon icon = MessageIcon::None);
    // The outcome of a failed upload; a request that went out may have been recorded all the same.
    void showFailure(const AppError& error);
    // The outcome of an upload the server closed without answering.
    void showClosedWithoutAnswer();
    // The server's answer to an upload for a taxpayer that is no longer current.
    void showAnsweredElsewhere();
    // Tells the transmissions changed, when they are the current taxpayer's (the window's).
    void refreshList();
    // The answer is in but its handling waits (the PGDAS pause): closing only hides the window.
    void setAnswerPending(bool pending) { m_answerPending = pending; }
    // The window outlived its taxpayer: once the outcome is shown it unloads.
    bool leftBehind() const { return m_leftBehind; }

    // SelecionarCertificado, transmission variant. True when the send may go on: a certificate
    // is accepted (now or earlier in this window) and no upload runs.
    bool certificateStep();
    // The certificate step, then a file must have been chosen ("No File Chosen" otherwise).
    bool readyToSend();
    // The transmission of the order, completed with what the window knows (its taxpayer, the
    // accountant, the certificate, the chosen file's name). What keeps it from starting is shown
    // ("Invalid Host", an unreadable file under "ERROR", the database report); false then.
    bool startTransmission(TransmissionOrder order, TransmissionPauses pauses = {});
    // Back to the start of the progress display, with a text of its own when given.
    void resetProgress(const QString& text = {});
    // Closes the window for good: the main window released and the window deleted.
    void unload();
    // Cancel: the main window released, this window hidden and kept as it is.
    void cancel();

    Session& m_session;
    const Services& m_services;
    const QString m_taxpayerName;
    const QString m_taxpayerIE;
    const QString m_taxpayerKey;
    QTableWidget* m_GridRefencias;
    QPushButton* m_cmdUpload;
    QProgressBar* m_ProgressBar1;
    QLabel* m_lblSendSpeed;

    QString m_txtUploadFile;
    // The name of the file clicked in the list: the upload's file name.
    QString m_clickedName;

private:
    QPointer<Transmission> m_transmission;
    // The certificate accepted in this window, until a later choice is refused: the journal names it.
    std::optional<Certificate> m_certificate;
    bool m_answerPending = false;
    bool m_leftBehind = false;
};

} // namespace fiscora
