#include "net/HttpClient.h"

#include "core/ModalGate.h"
#include "core/ServerAddress.h"
#include "net/Transport.h"

#include <QTimer>

namespace fiscora {

namespace {

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

Result<QByteArray> fileOf(const QString& url, Result<HttpAnswer> answer) {
    if (!answer)
        return answer.error();
    if (answer->status < 200 || answer->status > 299)
        return failure(
            QStringLiteral("O servidor respondeu com o código HTTP %1 em %2.").arg(answer->status).arg(url));
    return std::move(answer->body);
}

size_t receive(char* data, size_t size, size_t count, void* context);
size_t header(char* data, size_t size, size_t count, void* context);
int progress(void* context, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent);

} // namespace

// What the transfer's callbacks fill, and the transfer with its limits.
struct HttpJob::Exchange {
    explicit Exchange(const LibCurl& curl)
        : transfer(curl) {}

    CurlTransfer transfer;
    curl_slist* headers = nullptr;
    QByteArray requestBody;
    QByteArray body;
    qint64 maxBody = 0;
    bool tooLarge = false;
    bool headComplete = false; // the blank line after the final answer's header fields came

    curl_off_t moved = -1; // bytes up and down so far
    QTimer idle;
    QTimer total;
};

namespace {

size_t receive(char* data, size_t size, size_t count, void* context) {
    auto* exchange = static_cast<HttpJob::Exchange*>(context);
    const size_t bytes = size * count;
    if (exchange->body.size() + qint64(bytes) > exchange->maxBody) {
        exchange->tooLarge = true;
        return 0; // ends the transfer
    }
    exchange->body.append(data, qsizetype(bytes));
    return bytes;
}

size_t header(char* data, size_t size, size_t count, void* context) {
    auto* exchange = static_cast<HttpJob::Exchange*>(context);
    const QByteArrayView line(data, qsizetype(size * count));
    // An interim answer (100 Continue) is followed by the real one.
    if (line.startsWith("HTTP/"))
        exchange->headComplete = false;
    else if (line == "\r\n" || line == "\n")
        exchange->headComplete = true;
    return size * count;
}

int progress(void* context, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
    auto* exchange = static_cast<HttpJob::Exchange*>(context);
    if (received + sent != exchange->moved) {
        exchange->moved = received + sent;
        exchange->idle.start();
    }
    return 0;
}

} // namespace

HttpJob::HttpJob(QObject* context, Handler done)
    : QObject(context)
    , m_done(std::move(done)) {}

HttpJob::~HttpJob() {
    if (!m_exchange)
        return;
    m_exchange->transfer.close();
    m_exchange->transfer.curl().curl_slist_free_all(m_exchange->headers);
}

void HttpJob::begin(const HttpClient& client, const ServerAddress& server, const QString& address,
                    const QByteArray* body, const HttpHeaders& headers, qint64 maxBody) {
    const Result<const LibCurl*> library = libCurl();
    if (!library) {
        finish(library.error().description);
        return;
    }
    const LibCurl& curl = **library;
    m_exchange = std::make_unique<Exchange>(curl);
    Exchange& exchange = *m_exchange;
    CurlTransfer& transfer = exchange.transfer;
    if (const Status configured = transfer.configure(address, server); !configured) {
        finish(configured.error().description);
        return;
    }
    exchange.maxBody = maxBody;
    exchange.idle.setSingleShot(true);
    exchange.total.setSingleShot(true);
    exchange.idle.setInterval(client.idleTimeoutMs());

    CURL* easy = transfer.handle();
    bool typed = false;
    for (const auto& [name, value] : headers) {
        exchange.headers =
            curl.curl_slist_append(exchange.headers, QByteArray(name + ": " + value).constData());
        typed = typed || name.compare("Content-Type", Qt::CaseInsensitive) == 0;
    }
    // No waiting for a "100 Continue" the server may never send, and no form type for bodies
    // that did not name theirs.
    exchange.headers = curl.curl_slist_append(exchange.headers, "Expect:");
    if (body && !typed)
        exchange.headers = curl.curl_slist_append(exchange.headers, "Content-Type:");
    curl.curl_easy_setopt(easy, CURLOPT_HTTPHEADER, exchange.headers);
    if (body) {
        exchange.requestBody = *body;
        curl.curl_easy_setopt(easy, CURLOPT_POSTFIELDS, exchange.requestBody.constData());
        curl.curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(exchange.requestBody.size()));
    }
    curl.curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &receive);
    curl.curl_easy_setopt(easy, CURLOPT_WRITEDATA, &exchange);
    curl.curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &header);
    curl.curl_easy_setopt(easy, CURLOPT_HEADERDATA, &exchange);
    // A declared length past the cap fails before the body is read.
    curl.curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(maxBody));
    curl.curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl.curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &progress);
    curl.curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &exchange);
    curl.curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(client.idleTimeoutMs()));

    const int idleMs = client.idleTimeoutMs();
    const int totalMs = client.totalTimeoutMs();
    connect(&exchange.idle, &QTimer::timeout, this, [this, idleMs] {
        finish(QStringLiteral("O servidor não respondeu por %1 segundos.").arg(idleMs / 1000.0));
    });
    connect(&exchange.total, &QTimer::timeout, this, [this, totalMs] {
        finish(QStringLiteral("A resposta do servidor não terminou em %1 segundos.").arg(totalMs / 1000.0));
    });
    transfer.start([this, maxBody](CURLcode code) {
        const Exchange& done = *m_exchange;
        if (code == CURLE_OK && done.headComplete)
            finish(QString());
        else if (code == CURLE_OK)
            finish(QStringLiteral("A conexão foi encerrada antes do fim da resposta do servidor."));
        else if (done.tooLarge || code == CURLE_FILESIZE_EXCEEDED)
            finish(QStringLiteral("A resposta do servidor passa do limite de %1.").arg(sizeText(maxBody)));
        else
            finish(done.transfer.failureText(code));
    });
    exchange.idle.start();
    exchange.total.start(totalMs);
}

// Reported from the event loop, once: the caller's start has returned by then.
void HttpJob::finish(const QString& error) {
    if (!m_done)
        return;
    Result<HttpAnswer> outcome = failure(error);
    if (m_exchange) {
        m_exchange->idle.stop();
        m_exchange->total.stop();
        if (error.isEmpty()) {
            long status = 0;
            CurlTransfer& transfer = m_exchange->transfer;
            transfer.curl().curl_easy_getinfo(transfer.handle(), CURLINFO_RESPONSE_CODE, &status);
            outcome = HttpAnswer{int(status), std::move(m_exchange->body)};
        }
        m_exchange->transfer.close();
    }
    ModalGate::deliverLater(this,
                            [this, done = std::exchange(m_done, {}), outcome = std::move(outcome)]() mutable {
                                deleteLater();
                                done(std::move(outcome));
                            });
}

HttpJob* HttpClient::get(const QString& url, qint64 maxBody, QObject* context, HttpJob::Handler done) const {
    auto* job = new HttpJob(context, std::move(done));
    job->begin(*this, ServerAddress::fromSettings(), url, nullptr, {}, maxBody);
    return job;
}

HttpJob* HttpClient::post(const ServerAddress& server, const QString& url, const QByteArray& body,
                          const HttpHeaders& headers, qint64 maxBody, QObject* context,
                          HttpJob::Handler done) const {
    auto* job = new HttpJob(context, std::move(done));
    job->begin(*this, server, url, &body, headers, maxBody);
    return job;
}

HttpJob* HttpClient::download(const QString& url, qint64 maxBody, QObject* context,
                              std::function<void(Result<QByteArray>)> done) const {
    return get(url, maxBody, context, [url, done = std::move(done)](Result<HttpAnswer> answer) {
        done(fileOf(url, std::move(answer)));
    });
}

} // namespace fiscora
