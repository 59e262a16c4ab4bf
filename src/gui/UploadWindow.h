#pragma once

#include "core/AppError.h"
#include "core/Result.h"
#include "core/UrlParts.h"
#include "net/Upload.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace fiscora {

class Session;

// What the GIA and PGDAS upload windows share: their controls and layout, the hidden fields, the
// file browser, Cancel and unloading, the certificate step and the upload itself with its
// progress display. Each window adds its own file click, content and answer handling.
class UploadWindow : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UploadWindow)

public:
    ~UploadWindow() override;

    // The hidden fields, kept as the window's state.
    QString txtUrl() const { return m_txtUrl; }
    QString txtUploadFile() const { return m_txtUploadFile; }

    // Connected, sending or waiting for the answer.
    bool uploadBusy() const;

    // Time limits of the uploads started from now on: the connection, and the answer after the
    // send (tests shorten them). Zero restores the upload's own.
    static void setTimeLimits(int connectMs, int answerMs);

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
    // Pauses around the send call; an event of the upload that comes during the pause after it
    // is handled once the pause is over.
    struct Pauses {
        int beforeSendMs = 0;
        int afterSendMs = 0;
    };

    UploadWindow(Session& session, const Texts& texts, QWidget* parent);

    void closeEvent(QCloseEvent* event) override;

    // A click in the file list.
    virtual void fileClick(const QString& path, const QString& name) = 0;
    // The first data of the answer.
    virtual void answered(const QString& text) = 0;
    // Any failure of the connection, of the send or of the wait for the answer.
    virtual void uploadFailed(const AppError& error) = 0;
    // The server closed the connection after the send and said nothing; the progress display
    // already shows closedWithoutAnswerText.
    virtual void closedWithoutAnswer() = 0;

    static const QString closedWithoutAnswerText;

    // SelecionarCertificado, transmission variant. True when the send may go on: a certificate
    // is accepted (now or earlier in this window) and no upload runs.
    bool certificateStep();
    // The certificate step, then a file must have been chosen ("No File Chosen" otherwise).
    bool readyToSend();
    // The address of an upload script on the configured server, for these GIA numbers.
    QString uploadUrl(const QString& script, const QString& gias) const;
    // The sending steps: the address taken apart ("Invalid Host" when it has no host), the
    // content read (its failure shown under "ERROR"), the request built, the connection opened;
    // the request goes out once connected. False when nothing was started.
    bool startUpload(const QString& url, const std::function<Result<QByteArray>()>& content,
                     const QString& fileName, Pauses pauses);
    // Back to the start of the progress display, with a text of its own when given.
    void resetProgress(const QString& text = {});
    // Closes the window for good: the main window is enabled and the window deleted.
    void unload();
    // Cancel: the main window enabled, this window hidden and kept as it is.
    void cancel();

    Session& m_session;
    QTableWidget* m_GridRefencias;
    QPushButton* m_cmdUpload;
    QProgressBar* m_ProgressBar1;
    QLabel* m_lblSendSpeed;

    QString m_txtUrl;
    QString m_txtUploadFile;
    // The name of the file clicked in the list: the upload's file name.
    QString m_clickedName;

private:
    // Runs an event of the upload now, or after the pause that follows the send.
    void deliver(std::function<void()> event);

    QPointer<UploadSession> m_upload;
    bool m_certificateAccepted = false;
    bool m_pausing = false;
    QList<std::function<void()>> m_held;
};

} // namespace fiscora
