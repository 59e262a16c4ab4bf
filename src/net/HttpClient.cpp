#include "net/HttpClient.h"

#include "core/ModalGate.h"
#include "core/ServerAddress.h"
#include "net/NetworkLibrary.h"

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

} // namespace

// The transfer and its limits.
struct HttpJob::Exchange {
    std::unique_ptr<HttpTransfer> transfer;
    QTimer idle;
    QTimer total;
};

HttpJob::HttpJob(ModalGate& gate, QObject* context, Handler done)
    : QObject(context)
    , m_gate(gate)
    , m_done(std::move(done)) {}

HttpJob::~HttpJob() {
    if (m_exchange && m_exchange->transfer)
        m_exchange->transfer->close();
}

void HttpJob::begin(const HttpClient& client, const ServerAddress& server, const QString& address,
                    const QByteArray* body, const HttpHeaders& headers, qint64 maxBody) {
    const Result<const NetworkLibrary*>& library = networkLibrary();
    if (!library) {
        finish(library.error().description);
        return;
    }
    m_exchange = std::make_unique<Exchange>();
    Exchange& exchange = *m_exchange;
    exchange.transfer = (*library)->httpTransfer();
    exchange.idle.setSingleShot(true);
    exchange.total.setSingleShot(true);
    exchange.idle.setInterval(client.idleTimeoutMs());

    const HttpRequest request{
        address, headers, body != nullptr, body ? *body : QByteArray(), maxBody, client.idleTimeoutMs()};
    // Any byte moved restarts the idle limit.
    const auto progressed = [&exchange] {
        exchange.idle.start();
    };
    const Status started =
        exchange.transfer->start(request, server, progressed, [this, maxBody](HttpTransferEnd end) {
            switch (end.kind) {
            case HttpTransferEnd::Kind::Answered:
                finish(QString(), HttpAnswer{end.status, std::move(end.body)});
                break;
            case HttpTransferEnd::Kind::Cut:
                finish(QStringLiteral("A conexão foi encerrada antes do fim da resposta do servidor."));
                break;
            case HttpTransferEnd::Kind::TooLarge:
                finish(
                    QStringLiteral("A resposta do servidor passa do limite de %1.").arg(sizeText(maxBody)));
                break;
            case HttpTransferEnd::Kind::Failed:
                finish(end.failure);
                break;
            }
        });
    if (!started) {
        finish(started.error().description);
        return;
    }
    const int idleMs = client.idleTimeoutMs();
    const int totalMs = client.totalTimeoutMs();
    connect(&exchange.idle, &QTimer::timeout, this, [this, idleMs] {
        finish(QStringLiteral("O servidor não respondeu por %1 segundos.").arg(idleMs / 1000.0));
    });
    connect(&exchange.total, &QTimer::timeout, this, [this, totalMs] {
        finish(QStringLiteral("A resposta do servidor não terminou em %1 segundos.").arg(totalMs / 1000.0));
    });
    exchange.idle.start();
    exchange.total.start(totalMs);
}

// Reported from the event loop, once: the caller's start has returned by then.
void HttpJob::finish(const QString& error, HttpAnswer answer) {
    if (!m_done)
        return;
    Result<HttpAnswer> outcome = error.isEmpty() ? Result<HttpAnswer>(std::move(answer)) : failure(error);
    if (m_exchange) {
        m_exchange->idle.stop();
        m_exchange->total.stop();
        m_exchange->transfer->close();
    }
    m_gate.deliverLater(this,
                        [this, done = std::exchange(m_done, {}), outcome = std::move(outcome)]() mutable {
                            deleteLater();
                            done(std::move(outcome));
                        });
}

HttpJob* HttpClient::get(const QString& url, qint64 maxBody, QObject* context, HttpJob::Handler done) const {
    auto* job = new HttpJob(*m_gate, context, std::move(done));
    job->begin(*this, ServerAddress::fromSettings(folder()), url, nullptr, {}, maxBody);
    return job;
}

HttpJob* HttpClient::post(const ServerAddress& server, const QString& url, const QByteArray& body,
                          const HttpHeaders& headers, qint64 maxBody, QObject* context,
                          HttpJob::Handler done) const {
    auto* job = new HttpJob(*m_gate, context, std::move(done));
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
