#include "net/HttpClient.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <memory>

namespace fiscora {

namespace {

HttpResponse run(const QString& url, const QByteArray* body, const HttpHeaders& headers) {
    HttpResponse response;
    const QUrl target(url, QUrl::TolerantMode);
    if (!target.isValid() || target.host().isEmpty()) {
        response.error = QStringLiteral("Endereço inválido: ") + url;
        return response;
    }

    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    manager.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);

    QNetworkRequest request(target);
    request.setTransferTimeout(HttpClient::kIdleTimeoutMs);
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);

    std::unique_ptr<QNetworkReply> reply(body ? manager.post(request, *body) : manager.get(request));
    QEventLoop loop;
    QTimer total;
    total.setSingleShot(true);
    QObject::connect(&total, &QTimer::timeout, reply.get(), &QNetworkReply::abort);
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    total.start(HttpClient::kTotalTimeoutMs);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);

    response.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    response.body = reply->readAll();
    // An HTTP error status still carries the server's answer; only transport failures fail.
    const auto error = reply->error();
    const bool transportFailure = error != QNetworkReply::NoError &&
                                  (response.status == 0 || error < QNetworkReply::ContentAccessDenied);
    response.ok = !transportFailure;
    if (transportFailure)
        response.error = reply->errorString();
    return response;
}

} // namespace

HttpResponse HttpClient::get(const QString& url) {
    return run(url, nullptr, {});
}

HttpResponse HttpClient::post(const QString& url, const QByteArray& body, const HttpHeaders& headers) {
    return run(url, &body, headers);
}

} // namespace fiscora
