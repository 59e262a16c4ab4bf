#include "net/HttpClient.h"

#include "core/NestedLoop.h"

#include <QEventLoop>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <cctype>

namespace fiscora {

namespace {

std::atomic<int> g_idleMs{0};
std::atomic<int> g_totalMs{0};

constexpr qsizetype kMaxHead = 64 * 1024;    // status line and headers
constexpr qsizetype kMaxChunkLine = 1024;    // a chunk-size line, extensions included
constexpr qsizetype kMaxTrailer = 64 * 1024; // trailer fields after the last chunk

AppError failure(const QString& text) {
    return AppError{0, QStringLiteral("HttpClient"), text};
}

QString sizeText(qint64 bytes) {
    if (bytes >= (qint64(1) << 20) && bytes % (qint64(1) << 20) == 0)
        return QStringLiteral("%1 MiB").arg(bytes >> 20);
    if (bytes >= 1024 && bytes % 1024 == 0)
        return QStringLiteral("%1 KiB").arg(bytes >> 10);
    return QStringLiteral("%1 bytes").arg(bytes);
}

// Reads one HTTP/1.1 response as it arrives and knows when it is provably whole.
class ResponseParser {
public:
    explicit ResponseParser(qint64 maxBody)
        : m_maxBody(maxBody) {}

    bool done() const { return m_state == State::Done; }
    bool failed() const { return m_state == State::Failed; }
    const QString& error() const { return m_error; }
    int status() const { return m_status; }
    QByteArray takeBody() { return std::move(m_body); }

    void feed(const QByteArray& bytes) {
        if (done() || failed())
            return;
        m_pending += bytes;
        while (!done() && !failed() && step()) {
        }
    }

    // The server closed the connection: only a body that runs to the close ends here.
    void closed() {
        if (m_state == State::UntilClose && m_pending.isEmpty()) {
            m_state = State::Done;
            return;
        }
        if (!done() && !failed())
            fail(m_state == State::Head && m_status == 0 && m_pending.isEmpty()
                     ? QStringLiteral("O servidor encerrou a conexão sem responder.")
                     : QStringLiteral("A conexão foi encerrada antes do fim da resposta do servidor."));
    }

private:
    enum class State { Head, Length, ChunkSize, ChunkData, ChunkEnd, Trailer, UntilClose, Done, Failed };

    bool fail(const QString& text) {
        m_state = State::Failed;
        m_error = text;
        return false;
    }

    bool tooLarge() {
        return fail(QStringLiteral("A resposta do servidor passa do limite de %1.").arg(sizeText(m_maxBody)));
    }

    bool append(qsizetype count) {
        if (m_body.size() + count > m_maxBody)
            return tooLarge();
        m_body.append(m_pending.constData(), count);
        m_pending.remove(0, count);
        return true;
    }

    // One line ending in CR LF from the pending bytes; false when it has not arrived yet.
    bool line(qsizetype limit, QByteArray* out) {
        const qsizetype end = m_pending.indexOf("\r\n");
        if (end < 0) {
            if (m_pending.size() > limit)
                fail(QStringLiteral("A resposta do servidor não segue o protocolo HTTP."));
            return false;
        }
        if (end > limit)
            return fail(QStringLiteral("A resposta do servidor não segue o protocolo HTTP."));
        *out = m_pending.left(end);
        m_pending.remove(0, end + 2);
        return true;
    }

    // Advances as far as the pending bytes allow; false when more bytes are needed.
    bool step() {
        switch (m_state) {
        case State::Head:
            return head();
        case State::Length: {
            const qsizetype take = qsizetype(qMin<qint64>(m_remaining, m_pending.size()));
            // head() refused a length above the limit, so append() cannot fail here.
            if (take == 0 || !append(take))
                return false;
            m_remaining -= take;
            if (m_remaining == 0)
                m_state = State::Done;
            return true;
        }
        case State::ChunkSize: {
            QByteArray text;
            if (!line(kMaxChunkLine, &text))
                return false;
            const qsizetype extension = text.indexOf(';');
            if (extension >= 0)
                text.truncate(extension);
            text = text.trimmed();
            bool ok = !text.isEmpty() && text.size() <= 15;
            for (const char c : std::as_const(text))
                ok = ok && std::isxdigit(static_cast<unsigned char>(c));
            const qint64 size = ok ? text.toLongLong(&ok, 16) : 0;
            if (!ok)
                return fail(QStringLiteral("A resposta do servidor tem um bloco (chunk) inválido."));
            if (size == 0) {
                m_state = State::Trailer;
                return true;
            }
            if (m_body.size() + size > m_maxBody)
                return tooLarge();
            m_remaining = size;
            m_state = State::ChunkData;
            return true;
        }
        case State::ChunkData: {
            const qsizetype take = qsizetype(qMin<qint64>(m_remaining, m_pending.size()));
            if (take == 0)
                return false;
            if (!append(take))
                return false;
            m_remaining -= take;
            if (m_remaining == 0)
                m_state = State::ChunkEnd;
            return true;
        }
        case State::ChunkEnd: {
            if (m_pending.size() < 2)
                return false;
            if (!m_pending.startsWith("\r\n"))
                return fail(QStringLiteral("A resposta do servidor tem um bloco (chunk) inválido."));
            m_pending.remove(0, 2);
            m_state = State::ChunkSize;
            return true;
        }
        case State::Trailer: {
            QByteArray field;
            if (!line(kMaxTrailer, &field))
                return false;
            m_trailer += field.size();
            if (m_trailer > kMaxTrailer)
                return fail(QStringLiteral("A resposta do servidor não segue o protocolo HTTP."));
            if (field.isEmpty())
                m_state = State::Done;
            return true;
        }
        case State::UntilClose:
            if (m_pending.isEmpty())
                return false;
            return append(m_pending.size());
        case State::Done:
        case State::Failed:
            return false;
        }
        return false;
    }

    bool head() {
        const qsizetype end = m_pending.indexOf("\r\n\r\n");
        if (end < 0) {
            if (m_pending.size() > kMaxHead)
                return fail(QStringLiteral("O cabeçalho da resposta do servidor é grande demais."));
            return false;
        }
        const QList<QByteArray> lines = m_pending.left(end).split('\n');
        m_pending.remove(0, end + 4);

        const QByteArray statusLine = lines.first().trimmed();
        const QList<QByteArray> parts = statusLine.split(' ');
        bool numeric = false;
        const int status = parts.size() >= 2 ? parts.at(1).toInt(&numeric) : 0;
        if (!statusLine.startsWith("HTTP/1.") || !numeric || parts.at(1).size() != 3 || status < 100)
            return fail(QStringLiteral("A resposta do servidor não segue o protocolo HTTP."));

        bool chunked = false;
        qint64 length = -1;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray& field = lines.at(i);
            const qsizetype colon = field.indexOf(':');
            if (colon <= 0)
                return fail(QStringLiteral("A resposta do servidor não segue o protocolo HTTP."));
            const QByteArray name = field.left(colon).trimmed().toLower();
            const QByteArray value = field.mid(colon + 1).trimmed();
            if (name == "transfer-encoding") {
                chunked = value.toLower().split(',').last().trimmed() == "chunked";
                if (!chunked)
                    return fail(QStringLiteral("A resposta do servidor usa uma codificação não suportada."));
            } else if (name == "content-length") {
                bool ok = !value.isEmpty() && value.size() <= 18;
                for (const char c : value)
                    ok = ok && c >= '0' && c <= '9';
                const qint64 declared = ok ? value.toLongLong() : -1;
                if (!ok || (length >= 0 && declared != length))
                    return fail(QStringLiteral("A resposta do servidor declara um tamanho inválido."));
                length = declared;
            }
        }

        // Interim answers (100 Continue and the like) precede the real one.
        if (status < 200) {
            if (status == 101)
                return fail(QStringLiteral("A resposta do servidor não segue o protocolo HTTP."));
            return true;
        }
        m_status = status;
        if (status == 204 || status == 304) {
            m_state = State::Done;
        } else if (chunked) {
            m_state = State::ChunkSize;
        } else if (length >= 0) {
            if (length > m_maxBody)
                return tooLarge();
            m_body.reserve(qsizetype(length));
            m_remaining = length;
            m_state = length == 0 ? State::Done : State::Length;
        } else {
            m_state = State::UntilClose;
        }
        return true;
    }

    qint64 m_maxBody;
    State m_state = State::Head;
    QString m_error;
    int m_status = 0;
    QByteArray m_pending;
    QByteArray m_body;
    qint64 m_remaining = 0;
    qsizetype m_trailer = 0;
};

QByteArray hostHeader(const QUrl& url) {
    QByteArray host = url.host(QUrl::FullyEncoded).toUtf8();
    if (host.contains(':'))
        host = '[' + host + ']';
    if (url.port() >= 0)
        host += ':' + QByteArray::number(url.port());
    return host;
}

Result<HttpAnswer> run(const QString& address, const QByteArray* body, const HttpHeaders& headers,
                       qint64 maxBody) {
    const QUrl url(address, QUrl::TolerantMode);
    if (!url.isValid() || url.scheme() != QLatin1String("http") || url.host().isEmpty())
        return failure(QStringLiteral("Endereço inválido: ") + address);

    QByteArray target = url.path(QUrl::FullyEncoded).toUtf8();
    if (target.isEmpty())
        target = "/";
    if (url.hasQuery())
        target += '?' + url.query(QUrl::FullyEncoded).toUtf8();
    QByteArray request = (body ? "POST " : "GET ") + target + " HTTP/1.1\r\nHost: " + hostHeader(url) +
                         "\r\nConnection: close\r\nAccept-Encoding: identity\r\n";
    for (const auto& [name, value] : headers)
        request += name + ": " + value + "\r\n";
    if (body)
        request += "Content-Length: " + QByteArray::number(body->size()) + "\r\n";
    request += "\r\n";
    if (body)
        request += *body;

    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    ResponseParser parser(maxBody);
    QEventLoop loop;
    QTimer idle;
    QTimer total;
    idle.setSingleShot(true);
    total.setSingleShot(true);
    bool finished = false;
    QString error;
    // Receives every connection below; destroyed first, so nothing fires into a dead frame.
    QObject context;

    const auto finish = [&](const QString& why) {
        if (finished)
            return;
        finished = true;
        error = why;
        loop.quit();
    };
    const auto absorb = [&] {
        if (socket.isOpen())
            parser.feed(socket.readAll());
        if (parser.failed())
            finish(parser.error());
        else if (parser.done())
            finish(QString());
    };
    const auto closedByPeer = [&] {
        absorb();
        if (finished)
            return;
        parser.closed();
        finish(parser.failed() ? parser.error() : QString());
    };

    QObject::connect(&socket, &QTcpSocket::connected, &context, [&] {
        idle.start();
        socket.write(request);
    });
    QObject::connect(&socket, &QTcpSocket::bytesWritten, &context, [&] { idle.start(); });
    QObject::connect(&socket, &QTcpSocket::readyRead, &context, [&] {
        idle.start();
        absorb();
    });
    QObject::connect(&socket, &QTcpSocket::disconnected, &context, closedByPeer);
    QObject::connect(&socket, &QTcpSocket::errorOccurred, &context, [&](QAbstractSocket::SocketError code) {
        if (code == QAbstractSocket::RemoteHostClosedError) {
            closedByPeer();
            return;
        }
        finish(socket.state() == QAbstractSocket::ConnectedState
                   ? QStringLiteral("A comunicação com o servidor falhou: ") + socket.errorString()
                   : QStringLiteral("Não foi possível conectar ao servidor %1: %2")
                         .arg(url.host(), socket.errorString()));
    });
    QObject::connect(&idle, &QTimer::timeout, &context, [&] {
        finish(QStringLiteral("O servidor não respondeu por %1 segundos.")
                   .arg(HttpClient::idleTimeoutMs() / 1000.0));
    });
    QObject::connect(&total, &QTimer::timeout, &context, [&] {
        finish(QStringLiteral("A resposta do servidor não terminou em %1 segundos.")
                   .arg(HttpClient::totalTimeoutMs() / 1000.0));
    });

    idle.start(HttpClient::idleTimeoutMs());
    total.start(HttpClient::totalTimeoutMs());
    socket.connectToHost(url.host(), quint16(url.port(80)));
    if (!finished) {
        const NestedLoop nested;
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    // Whatever else ended the wait (the program quitting ends every loop) leaves no answer.
    if (!finished) {
        finished = true;
        error = QStringLiteral("A espera pela resposta do servidor foi interrompida.");
    }
    socket.abort();
    if (!error.isEmpty())
        return failure(error);
    return HttpAnswer{parser.status(), parser.takeBody()};
}

} // namespace

Result<HttpAnswer> HttpClient::get(const QString& url, qint64 maxBody) {
    return run(url, nullptr, {}, maxBody);
}

Result<HttpAnswer> HttpClient::post(const QString& url, const QByteArray& body, const HttpHeaders& headers,
                                    qint64 maxBody) {
    return run(url, &body, headers, maxBody);
}

Result<QByteArray> HttpClient::download(const QString& url, qint64 maxBody) {
    Result<HttpAnswer> answer = get(url, maxBody);
    if (!answer)
        return answer.error();
    if (answer->status < 200 || answer->status > 299)
        return failure(
            QStringLiteral("O servidor respondeu com o código HTTP %1 em %2.").arg(answer->status).arg(url));
    return std::move(answer->body);
}

int HttpClient::idleTimeoutMs() {
    const int value = g_idleMs.load();
    return value > 0 ? value : kIdleTimeoutMs;
}

int HttpClient::totalTimeoutMs() {
    const int value = g_totalMs.load();
    return value > 0 ? value : kTotalTimeoutMs;
}

void HttpClient::setTimeLimitsMs(int idleMs, int totalMs) {
    g_idleMs = idleMs;
    g_totalMs = totalMs;
}

} // namespace fiscora
