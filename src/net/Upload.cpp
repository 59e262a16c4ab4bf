#include "net/Upload.h"

#include "core/Cp1252.h"
#include "core/ServerAddress.h"
#include "net/NetworkLibrary.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTimer>

#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace fiscora {

namespace {

const QString kSource = QStringLiteral("UploadSession");

constexpr int kBoundaryLength = 32;
// Between the database and the clicked file in a GIA upload's content.
constexpr QByteArrayView kGiaContentMarker("###$$$***PRF***$$$###");

bool isBoundaryCharacter(int c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

AppError fileError(const QFile& file, const QString& path) {
    const QFileInfo info(path);
    QString text;
    if (path.isEmpty())
        text = QStringLiteral("Nenhum arquivo informado.");
    else if (!info.exists())
        text = QStringLiteral("Arquivo não encontrado: ") + path;
    else if (info.isDir())
        text = QStringLiteral("O caminho indica uma pasta, não um arquivo: ") + path;
    else if (!info.isReadable())
        text = QStringLiteral("Sem permissão para ler o arquivo: ") + path;
    else
        text = QStringLiteral("Não foi possível ler o arquivo ") + path + QStringLiteral(" (") +
               file.errorString() + QStringLiteral(").");
    return AppError{static_cast<qint64>(file.error()), QStringLiteral("UploadFile"), text};
}

// The request as an HTTP proxy is handed it: the request line names the whole address
// (origin "http://host[:port]"); nothing else changes.
UploadRequest throughHttpProxy(const UploadRequest& request, const QByteArray& origin) {
    UploadRequest proxied = request;
    proxied.head.insert(int(sizeof "POST ") - 1, origin);
    return proxied;
}

qint64 totalSize(const QList<UploadFilePiece>& pieces) {
    qint64 size = 0;
    for (const UploadFilePiece& piece : pieces)
        size += piece.size;
    return size;
}

UploadFilePiece memoryPiece(const QByteArray& bytes) {
    return UploadFilePiece{QString(), bytes.size(), bytes, {}};
}

// `length` characters drawn from 0-9, A-Z and a-z.
QString makeBoundary(int length) {
    QString boundary;
    boundary.reserve(length);
    auto* random = QRandomGenerator::global();
    while (boundary.size() < length) {
        const int r = static_cast<int>(random->bounded(127));
        if (isBoundaryCharacter(r))
            boundary.append(QLatin1Char(static_cast<char>(r)));
    }
    return boundary;
}

} // namespace

Result<UploadFilePiece> UploadFile(const QString& path) {
    auto file = std::make_shared<QFile>(path);
    if (path.isEmpty() || !file->open(QIODevice::ReadOnly))
        return fileError(*file, path);
    return UploadFilePiece{path, file->size(), {}, std::move(file)};
}

Result<QList<UploadFilePiece>> GiaContentPieces(const QString& databasePath, const QString& clickedPath) {
    const Result<UploadFilePiece> database = UploadFile(databasePath);
    if (!database)
        return database.error();
    const Result<UploadFilePiece> clicked = UploadFile(clickedPath);
    if (!clicked)
        return clicked.error();
    return QList<UploadFilePiece>{*database, memoryPiece(kGiaContentMarker.toByteArray()), *clicked};
}

qint64 UploadRequest::contentSize() const {
    return totalSize(files);
}

namespace {

// Header block, part headers and closing boundary around the content.
UploadRequest build(const QList<UploadFilePiece>& content, const UrlParts& address, const QString& fieldName,
                    const QString& fileName, const QString& contentType, const QString& boundary) {
    const QByteArray crlf("\r\n");
    const QByteArray mark = Cp1252::encode(boundary);

    const QByteArray partHead = "--" + mark + crlf + "Content-Disposition: form-data; name=\"" +
                                Cp1252::encode(fieldName) + "\"; filename=\"" + Cp1252::encode(fileName) +
                                "\"" + crlf + "Content-Type: " + Cp1252::encode(contentType) + crlf + crlf;
    const QByteArray tail = crlf + "--" + mark + "--";
    const qint64 bodyLength = partHead.size() + totalSize(content) + tail.size();

    const QByteArray header = "POST " + Cp1252::encode(address.Path) + "?" + Cp1252::encode(address.Query) +
                              " HTTP/1.0" + crlf + "Host: " + Cp1252::encode(address.Host) + crlf +
                              "Content-Type: multipart/form-data, boundary=" + mark + crlf +
                              "Content-Length: " + QByteArray::number(bodyLength) + crlf + crlf;
    return UploadRequest{header + partHead, tail, boundary, content};
}

} // namespace

UploadRequest BuildUploadRequest(const QList<UploadFilePiece>& content, const UrlParts& address,
                                 const QString& fieldName, const QString& fileName,
                                 const QString& contentType) {
    return build(content, address, fieldName, fileName, contentType, makeBoundary(kBoundaryLength));
}

Result<quint16> UploadPort(const UrlParts& address, const QString& portSetting) {
    const Result<quint16> port =
        ServerAddress::portNumber(address.Port == 0 ? portSetting.trimmed()
                                                    : (address.Port > 0 ? QString::number(address.Port)
                                                                        : QStringLiteral("fora do limite")));
    if (!port)
        return AppError{0, kSource, QStringLiteral("Não foi possível conectar: ") + port.error().description};
    return port;
}

int ProgressPercent(qint64 total, qint64 remaining) {
    if (total <= 0 || remaining <= 0)
        return 100;
    if (remaining >= total)
        return 0;
    const qint64 numerator = (total - remaining) * 100;
    qint64 percent = numerator / total;
    const qint64 twice = (numerator % total) * 2;
    if (twice > total || (twice == total && percent % 2 == 1))
        ++percent;
    return static_cast<int>(percent);
}

QString ProgressLabel(int percent) {
    return QString::number(percent) + QStringLiteral("% completo.");
}

int UploadProgress::report(qint64 remaining) {
    if (m_total == 0)
        m_total = remaining;
    return ProgressPercent(m_total, remaining);
}

UploadSession::UploadSession(QObject* parent)
    : QObject(parent)
    , m_timer(new QTimer(this))
    , m_progressTimer(new QTimer(this)) {
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &UploadSession::onTimeout);
    connect(m_progressTimer, &QTimer::timeout, this, &UploadSession::checkProgress);
}

UploadSession::~UploadSession() {
    delete m_readNotifier;
    delete m_writeNotifier;
}

bool UploadSession::isBusy() const {
    return m_state == State::Connecting || m_state == State::Connected || m_state == State::Sending ||
           m_state == State::WaitingForAnswer || m_state == State::ReadingAnswer;
}

void UploadSession::connectToServer(const QString& host, quint16 port, const ServerAddress& server) {
    if (m_state != State::Idle)
        return;
    m_host = host;
    m_name = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    m_port = port;
    m_state = State::Connecting;
    m_timer->start(m_connectTimeoutMs);
    const Result<const NetworkLibrary*>& library = networkLibrary();
    if (!library) {
        fail(library.error());
        return;
    }
    m_transfer = (*library)->connection();
    const QString url = m_scheme + QStringLiteral("://") + m_name + QLatin1Char(':') + QString::number(port) +
                        QLatin1Char('/');
    if (const Status started =
            m_transfer->connect(url, server, m_connectTimeoutMs, [this](int code) { onConnected(code); });
        !started)
        fail(started.error());
}

void UploadSession::send(const UploadRequest& request) {
    if (m_state != State::Connected)
        return;
    m_request = request;
    if (m_transfer->route().viaHttpProxy) {
        const QByteArray port = m_port == 80 ? QByteArray() : ':' + QByteArray::number(m_port);
        m_request = throughHttpProxy(request, "http://" + Cp1252::encode(m_name) + port);
    }
    m_pending = {};
    m_written = 0;
    m_piece = 0;
    m_pieceOffset = 0;
    m_progress.reset();
    m_state = State::Sending;
    m_markWritten = 0;
    m_markQueued = -1;
    m_sinceProgress.start();
    // Often enough that neither limit is overrun by much.
    m_progressTimer->start(qBound(10, qMin(m_sendStallTimeoutMs, m_answerTimeoutMs) / 4, 250));
    writeMore();
}

void UploadSession::abort() {
    if (m_state == State::Idle)
        m_state = State::Aborted;
    else if (isBusy())
        finish(State::Aborted);
}

// The transport's callbacks are handled at once, but the session's own events are posted: a
// window may delete the session from its handler, which must not happen inside a callback.
void UploadSession::onConnected(int code) {
    if (m_state != State::Connecting)
        return;
    if (code != 0) {
        fail(AppError{code, m_transfer->refusedByProxy() ? kProxyRefusalSource : kSource,
                      m_transfer->failureText(code)});
        return;
    }
    const int socket = m_transfer->takeSocket();
    m_timer->stop();
    m_state = State::Connected;
    m_socket = socket;
    // A deep send queue keeps a slow reader fed while this thread waits for its turn; progress is
    // therefore told by what the server acknowledged, not by what the queue took.
    const int sendBuffer = int(kSendBufferBytes);
    ::setsockopt(socket, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    m_readNotifier = new QSocketNotifier(qintptr(socket), QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &UploadSession::onReadable);
    m_writeNotifier = new QSocketNotifier(qintptr(socket), QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, [this] {
        if (m_state == State::Sending)
            writeMore();
    });
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT connected(); }, Qt::QueuedConnection);
}

Result<QByteArrayView> UploadSession::nextChunk() {
    const qsizetype contentPieces = m_request.files.size();
    for (;;) {
        if (m_piece >= contentPieces + 2)
            return QByteArrayView();
        const QByteArray* bytes = nullptr;
        const UploadFilePiece* file = nullptr;
        if (m_piece == 0)
            bytes = &m_request.head;
        else if (m_piece == contentPieces + 1)
            bytes = &m_request.tail;
        else if (file = &m_request.files.at(m_piece - 1); file->path.isEmpty())
            bytes = &file->bytes;
        const qint64 size = bytes ? bytes->size() : file->size;
        if (m_pieceOffset >= size) {
            ++m_piece;
            m_pieceOffset = 0;
            continue;
        }
        const qint64 n = qMin(kChunkBytes, size - m_pieceOffset);
        QByteArrayView chunk;
        if (bytes) {
            chunk = QByteArrayView(*bytes).sliced(m_pieceOffset, n);
        } else {
            QFile* source = file->file.get();
            m_buffer.resize(n);
            // The piece's file may be shared with another request: read from this piece's place. A
            // file that shrank since the request was built cannot fill its Content-Length.
            if (!source->seek(m_pieceOffset) || source->read(m_buffer.data(), n) != n)
                return AppError{
                    0, kSource,
                    QStringLiteral("Não foi possível ler o arquivo %1 durante o envio.").arg(file->path)};
            chunk = m_buffer;
        }
        m_pieceOffset += n;
        return chunk;
    }
}

// As much as the connection takes at each turn: no copy of the content, and few turns of the
// event loop.
void UploadSession::writeMore() {
    const qint64 total = m_request.size();
    const qint64 before = m_written;
    bool blocked = false;
    while (m_written < total && !blocked) {
        if (m_pending.isEmpty()) {
            const Result<QByteArrayView> chunk = nextChunk();
            if (!chunk) {
                fail(chunk.error());
                return;
            }
            m_pending = *chunk;
        }
        const ConnectionIo sent = m_transfer->send(m_pending.data(), m_pending.size());
        if (sent.kind == ConnectionIo::Kind::Moved) {
            m_pending = m_pending.sliced(sent.bytes);
            m_written += sent.bytes;
        } else if (sent.kind == ConnectionIo::Kind::Again) {
            blocked = true;
        } else {
            // The server closed or reset the connection: its answer, if any, or the close
            // itself comes through the read side.
            m_writeNotifier->setEnabled(false);
            return;
        }
    }
    m_writeNotifier->setEnabled(blocked);
    if (m_written == before)
        return;
    const qint64 remaining = total - m_written;
    const int percent = m_progress.report(remaining);
    const qint64 sent = m_written;
    QMetaObject::invokeMethod(
        this, [this, sent, remaining, percent] { Q_EMIT sendProgress(sent, remaining, percent); },
        Qt::QueuedConnection);
    if (remaining > 0)
        return;
    m_state = State::WaitingForAnswer;
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT sendComplete(); }, Qt::QueuedConnection);
}

void UploadSession::onReadable() {
    if (m_state != State::Sending && m_state != State::WaitingForAnswer && m_state != State::Connected &&
        m_state != State::ReadingAnswer)
        return;
    // TLS may hold more decrypted data than one call returns, with nothing left on the socket to
    // wake the notifier: read until the connection has nothing more.
    for (;;) {
        if (m_answer.size() >= kMaxAnswerBytes) {
            deliverAnswer();
            return;
        }
        QByteArray piece(qMin<qint64>(16 * 1024, kMaxAnswerBytes - m_answer.size()), Qt::Uninitialized);
        const ConnectionIo read = m_transfer->receive(piece.data(), piece.size());
        // TLS records that carry no data (a session ticket) wake the notifier too.
        if (read.kind == ConnectionIo::Kind::Again)
            return;
        if (read.kind == ConnectionIo::Kind::Moved) {
            if (m_state != State::ReadingAnswer) {
                // Whatever is left of the request stays unsent: the server has spoken.
                m_state = State::ReadingAnswer;
                m_progressTimer->stop();
                if (m_writeNotifier)
                    m_writeNotifier->setEnabled(false);
                m_timer->start(kAnswerEndTimeoutMs);
            }
            m_answer.append(piece.constData(), read.bytes);
            // Through a plain proxy, an answer may be the proxy's own: its status line tells.
            if (m_transfer->route().viaHttpProxy && m_answer.startsWith("HTTP/")) {
                const qsizetype lineEnd = m_answer.indexOf('\n');
                if (lineEnd > 0) {
                    const QByteArray line = m_answer.first(lineEnd).trimmed();
                    const QByteArray status = line.mid(line.indexOf(' ') + 1);
                    if (isProxyRefusalStatus(status.left(3).toInt())) {
                        fail(AppError{status.left(3).toInt(), kProxyRefusalSource,
                                      m_transfer->proxyRefusalText(QString::fromLatin1(status))});
                        return;
                    }
                }
            }
            if (answerComplete()) {
                deliverAnswer();
                return;
            }
            continue;
        }
        // Closed (0 bytes) or reset: the close ends an answer without a length.
        if (m_state == State::ReadingAnswer) {
            deliverAnswer();
        } else if (m_state == State::WaitingForAnswer) {
            finish(State::ClosedWithoutAnswer);
            QMetaObject::invokeMethod(
                this, [this] { Q_EMIT closedWithoutAnswer(); }, Qt::QueuedConnection);
        } else {
            fail(AppError{read.code, kSource,
                          QStringLiteral("O servidor encerrou a conexão durante o envio.")});
        }
        return;
    }
}

bool UploadSession::answerComplete() const {
    const qsizetype headEnd = m_answer.indexOf("\r\n\r\n");
    if (!m_answer.startsWith("HTTP/") || headEnd < 0)
        return false;
    for (const QByteArray& line : m_answer.first(headEnd).split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.first(colon).trimmed().compare("Content-Length", Qt::CaseInsensitive) == 0) {
            bool ok = false;
            const qint64 length = line.mid(colon + 1).trimmed().toLongLong(&ok);
            return ok && m_answer.size() - (headEnd + 4) >= length;
        }
    }
    return false;
}

void UploadSession::deliverAnswer() {
    const QByteArray answer = m_answer;
    finish(State::Answered);
    QMetaObject::invokeMethod(
        this, [this, answer] { Q_EMIT answered(answer); }, Qt::QueuedConnection);
}

qint64 UploadSession::unacknowledged() const {
    int queued = 0;
    if (m_socket < 0 || ::ioctl(m_socket, SIOCOUTQ, &queued) != 0)
        return -1;
    return queued;
}

void UploadSession::checkProgress() {
    if (m_state != State::Sending && m_state != State::WaitingForAnswer)
        return;
    const qint64 queued = unacknowledged();
    if (m_written != m_markWritten || queued != m_markQueued) {
        m_markWritten = m_written;
        m_markQueued = queued;
        m_sinceProgress.start();
        return;
    }
    const qint64 idle = m_sinceProgress.elapsed();
    // Until the server has acknowledged the whole request it is still receiving it.
    if (m_state == State::Sending || queued > 0) {
        if (idle >= m_sendStallTimeoutMs)
            fail(
                AppError{kTransportTimedOut, kSource,
                         QStringLiteral("O servidor %1 parou de receber o envio: nada passou em %2 segundos.")
                             .arg(m_host)
                             .arg(m_sendStallTimeoutMs / 1000.0)});
    } else if (idle >= m_answerTimeoutMs) {
        fail(AppError{kTransportTimedOut, kSource,
                      QStringLiteral("O servidor %1 não respondeu em %2 segundos.")
                          .arg(m_host)
                          .arg(m_answerTimeoutMs / 1000.0)});
    }
}

void UploadSession::onTimeout() {
    if (m_state == State::Connecting) {
        fail(AppError{kTransportTimedOut, kSource,
                      QStringLiteral("Tempo esgotado ao conectar com o servidor %1 (%2 segundos).")
                          .arg(m_host)
                          .arg(m_connectTimeoutMs / 1000.0)});
    } else if (m_state == State::ReadingAnswer) {
        // A server that neither ends its answer nor closes: what came is its answer.
        deliverAnswer();
    }
}

void UploadSession::fail(AppError error) {
    finish(State::Failed);
    QMetaObject::invokeMethod(
        this, [this, error] { Q_EMIT failed(error); }, Qt::QueuedConnection);
}

void UploadSession::finish(State state) {
    m_timer->stop();
    m_progressTimer->stop();
    m_state = state;
    // Possibly from inside a notifier's own signal: disabled now, deleted later.
    for (QSocketNotifier** notifier : {&m_readNotifier, &m_writeNotifier}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            (*notifier)->deleteLater();
            *notifier = nullptr;
        }
    }
    if (m_transfer)
        m_transfer->close();
}

} // namespace fiscora
