#pragma once

#include "core/Result.h"
#include "core/ServerAddress.h"
#include "net/HttpClient.h"
#include "net/Soap.h"

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>
#include <utility>

namespace fiscora::test {

// Waits for a job started as the program starts it: with a context and a continuation. Empty
// when the continuation did not run within the time limit.
template <typename T>
std::optional<T> await(const std::function<void(QObject*, std::function<void(T)>)>& start,
                       int timeoutMs = 60'000) {
    std::optional<T> value;
    QEventLoop loop;
    QObject context;
    start(&context, [&](T got) {
        value = std::move(got);
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (!value)
        loop.exec();
    return value;
}

inline Result<QString> soapAnswer(const QString& operation, const QList<SoapParameter>& parameters = {}) {
    const std::optional<Result<QString>> answer =
        await<Result<QString>>([&](QObject* context, std::function<void(Result<QString>)> done) {
            callSoapOperation(operation, parameters, context, std::move(done));
        });
    return answer ? *answer
                  : Result<QString>(AppError{0, QStringLiteral("test"), QStringLiteral("no answer")});
}

inline Result<HttpAnswer> httpAnswer(const std::function<void(QObject*, HttpJob::Handler)>& start) {
    const std::optional<Result<HttpAnswer>> answer = await<Result<HttpAnswer>>(start);
    return answer ? *answer
                  : Result<HttpAnswer>(AppError{0, QStringLiteral("test"), QStringLiteral("no answer")});
}

inline Result<HttpAnswer> httpGet(const QString& url, qint64 maxBody) {
    return httpAnswer([&](QObject* context, HttpJob::Handler done) {
        HttpClient::get(url, maxBody, context, std::move(done));
    });
}

inline Result<HttpAnswer> httpPost(const QString& url, const QByteArray& body, const HttpHeaders& headers,
                                   qint64 maxBody) {
    return httpAnswer([&](QObject* context, HttpJob::Handler done) {
        HttpClient::post(ServerAddress::fromSettings(), url, body, headers, maxBody, context,
                         std::move(done));
    });
}

} // namespace fiscora::test
