#include "transmission/Transmission.h"

#include "core/ServerAddress.h"
#include "core/UrlParts.h"
#include "data/LocalDatabase.h"
#include "net/ContentDigest.h"
#include "net/Transport.h"
#include "transmission/PgdasAnswer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <utility>

namespace fiscora {

namespace {

constexpr int kFirstRetryMs = 250;
constexpr int kLongestRetryMs = 4000;

constexpr qint64 kDigestBeforeBytes = qint64(8) << 20;

QString numbersOf(const QList<JournalGia>& gias) {
    QStringList numbers;
    for (const JournalGia& gia : gias)
        numbers.append(gia.number);
    return numbers.join(QLatin1Char(','));
}

Result<QList<UploadFilePiece>> contentOf(const TransmissionOrder& order) {
    if (order.kind == TransmissionKind::Gia)
        return GiaContentPieces(order.databasePath, order.chosenPath);
    const Result<UploadFilePiece> document = UploadFile(order.databasePath);
    if (!document)
        return document.error();
    return QList<UploadFilePiece>{*document};
}

QString script(TransmissionKind kind) {
    return kind == TransmissionKind::Gia ? QStringLiteral("xt_upload_1_15_01.php")
                                         : QStringLiteral("xt_upload_simples.php");
}

} // namespace

Transmission::Transmission(TransmissionJournal& journal, const TransmissionLimits& limits,
                           const ProgramFolder& folder, QObject* parent)
    : QObject(parent)
    , m_journal(journal)
    , m_limits(limits)
    , m_folder(folder) {
    // Whatever window holds it, an upload cut short by the program's end is recorded as such.
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &Transmission::abort);
}

Transmission::~Transmission() {
    abort();
}

QString Transmission::address(const TransmissionOrder& order, const ServerAddress& server) {
    return server.upload(script(order.kind), QStringLiteral("contador=") + order.accountantDocument +
                                                 QStringLiteral("&chave=") + order.chave +
                                                 QStringLiteral("&gias=") + numbersOf(order.gias));
}

QString Transmission::answerFirstLine(const QByteArray& answer) {
    QByteArrayView text(answer);
    if (text.startsWith("HTTP/")) {
        const qsizetype body = text.indexOf("\r\n\r\n");
        if (body >= 0 && body + 4 < text.size())
            text = text.sliced(body + 4);
    }
    const qsizetype end = text.indexOf('\n');
    return QString::fromUtf8(end >= 0 ? text.first(end) : text).trimmed();
}

bool Transmission::busy() const {
    return (m_upload && m_upload->isBusy()) || m_writePending || m_outcomeDue;
}

bool Transmission::ended() const {
    return m_completed && !busy();
}

std::optional<Transmission::Refusal> Transmission::start(const TransmissionOrder& order,
                                                         TransmissionPauses pauses) {
    if (m_journalId != 0)
        return Refusal{Refusal::Kind::File, AppError::message(QStringLiteral("Este envio já foi feito."))};
    m_order = order;
    // The settings are read once: the address and the port must agree.
    const ServerAddress server = ServerAddress::fromSettings(m_folder);
    const UrlParts parts = SplitUrl(address(order, server));
    if (parts.Host.isEmpty())
        return Refusal{Refusal::Kind::InvalidHost, AppError::message(kInvalidHostText)};
    // Sending without the file would only earn a refusal the user cannot make sense of.
    const Result<QList<UploadFilePiece>> content = contentOf(order);
    if (!content)
        return Refusal{Refusal::Kind::File, content.error()};
    m_content = *content;

    JournalEntry entry;
    entry.serverDate = order.serverDate;
    entry.ie = order.ie;
    entry.companyName = order.companyName;
    entry.chave = order.chave;
    entry.kind = order.kind;
    entry.gias = order.gias;
    entry.fileName = order.fileName;
    for (const UploadFilePiece& piece : m_content)
        entry.contentSize += piece.size;
    // A GIA package or a PGDAS document is read in a moment: its digest goes with the row. A large
    // content's is reckoned once it has gone out, while the server answers.
    if (entry.contentSize <= kDigestBeforeBytes) {
        if (const Result<ContentDigest> digest = digestContent(m_content))
            entry.contentSha256 = digest->sha256;
        m_digested = true;
    }
    entry.accountantDocument = order.accountantDocument;
    entry.certificateHolder = order.certificateHolder;
    entry.certificateSerial = order.certificateSerial;
    // No upload without its row: after a crash the journal must know it may have gone out.
    const Result<qint64> row = m_journal.startTransmission(entry);
    if (!row)
        return Refusal{Refusal::Kind::Journal, row.error()};
    m_journalId = *row;

    const UploadRequest request =
        BuildUploadRequest(m_content, parts, kUploadFieldName, order.fileName, kUploadContentType);
    m_upload = new UploadSession(this);
    m_upload->setConnectTimeout(m_limits.connectMs);
    m_upload->setAnswerTimeout(m_limits.answerMs);
    m_upload->setSendStallTimeout(m_limits.sendStallMs);
    UploadSession* upload = m_upload;

    connect(upload, &UploadSession::connected, this, [this, upload, request, pauses] {
        Q_EMIT connected();
        const auto send = [this, upload, request, pauses] {
            if (upload != m_upload || upload->state() != UploadSession::State::Connected)
                return;
            upload->send(request);
            m_outcomeNotBefore = QDeadlineTimer(pauses.afterSendMs);
        };
        if (pauses.beforeSendMs > 0)
            QTimer::singleShot(pauses.beforeSendMs, this, send);
        else
            send();
    });
    connect(upload, &UploadSession::sendProgress, this,
            [this](qint64, qint64, int percent) { Q_EMIT sendProgress(percent); });
    connect(upload, &UploadSession::sendComplete, this, [this] {
        m_sent = true;
        digestSentContent();
        Q_EMIT sendComplete();
    });
    connect(upload, &UploadSession::answered, this, [this](const QByteArray& answer) {
        const QString text = QString::fromUtf8(answer);
        QStringList markers;
        if (m_order.kind == TransmissionKind::Pgdas) {
            for (const PgdasRefusal& refusal : pgdasRefusalsIn(text))
                markers.append(refusal.marker);
        }
        if (markers.isEmpty())
            complete(TransmissionOutcome::Answered, answerFirstLine(answer),
                     [this, text] { Q_EMIT answered(text); });
        else
            complete(TransmissionOutcome::Refused, markers.join(QStringLiteral(", ")),
                     [this, text] { Q_EMIT answered(text); });
    });
    connect(upload, &UploadSession::closedWithoutAnswer, this, [this] {
        complete(TransmissionOutcome::Unknown, kClosedWithoutAnswerText,
                 [this] { Q_EMIT closedWithoutAnswer(); });
    });
    connect(upload, &UploadSession::failed, this, [this](const AppError& error) {
        m_refusedByProxy = error.source == kProxyRefusalSource;
        // Sent but unanswered: the server may have recorded it.
        complete(requestSent() ? TransmissionOutcome::Unknown : TransmissionOutcome::Failed,
                 error.description, [this, error] { Q_EMIT failed(error); });
    });

    const Result<quint16> port = UploadPort(parts, server.port());
    if (!port) {
        const AppError error = port.error();
        m_upload->abort();
        QTimer::singleShot(0, this, [this, error] {
            complete(TransmissionOutcome::Failed, error.description, [this, error] { Q_EMIT failed(error); });
        });
        return std::nullopt;
    }
    m_upload->setScheme(parts.Scheme.toLower());
    m_upload->connectToServer(parts.Host, *port, server);
    return std::nullopt;
}

void Transmission::abort() {
    // No later comes: the outcome waiting for the database gets one more try, and no event.
    m_outcomeDue = false;
    if (m_writePending) {
        m_writePending = false;
        static_cast<void>(m_journal.completeTransmission(m_journalId, m_outcome, m_outcomeDetail));
    }
    if (m_journalId == 0 || m_completed)
        return;
    if (m_upload)
        m_upload->abort();
    complete(m_sent ? TransmissionOutcome::Unknown : TransmissionOutcome::Failed,
             m_sent ? QStringLiteral("O envio foi interrompido antes da resposta do servidor.")
                    : QStringLiteral("O envio foi interrompido antes do fim."),
             {});
}

// The row first, so that a list asked for on the event already finds it completed.
void Transmission::complete(TransmissionOutcome outcome, const QString& detail, std::function<void()> event) {
    if (m_completed)
        return;
    m_completed = true;
    m_outcome = outcome;
    m_outcomeDetail = detail;
    m_outcomeEvent = std::move(event);
    m_writing.start();
    m_retryDelayMs = kFirstRetryMs;
    writeOutcome();
}

void Transmission::writeOutcome() {
    const Status done = m_journal.completeTransmission(m_journalId, m_outcome, m_outcomeDetail);
    if (!done && isDatabaseBusy(done.error()) &&
        m_writing.elapsed() + m_retryDelayMs <= m_journal.options().retryLimitMs) {
        m_writePending = true;
        QTimer::singleShot(m_retryDelayMs, this, [this] {
            if (m_writePending)
                writeOutcome();
        });
        m_retryDelayMs = std::min(2 * m_retryDelayMs, kLongestRetryMs);
        return;
    }
    m_writePending = false;
    if (!done)
        m_journalError = done.error();
    std::function<void()> event = std::exchange(m_outcomeEvent, {});
    const auto report = [this, event, done] {
        m_outcomeDue = false;
        if (event)
            event();
        if (!done)
            Q_EMIT journalFailed(done.error());
    };
    // The PGDAS window's pause after the send: whatever follows the outcome (the list asked for
    // again) reaches the server no sooner than it always has.
    if (const qint64 wait = m_outcomeNotBefore.remainingTime(); wait > 0) {
        m_outcomeDue = true;
        QTimer::singleShot(int(wait), this, [this, report] {
            if (m_outcomeDue)
                report();
        });
        return;
    }
    report();
}

// The digest of what went out, from the very files the upload read, on a thread of its own:
// reading a large file again must not hold up the answer, nor the window that deletes the
// transmission at the answer. The thread owns what it reads and ends on its own; its digest is
// recorded on the journal's thread, also when the transmission is gone by then (not when the
// journal is).
void Transmission::digestSentContent() {
    if (m_digesting || m_digested)
        return;
    m_digesting = true;
    const QList<UploadFilePiece> content = m_content;
    const qint64 id = m_journalId;
    auto sha256 = std::make_shared<QString>();
    QThread* digest = QThread::create([content, sha256] {
        if (const Result<ContentDigest> digest = digestContent(content))
            *sha256 = digest->sha256;
    });
    TransmissionJournal* journal = &m_journal;
    connect(digest, &QThread::finished, journal, [journal, id, sha256] {
        // Without it the row still tells what was sent and when.
        if (!sha256->isEmpty())
            static_cast<void>(journal->recordContentDigest(id, *sha256));
    });
    connect(digest, &QThread::finished, digest, &QObject::deleteLater);
    digest->start();
}

} // namespace fiscora
