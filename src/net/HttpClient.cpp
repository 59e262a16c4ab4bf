#include "net/HttpClient.h"

#include "core/NestedLoop.h"
#include "core/ServerAddress.h"
#include "net/Transport.h"

#include <QEventLoop>
#include <QTimer>

#include <atomic>

namespace fiscora {

namespace {

std::atomic<int> g_idleMs{0};
std::atomic<int> g_totalMs{0};

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

// What the transfer's callbacks fill.
struct Exchange {
    QByteArray body;
    qint64 maxBody = 0;
    bool tooLarge = false;
    bool headComplete = false; // the blank line after the final answer's header fields came

    curl_off_t moved = -1; // bytes up and down so far
    QTimer* idle = nullptr;
};

size_t receive(char* data, size_t size, size_t count, void* context) {
    auto* exchange = static_cast<Exchange*>(context);
    const size_t bytes = size * count;
    if (exchange->body.size() + qint64(bytes) > exchange->maxBody) {
        exchange->tooLarge = true;
        return 0; // ends the transfer
    }
    exchange->body.append(data, qsizetype(bytes));
    return bytes;
}

size_t header(char* data, size_t size, size_t count, void* context) {
    auto* exchange = static_cast<Exchange*>(context);
    const QByteArrayView line(data, qsizetype(size * count));
    // An interim answer (100 Continue) is followed by the real one.
    if (line.startsWith("HTTP/"))
        exchange->headComplete = false;
    else if (line == "\r\n" || line == "\n")
        exchange->headComplete = true;
    return size * count;
}

int progress(void* context, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
    auto* exchange = static_cast<Exchange*>(context);
    if (received + sent != exchange->moved) {
        exchange->moved = received + sent;
        exchange->idle->start();
    }
    return 0;
}

Result<HttpAnswer> run(const ServerAddress& server, const QString& address, const QByteArray* body,
                       const HttpHeaders& headers, qint64 maxBody) {
    const Result<const LibCurl*> library = libCurl();
    if (!library)
        return library.error();
    const LibCurl& curl = **library;
    CurlTransfer transfer(curl);
    if (const Status configured = transfer.configure(address, server); !configured)
        return configured.error();

    QTimer idle;
    QTimer total;
    idle.setSingleShot(true);
    total.setSingleShot(true);
    idle.setInterval(HttpClient::idleTimeoutMs());
    Exchange exchange;
    exchange.maxBody = maxBody;
    exchange.idle = &idle;

    CURL* easy = transfer.handle();
    curl_slist* list = nullptr;
    bool typed = false;
    for (const auto& [name, value] : headers) {
        list = curl.curl_slist_append(list, QByteArray(name + ": " + value).constData());
        typed = typed || name.compare("Content-Type", Qt::CaseInsensitive) == 0;
    }
    // No waiting for a "100 Continue" the server may never send, and no form type for bodies
    // that did not name theirs.
    list = curl.curl_slist_append(list, "Expect:");
    if (body && !typed)
        list = curl.curl_slist_append(list, "Content-Type:");
    curl.curl_easy_setopt(easy, CURLOPT_HTTPHEADER, list);
    if (body) {
        curl.curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body->constData());
        curl.curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body->size()));
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
    curl.curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(HttpClient::idleTimeoutMs()));

    QEventLoop loop;
    bool finished = false;
    QString error;
    const auto finish = [&](const QString& why) {
        if (finished)
            return;
        finished = true;
        error = why;
        loop.quit();
    };
    QObject context; // destroyed first, so no timer fires into a dead frame
    QObject::connect(&idle, &QTimer::timeout, &context, [&] {
        finish(QStringLiteral("O servidor não respondeu por %1 segundos.")
                   .arg(HttpClient::idleTimeoutMs() / 1000.0));
    });
    QObject::connect(&total, &QTimer::timeout, &context, [&] {
        finish(QStringLiteral("A resposta do servidor não terminou em %1 segundos.")
                   .arg(HttpClient::totalTimeoutMs() / 1000.0));
    });
    transfer.start([&](CURLcode code) {
        if (code == CURLE_OK && exchange.headComplete)
            finish(QString());
        else if (code == CURLE_OK)
            finish(QStringLiteral("A conexão foi encerrada antes do fim da resposta do servidor."));
        else if (exchange.tooLarge || code == CURLE_FILESIZE_EXCEEDED)
            finish(QStringLiteral("A resposta do servidor passa do limite de %1.").arg(sizeText(maxBody)));
        else
            finish(transfer.failureText(code));
    });
    idle.start();
    total.start(HttpClient::totalTimeoutMs());
    {
        const NestedLoop nested;
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    // Whatever else ended the wait (the program quitting ends every loop) leaves no answer.
    if (!finished) {
        finished = true;
        error = QStringLiteral("A espera pela resposta do servidor foi interrompida.");
    }
    transfer.close();
    curl.curl_slist_free_all(list);
    if (!error.isEmpty())
        return failure(error);
    long status = 0;
    curl.curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    return HttpAnswer{int(status), std::move(exchange.body)};
}

} // namespace

Result<HttpAnswer> HttpClient::get(const QString& url, qint64 maxBody) {
    return run(ServerAddress::fromSettings(), url, nullptr, {}, maxBody);
}

Result<HttpAnswer> HttpClient::post(const QString& url, const QByteArray& body, const HttpHeaders& headers,
                                    qint64 maxBody) {
    return post(ServerAddress::fromSettings(), url, body, headers, maxBody);
}

Result<HttpAnswer> HttpClient::post(const ServerAddress& server, const QString& url, const QByteArray& body,
                                    const HttpHeaders& headers, qint64 maxBody) {
    return run(server, url, &body, headers, maxBody);
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
