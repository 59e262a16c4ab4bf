#pragma once

#include "core/AppError.h"
#include "data/TransmissionJournal.h"
#include "net/Upload.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

namespace fiscora {

class ServerAddress;

// What one upload sends, for which taxpayer, and what the journal keeps of it.
struct TransmissionOrder {
    TransmissionKind kind = TransmissionKind::Gia;
    QString ie;
    QString companyName;
    QString chave;              // the key the address carries
    QString accountantDocument; // as stored, with its punctuation
    QList<JournalGia> gias;     // GIA: the GIAs sent
    // GIA: the database sent (an export, or the package made from a text file) and the file the
    // user chose (the export again, or the text file). PGDAS: the document, in both.
    QString databasePath;
    QString chosenPath;
    QString fileName; // the upload's file name: the chosen file's name
    QString certificateHolder;
    QString certificateSerial;
    QDateTime serverDate;
};

// The PGDAS window pauses around the send (the server has always been sent its document so):
// before handing the request over, and after it, before the outcome is reported.
struct TransmissionPauses {
    int beforeSendMs = 0;
    int afterSendMs = 0;
};
// A PGDAS document's, in the window and in the batch.
inline constexpr TransmissionPauses kPgdasPauses{50, 100};

// One transmission, widget-free, shared by the upload windows, the batch and the command line:
// the address from the settings, the content's files opened (and read as they are sent), the
// journal's row written before the first byte and completed with the outcome, the upload and its
// events. The caller shows the events and asks for the list again.
//
//   start() -> connected() -> sendProgress()... -> sendComplete()
//     -> answered(text) | closedWithoutAnswer() | failed(error)
//
// After an outcome nothing follows but, maybe, journalFailed(). The outcome's event waits until
// the journal holds the outcome (another program may hold the database for a while; the write is
// tried again later, for the journal's retry limit), so a list asked for on the event finds the row
// completed.
// Time limits of an upload: the connection, the answer after the send, and a send that makes
// no progress.
struct TransmissionLimits {
    int connectMs = UploadSession::kConnectTimeoutMs;
    int answerMs = UploadSession::kAnswerTimeoutMs;
    int sendStallMs = UploadSession::kSendStallTimeoutMs;
};

class Transmission final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Transmission)

public:
    // Why nothing was sent: the user is told in the way each kind is told.
    struct Refusal {
        enum class Kind {
            InvalidHost, // "Invalid Host"
            File,        // a file of the content could not be opened: its description
            Journal,     // the journal's row could not be written: the database report
        };
        Kind kind;
        AppError error;
    };

    // The journal records the upload; the folder's settings name the server. Both outlive the
    // transmission.
    Transmission(TransmissionJournal& journal, const TransmissionLimits& limits, const ProgramFolder& folder,
                 QObject* parent = nullptr);
    ~Transmission() override;

    // Everything up to the connection; the request goes out once connected. Only once.
    std::optional<Refusal> start(const TransmissionOrder& order, TransmissionPauses pauses = {});
    // Ends the upload at once; its row says it was interrupted. No event follows.
    void abort();

    // Connecting, sending, waiting for the answer, or the outcome not yet reported (its journal
    // write, the pause after the send).
    bool busy() const;
    // Answered, closed without answer or failed: the outcome is known.
    bool ended() const;
    // The whole request was handed over and no proxy refused it: the server may have recorded it.
    bool requestSent() const { return m_sent && !m_refusedByProxy; }
    // A proxy answered in the server's place and refused the upload: nothing was delivered.
    bool refusedByProxy() const { return m_refusedByProxy; }
    qint64 journalId() const { return m_journalId; }

    // Why the journal does not hold the outcome, once the write was given up; none otherwise.
    const std::optional<AppError>& journalError() const { return m_journalError; }

    // The first line of the answer's body (of its status line when the answer has no body).
    static QString answerFirstLine(const QByteArray& answer);

Q_SIGNALS:
    void connected();
    void sendProgress(int percent);
    void sendComplete();
    void answered(const QString& text);
    void closedWithoutAnswer();
    void failed(const AppError& error);
    // The journal could not record the outcome (the upload itself went as its event says).
    void journalFailed(const AppError& error);

private:
    // The address of an order (with the blank before the path the server has always received).
    static QString address(const TransmissionOrder& order, const ServerAddress& server);
    // Completes the row, then emits the outcome's event.
    void complete(TransmissionOutcome outcome, const QString& detail, std::function<void()> event);
    // One try to write the outcome; a busy database is tried again later, within the limit.
    void writeOutcome();
    void digestSentContent();

    TransmissionJournal& m_journal;
    TransmissionLimits m_limits;
    const ProgramFolder& m_folder;
    QPointer<UploadSession> m_upload;
    TransmissionOrder m_order;
    QList<UploadFilePiece> m_content;
    qint64 m_journalId = 0; // set once started
    bool m_sent = false;
    bool m_refusedByProxy = false;
    bool m_completed = false;
    QDeadlineTimer m_outcomeNotBefore; // the end of the pause after the send
    bool m_outcomeDue = false;         // the outcome waits for that pause
    bool m_digesting = false;
    bool m_digested = false;
    // The outcome on its way to the journal.
    TransmissionOutcome m_outcome = TransmissionOutcome::Sending;
    QString m_outcomeDetail;
    std::function<void()> m_outcomeEvent;
    bool m_writePending = false;
    QElapsedTimer m_writing;
    int m_retryDelayMs = 0;
    std::optional<AppError> m_journalError;
};

} // namespace fiscora
