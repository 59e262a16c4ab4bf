#pragma once

#include "core/Result.h"
#include "core/UrlParts.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

class QFile;
class QSocketNotifier;
class QTimer;

namespace fiscora {

class Connection;
class ServerAddress;

// The upload of a file to the server: one HTTP/1.0 POST with a multipart/form-data body holding
// one file part, whose bytes our code writes itself on a connection the transport opened (TCP,
// TLS, proxy). Both upload windows use this.

inline const QString kUploadFieldName = QStringLiteral("objArquivo");
inline const QString kUploadContentType = QStringLiteral("application/octet-stream");

// Texts of the upload windows (title "ERROR").
inline const QString kInvalidHostText = QStringLiteral("Invalid Host");
inline const QString kNoFileChosenText = QStringLiteral("No File Chosen");
inline const QString kWaitingForAnswerText = QStringLiteral("Aguarde, carregando informações");
inline const QString kProgressStartText = QStringLiteral("100% restante");

// A piece of an upload's content that stays on disk: `size` bytes of `path`, read as they are
// sent, so a large file is neither held in memory nor read before the connection is up.
// A piece with a path is only ever made by UploadFile, so `file` is always open: every reader
// reads from it and never reopens the file by name.
struct UploadFilePiece {
    QString path;
    qint64 size = 0;
    QByteArray bytes; // used instead when path is empty (the GIA marker, a content in memory)
    // The file as it was when the piece was made, kept open: a file put in its place meanwhile
    // (a new conversion renames a new atual.mdb over the old) does not change what is sent.
    std::shared_ptr<QFile> file;
};

// The file as a piece, opened now. The error's description is the system's reason, in
// Portuguese.
Result<UploadFilePiece> UploadFile(const QString& path);
// The GIA content as pieces: database, marker, clicked file.
Result<QList<UploadFilePiece>> GiaContentPieces(const QString& databasePath, const QString& clickedPath);

// A request in pieces so a large file is never copied: `head` (header block and the part's
// headers), the content (the pieces of `files` in order), `tail` (the closing boundary, without a
// line end after it).
struct UploadRequest {
    QByteArray head;
    QByteArray tail;
    QString boundary;
    QList<UploadFilePiece> files;

    qint64 contentSize() const;
    qint64 size() const { return head.size() + contentSize() + tail.size(); }
};

// Path, query and host as `address` holds them, no encoding; header texts and the file name in
// Windows-1252. A fresh boundary of 32 characters from 0-9, A-Z and a-z each call. The files'
// content is read from disk while sending.
UploadRequest BuildUploadRequest(const QList<UploadFilePiece>& content, const UrlParts& address,
                                 const QString& fieldName, const QString& fileName,
                                 const QString& contentType);

// The port to connect to: the address's own, or the "port" setting when the address has none.
// Fails, in Portuguese, when neither is a usable port number (ServerAddress::portNumber).
Result<quint16> UploadPort(const UrlParts& address, const QString& portSetting);

// Percentage sent, rounded to the nearest integer with halves to the even neighbour, 0..100.
// A total of 0 counts as everything sent.
int ProgressPercent(qint64 total, qint64 remaining);
// "40% completo."
QString ProgressLabel(int percent);

// The progress display's rule: the total is the bytes remaining at the first report. A first
// report with nothing remaining (the request left in one piece) shows 100.
class UploadProgress {
public:
    int report(qint64 remaining);
    void reset() { m_total = 0; }

private:
    qint64 m_total = 0;
};

// One upload on the caller's thread: the transport (libcurl, CURLOPT_CONNECT_ONLY) connects,
// through the proxy and with TLS when the settings say so; then the request goes out in pieces as
// the connection drains (curl_easy_send) and the answer is read (curl_easy_recv), the socket
// watched by notifiers. Widget-free; the owning window shows what the events mean.
//
//   connectToServer() -> connected() -> send() -> sendProgress()... -> sendComplete()
//     -> answered(answer)                      (read to its end: its Content-Length, the close,
//                                              kMaxAnswerBytes or kAnswerEndTimeoutMs after its
//                                              first data)
//     -> closedWithoutAnswer()                 (the server closed and said nothing)
//     -> failed(error)                         at any point: refused, not found, certificate
//                                              refused, time limits, a proxy's refusal (source
//                                              kProxyRefusalSource), ...
//
// Each event comes once at most; after answered, closedWithoutAnswer or failed nothing follows.
// Deleting the session, or abort(), ends the upload silently.
class UploadSession final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UploadSession)

public:
    enum class State {
        Idle,
        Connecting,
        Connected, // connected, nothing handed over yet
        Sending,
        WaitingForAnswer,
        ReadingAnswer, // its first data came
        Answered,
        ClosedWithoutAnswer,
        Failed,
        Aborted,
    };

    // A connection (TLS and proxy included) that neither succeeds nor fails in this time is a
    // failure.
    static constexpr int kConnectTimeoutMs = 30'000;
    // While sending: no byte acknowledged by the server in this time (it stopped reading).
    static constexpr int kSendStallTimeoutMs = 30'000;
    // Sent and acknowledged, but no byte of an answer in this time: a failure.
    static constexpr int kAnswerTimeoutMs = 120'000;
    // The rest of an answer after its first data: what has come by then is the answer.
    static constexpr int kAnswerEndTimeoutMs = 5'000;
    static constexpr qint64 kMaxAnswerBytes = 64 * 1024;
    // Bytes of a file read at a time; the system's send queue asked for.
    static constexpr qint64 kChunkBytes = 256 * 1024;
    static constexpr qint64 kSendBufferBytes = 4 * 1024 * 1024;

    explicit UploadSession(QObject* parent = nullptr);
    ~UploadSession() override;

    void setConnectTimeout(int milliseconds) { m_connectTimeoutMs = milliseconds; }
    void setAnswerTimeout(int milliseconds) { m_answerTimeoutMs = milliseconds; }
    void setSendStallTimeout(int milliseconds) { m_sendStallTimeoutMs = milliseconds; }
    // "http" (the default) or "https": before connectToServer.
    void setScheme(const QString& scheme) { m_scheme = scheme; }

    State state() const { return m_state; }
    // Connected, sending, waiting for the answer or reading it: the window's "connected flag" is
    // state() == Connected || state() == Sending.
    bool isBusy() const;

    // Starts connecting, through the proxy and with the authorities of `server`; connected() or
    // failed() follows. Only from Idle.
    void connectToServer(const QString& host, quint16 port, const ServerAddress& server);
    // Hands the request over in pieces as the connection drains (through a plain HTTP proxy with
    // the request line in absolute form). Only when Connected.
    void send(const UploadRequest& request);
    // Closes the connection at once; no event follows.
    void abort();

Q_SIGNALS:
    void connected();
    // After each piece the system took: bytes of the request still to go, and the display's
    // percentage (UploadProgress, counted from this upload's first report).
    void sendProgress(qint64 bytesSent, qint64 bytesRemaining, int percent);
    void sendComplete();
    void answered(const QByteArray& answer);
    void closedWithoutAnswer();
    void failed(const AppError& error);

private:
    void onConnected(int code);
    void onReadable();
    void onTimeout();
    // While sending and waiting for the answer: progress is what the server acknowledged.
    void checkProgress();
    // Bytes handed over that the server has not acknowledged yet; -1 when unknown.
    qint64 unacknowledged() const;
    // The answer is in (or as much of it as will be read).
    bool answerComplete() const;
    void deliverAnswer();
    void writeMore();
    void fail(AppError error);
    void finish(State state);
    // The next bytes to hand over, at most kChunkBytes (none at the end); fails when a file
    // could not be read.
    Result<QByteArrayView> nextChunk();

    State m_state = State::Idle;
    std::unique_ptr<Connection> m_transfer;
    QTimer* m_timer = nullptr;
    QTimer* m_progressTimer = nullptr;
    int m_connectTimeoutMs = kConnectTimeoutMs;
    int m_answerTimeoutMs = kAnswerTimeoutMs;
    int m_sendStallTimeoutMs = kSendStallTimeoutMs;
    QString m_scheme = QStringLiteral("http");
    QString m_host;
    QString m_name; // the host as an address names it: an IPv6 address in brackets
    quint16 m_port = 0;
    UploadRequest m_request;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
    QByteArrayView m_pending; // of the current chunk, not yet taken by the system
    int m_piece = 0;          // the piece being handed over: head, the files..., tail
    qint64 m_pieceOffset = 0;
    QByteArray m_buffer;
    qint64 m_written = 0; // bytes the system took
    UploadProgress m_progress;
    int m_socket = -1;
    // The last progress seen: bytes taken, bytes still unacknowledged, and since when.
    qint64 m_markWritten = 0;
    qint64 m_markQueued = -1;
    QElapsedTimer m_sinceProgress;
    QByteArray m_answer;
};

} // namespace fiscora
