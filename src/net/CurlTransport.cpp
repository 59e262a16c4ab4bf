#include "net/CurlTransport.h"

#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>

#include <mutex>

#include <cerrno>
#include <cstring>

namespace fiscora {

static_assert(kTransportTimedOut == CURLE_OPERATION_TIMEDOUT);

namespace {

const QString kSource = QStringLiteral("Transport");

// libcurl's reason, in its own words, for a message that adds ours.
QString curlReason(CURLcode code, const char* buffer) {
    return QString::fromLocal8Bit(buffer[0] ? buffer : curl_easy_strerror(code)).trimmed();
}

// Why OpenSSL refused the server's certificate (X509_V_ERR_* numbers, stable across versions).
QString verificationReason(long result, const QString& host, const QString& detail) {
    switch (result) {
    case 9:
        return QStringLiteral("o certificado ainda não é válido");
    case 10:
        return QStringLiteral("o certificado expirou");
    case 18:
        return QStringLiteral("o certificado é assinado por ele mesmo, sem uma autoridade certificadora");
    case 19:
    case 20:
    case 21:
        return QStringLiteral("a autoridade que emitiu o certificado não é conhecida neste computador");
    case 23:
        return QStringLiteral("o certificado foi revogado");
    case 62:
    case 64:
        return QStringLiteral("o certificado não foi emitido para %1").arg(host);
    default:
        break;
    }
    // libcurl checks the name itself.
    if (detail.contains(QLatin1String("subject name")) || detail.contains(QLatin1String("does not match")))
        return QStringLiteral("o certificado não foi emitido para %1").arg(host);
    return QStringLiteral("o certificado não pôde ser verificado");
}

QString systemReason(long error) {
    switch (error) {
    case ECONNREFUSED:
        return QStringLiteral("conexão recusada");
    case ETIMEDOUT:
        return QStringLiteral("tempo esgotado");
    case ENETUNREACH:
    case EHOSTUNREACH:
        return QStringLiteral("rede inalcançável");
    default:
        return error ? QString::fromLocal8Bit(std::strerror(int(error)))
                     : QStringLiteral("erro desconhecido");
    }
}

} // namespace

CurlTransfer::CurlTransfer()
    : m_multi(curl_multi_init())
    , m_easy(curl_easy_init())
    , m_timer(new QTimer(&m_context)) {
    m_timer->setSingleShot(true);
    QObject::connect(m_timer, &QTimer::timeout, &m_context, [this] { act(CURL_SOCKET_TIMEOUT, 0); });
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &CurlTransfer::onSocket);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &CurlTransfer::onTimer);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
}

CurlTransfer::~CurlTransfer() {
    close();
    for (auto& [socket, watch] : m_sockets)
        drop(watch);
    curl_easy_cleanup(m_easy);
    curl_multi_cleanup(m_multi);
}

Status CurlTransfer::configure(const QString& url, const ServerAddress& settings) {
    const QUrl parsed(url, QUrl::TolerantMode);
    const QString scheme = parsed.scheme().toLower();
    if (!parsed.isValid() || parsed.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return AppError{0, kSource, QStringLiteral("Endereço inválido: ") + url};
    m_host = parsed.host();
    m_authorities = settings.authorities();
    m_route.proxy = settings.proxyFor(scheme, m_host);
    m_route.viaHttpProxy = !m_route.proxy.isEmpty() && scheme != QLatin1String("https") &&
                           !m_route.proxy.startsWith(QLatin1String("socks"));

    CURL* easy = m_easy;
    curl_easy_setopt(easy, CURLOPT_URL, url.toUtf8().constData());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, m_errorBuffer);
    // Threads (the version check runs on one) must not get libcurl's signals.
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
    // The choice made above, and nothing libcurl would add from the environment by itself.
    curl_easy_setopt(easy, CURLOPT_PROXY, m_route.proxy.toUtf8().constData());
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(easy, CURLOPT_PROXY_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_PROXY_SSL_VERIFYHOST, 2L);
    if (!m_authorities.isEmpty()) {
        const QByteArray file = m_authorities.toLocal8Bit();
        curl_easy_setopt(easy, CURLOPT_CAINFO, file.constData());
        curl_easy_setopt(easy, CURLOPT_PROXY_CAINFO, file.constData());
    }
    return {};
}

void CurlTransfer::start(std::function<void(CURLcode)> done) {
    m_done = std::move(done);
    m_added = curl_multi_add_handle(m_multi, m_easy) == CURLM_OK;
    if (!m_added) {
        // Reported like any other failure, from the event loop.
        QTimer::singleShot(0, &m_context, [this] {
            if (auto done = std::exchange(m_done, {}))
                done(CURLE_FAILED_INIT);
        });
    }
}

void CurlTransfer::releaseSockets() {
    m_released = true;
    for (auto& [socket, watch] : m_sockets)
        drop(watch);
    m_sockets.clear();
}

void CurlTransfer::close() {
    if (!m_added)
        return;
    m_added = false;
    m_done = {};
    curl_multi_remove_handle(m_multi, m_easy);
}

int CurlTransfer::onSocket(CURL*, curl_socket_t socket, int what, void* self, void*) {
    static_cast<CurlTransfer*>(self)->watch(socket, what);
    return 0;
}

int CurlTransfer::onTimer(CURLM*, long milliseconds, void* self) {
    auto* transfer = static_cast<CurlTransfer*>(self);
    if (milliseconds < 0)
        transfer->m_timer->stop();
    else
        transfer->m_timer->start(int(qMin<long>(milliseconds, 24L * 3600 * 1000)));
    return 0;
}

void CurlTransfer::drop(Watch& watch) {
    // Possibly from inside the notifier's own signal: disabled now, deleted later.
    for (QSocketNotifier* notifier : {watch.read, watch.write}) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    watch = {};
}

void CurlTransfer::watch(curl_socket_t socket, int what) {
    if (what == CURL_POLL_REMOVE) {
        if (const auto found = m_sockets.find(socket); found != m_sockets.end()) {
            drop(found->second);
            m_sockets.erase(found);
        }
        return;
    }
    if (m_released)
        return;
    Watch& watch = m_sockets[socket];
    const auto notifier = [this, socket](QSocketNotifier*& slot, QSocketNotifier::Type type, int event,
                                         bool wanted) {
        if (!slot && wanted) {
            slot = new QSocketNotifier(qintptr(socket), type, &m_context);
            QObject::connect(slot, &QSocketNotifier::activated, &m_context,
                             [this, socket, event] { act(socket, event); });
        }
        if (slot)
            slot->setEnabled(wanted);
    };
    notifier(watch.read, QSocketNotifier::Read, CURL_CSELECT_IN, (what & CURL_POLL_IN) != 0);
    notifier(watch.write, QSocketNotifier::Write, CURL_CSELECT_OUT, (what & CURL_POLL_OUT) != 0);
}

void CurlTransfer::act(curl_socket_t socket, int events) {
    int running = 0;
    curl_multi_socket_action(m_multi, socket, events, &running);
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg != CURLMSG_DONE || message->easy_handle != m_easy)
            continue;
        const CURLcode result = message->data.result;
        if (auto done = std::exchange(m_done, {}))
            done(result);
        return;
    }
}

bool CurlTransfer::refusedByProxy() const {
    long status = 0;
    curl_easy_getinfo(m_easy, CURLINFO_HTTP_CONNECTCODE, &status);
    return !m_route.proxy.isEmpty() && status >= 300;
}

QString CurlTransfer::proxyRefusalText(const QString& status) const {
    return QStringLiteral("O proxy %1 recusou o envio ao servidor %2 (resposta %3). Nada foi entregue.")
        .arg(QUrl::fromUserInput(m_route.proxy).host(), m_host, status);
}

QString CurlTransfer::failureText(CURLcode code) const {
    if (refusedByProxy()) {
        long status = 0;
        curl_easy_getinfo(m_easy, CURLINFO_HTTP_CONNECTCODE, &status);
        return proxyRefusalText(QString::number(status));
    }
    const QString reason = curlReason(code, m_errorBuffer);
    long systemError = 0;
    curl_easy_getinfo(m_easy, CURLINFO_OS_ERRNO, &systemError);
    const QString proxyHost = QUrl::fromUserInput(m_route.proxy).host();
    switch (code) {
    case CURLE_COULDNT_RESOLVE_PROXY:
        return QStringLiteral("Proxy não encontrado: %1.").arg(proxyHost);
    case CURLE_COULDNT_RESOLVE_HOST:
        return QStringLiteral("Servidor não encontrado: %1.").arg(m_host);
    case CURLE_COULDNT_CONNECT:
        if (!m_route.proxy.isEmpty())
            return QStringLiteral("Não foi possível conectar ao proxy %1 (%2).")
                .arg(proxyHost, systemReason(systemError));
        if (systemError == ECONNREFUSED)
            return QStringLiteral("O servidor %1 recusou a conexão.").arg(m_host);
        return QStringLiteral("Não foi possível conectar ao servidor %1 (%2).")
            .arg(m_host, systemReason(systemError));
    case CURLE_OPERATION_TIMEDOUT:
        return QStringLiteral("Tempo esgotado na comunicação com o servidor %1.").arg(m_host);
    case CURLE_PEER_FAILED_VERIFICATION: {
        long result = 0;
        curl_easy_getinfo(m_easy, CURLINFO_SSL_VERIFYRESULT, &result);
        return QStringLiteral("O certificado do servidor %1 não foi aceito: %2 (%3). Nada foi enviado.")
            .arg(m_host, verificationReason(result, m_host, reason), reason);
    }
    case CURLE_SSL_CACERT_BADFILE:
        return QStringLiteral("O arquivo de autoridades certificadoras \"%1\" (chave certificados de "
                              "fiscora.ini) não pôde ser lido. Nada foi enviado.")
            .arg(m_authorities);
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_ENGINE_INITFAILED:
        return QStringLiteral("A conexão segura com o servidor %1 não pôde ser estabelecida (%2). Nada foi "
                              "enviado.")
            .arg(m_host, reason);
    case CURLE_GOT_NOTHING:
        return kClosedWithoutAnswerText;
    case CURLE_PARTIAL_FILE:
        return QStringLiteral("A conexão foi encerrada antes do fim da resposta do servidor.");
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_TOO_MANY_REDIRECTS:
        return QStringLiteral("A resposta do servidor não segue o protocolo HTTP.");
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
        if (!m_route.proxy.isEmpty() && reason.contains(QLatin1String("CONNECT")))
            return QStringLiteral("O proxy %1 não abriu a conexão com o servidor %2 (%3).")
                .arg(proxyHost, m_host, reason);
        return QStringLiteral("A comunicação com o servidor %1 falhou (%2).").arg(m_host, reason);
    default:
        return QStringLiteral("Falha na comunicação com o servidor %1 (%2).").arg(m_host, reason);
    }
}

namespace {

// The connections, TLS sessions and name lookups the web service calls and downloads leave open
// for the next ones (the uploads keep their own connection). Lives as long as the module.
CURLSH* sharedCache() {
    static std::mutex locks[CURL_LOCK_DATA_LAST];
    static CURLSH* const share = [] {
        CURLSH* made = curl_share_init();
        curl_share_setopt(
            made, CURLSHOPT_LOCKFUNC,
            +[](CURL*, curl_lock_data data, curl_lock_access, void*) { locks[data].lock(); });
        curl_share_setopt(
            made, CURLSHOPT_UNLOCKFUNC, +[](CURL*, curl_lock_data data, void*) { locks[data].unlock(); });
        curl_share_setopt(made, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
        curl_share_setopt(made, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
        curl_share_setopt(made, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        return made;
    }();
    return share;
}

// An HTTP exchange: the answer's body up to its cap, and whether its head came whole.
class CurlHttpTransfer final : public HttpTransfer {
public:
    Status start(const HttpRequest& request, const ServerAddress& settings, std::function<void()> progressed,
                 std::function<void(HttpTransferEnd)> done) override {
        if (const Status configured = m_transfer.configure(request.url, settings); !configured)
            return configured;
        m_maxBody = request.maxBody;
        m_progressed = std::move(progressed);
        CURL* easy = m_transfer.handle();
        curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 0L);
        curl_easy_setopt(easy, CURLOPT_SHARE, sharedCache());
        bool typed = false;
        for (const auto& [name, value] : request.headers) {
            m_headers = curl_slist_append(m_headers, QByteArray(name + ": " + value).constData());
            typed = typed || name.compare("Content-Type", Qt::CaseInsensitive) == 0;
        }
        // No waiting for a "100 Continue" the server may never send, and no form type for bodies
        // that did not name theirs.
        m_headers = curl_slist_append(m_headers, "Expect:");
        if (request.post && !typed)
            m_headers = curl_slist_append(m_headers, "Content-Type:");
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, m_headers);
        if (request.post) {
            m_requestBody = request.body;
            curl_easy_setopt(easy, CURLOPT_POSTFIELDS, m_requestBody.constData());
            curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                             static_cast<curl_off_t>(m_requestBody.size()));
        }
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlHttpTransfer::receive);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CurlHttpTransfer::header);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
        // A declared length past the cap fails before the body is read.
        curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(m_maxBody));
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &CurlHttpTransfer::progress);
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectTimeoutMs));
        m_transfer.start([this, done = std::move(done)](CURLcode code) {
            HttpTransferEnd end;
            if (code == CURLE_OK) {
                end.kind = m_headComplete ? HttpTransferEnd::Kind::Answered : HttpTransferEnd::Kind::Cut;
                long status = 0;
                curl_easy_getinfo(m_transfer.handle(), CURLINFO_RESPONSE_CODE, &status);
                end.status = static_cast<int>(status);
                end.body = std::move(m_body);
            } else if (m_tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
                end.kind = HttpTransferEnd::Kind::TooLarge;
            } else {
                end.failure = m_transfer.failureText(code);
            }
            done(std::move(end));
        });
        return {};
    }

    void close() override { m_transfer.close(); }

    ~CurlHttpTransfer() override {
        m_transfer.close();
        curl_slist_free_all(m_headers);
    }

private:
    static size_t receive(char* data, size_t size, size_t count, void* context) {
        auto* self = static_cast<CurlHttpTransfer*>(context);
        const size_t bytes = size * count;
        if (self->m_body.size() + static_cast<qint64>(bytes) > self->m_maxBody) {
            self->m_tooLarge = true;
            return 0; // ends the transfer
        }
        self->m_body.append(data, static_cast<qsizetype>(bytes));
        return bytes;
    }

    static size_t header(char* data, size_t size, size_t count, void* context) {
        auto* self = static_cast<CurlHttpTransfer*>(context);
        const QByteArrayView line(data, static_cast<qsizetype>(size * count));
        // An interim answer (100 Continue) is followed by the real one.
        if (line.startsWith("HTTP/"))
            self->m_headComplete = false;
        else if (line == "\r\n" || line == "\n")
            self->m_headComplete = true;
        return size * count;
    }

    static int progress(void* context, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
        auto* self = static_cast<CurlHttpTransfer*>(context);
        if (received + sent != self->m_moved) {
            self->m_moved = received + sent;
            self->m_progressed();
        }
        return 0;
    }

    CurlTransfer m_transfer;
    curl_slist* m_headers = nullptr;
    QByteArray m_requestBody;
    QByteArray m_body;
    qint64 m_maxBody = 0;
    bool m_tooLarge = false;
    bool m_headComplete = false; // the blank line after the final answer's header fields came
    curl_off_t m_moved = -1;     // bytes up and down so far
    std::function<void()> m_progressed;
};

// A receive of nothing is the close; a send of nothing is a turn with no room.
ConnectionIo ioOutcome(CURLcode code, size_t bytes, bool sending) {
    if (code == CURLE_OK && (bytes > 0 || sending))
        return ConnectionIo{ConnectionIo::Kind::Moved, static_cast<qint64>(bytes), 0};
    if (code == CURLE_AGAIN)
        return ConnectionIo{ConnectionIo::Kind::Again, 0, code};
    return ConnectionIo{ConnectionIo::Kind::Closed, 0, code};
}

// libcurl connects (proxy and TLS included) and stops there: the bytes are the owner's.
class CurlConnection final : public Connection {
public:
    Status connect(const QString& url, const ServerAddress& settings, int timeoutMs,
                   std::function<void(int code)> done) override {
        if (const Status configured = m_transfer.configure(url, settings); !configured)
            return configured;
        CURL* easy = m_transfer.handle();
        curl_easy_setopt(easy, CURLOPT_CONNECT_ONLY, 1L);
        // The connection must outlive the transfer libcurl thinks is done.
        curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 0L);
        // Nothing but HTTP/1.0 bytes will follow: no protocol is negotiated.
        curl_easy_setopt(easy, CURLOPT_SSL_ENABLE_ALPN, 0L);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeoutMs));
        m_transfer.start([done = std::move(done)](CURLcode code) { done(static_cast<int>(code)); });
        return {};
    }

    const Route& route() const override { return m_transfer.route(); }

    int takeSocket() override {
        curl_socket_t socket = CURL_SOCKET_BAD;
        curl_easy_getinfo(m_transfer.handle(), CURLINFO_ACTIVESOCKET, &socket);
        m_transfer.releaseSockets();
        return static_cast<int>(socket);
    }

    ConnectionIo send(const char* data, qint64 size) override {
        size_t n = 0;
        const CURLcode code = curl_easy_send(m_transfer.handle(), data, static_cast<size_t>(size), &n);
        return ioOutcome(code, n, true);
    }

    ConnectionIo receive(char* data, qint64 size) override {
        size_t n = 0;
        const CURLcode code = curl_easy_recv(m_transfer.handle(), data, static_cast<size_t>(size), &n);
        return ioOutcome(code, n, false);
    }

    void close() override { m_transfer.close(); }

    QString failureText(int code) const override {
        return m_transfer.failureText(static_cast<CURLcode>(code));
    }
    bool refusedByProxy() const override { return m_transfer.refusedByProxy(); }
    QString proxyRefusalText(const QString& status) const override {
        return m_transfer.proxyRefusalText(status);
    }

private:
    CurlTransfer m_transfer;
};

} // namespace

std::unique_ptr<HttpTransfer> curlHttpTransfer() {
    return std::make_unique<CurlHttpTransfer>();
}

std::unique_ptr<Connection> curlConnection() {
    return std::make_unique<CurlConnection>();
}

} // namespace fiscora
