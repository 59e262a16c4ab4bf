#pragma once

#include "core/Result.h"
#include "core/ServerAddress.h"
#include "data/AccessReader.h"
#include "data/GiaConversion.h"
#include "data/GiaDatabaseReader.h"
#include "net/HttpClient.h"
#include "net/Soap.h"
#include "support/TestServices.h"

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

inline Result<QString> soapAnswer(const QString& operation, const QList<SoapParameter>& parameters = {},
                                  const HttpClient& http = HttpClient(fiscora::test::sharedSeams().folder,
                                                                      fiscora::test::sharedSeams().gate)) {
    const std::optional<Result<QString>> answer =
        await<Result<QString>>([&](QObject* context, std::function<void(Result<QString>)> done) {
            callSoapOperation(http, operation, parameters, context, std::move(done));
        });
    return answer ? *answer
                  : Result<QString>(AppError{0, QStringLiteral("test"), QStringLiteral("no answer")});
}

inline Result<HttpAnswer> httpAnswer(const std::function<void(QObject*, HttpJob::Handler)>& start) {
    const std::optional<Result<HttpAnswer>> answer = await<Result<HttpAnswer>>(start);
    return answer ? *answer
                  : Result<HttpAnswer>(AppError{0, QStringLiteral("test"), QStringLiteral("no answer")});
}

inline Result<HttpAnswer> httpGet(const QString& url, qint64 maxBody,
                                  const HttpClient& http = HttpClient(fiscora::test::sharedSeams().folder,
                                                                      fiscora::test::sharedSeams().gate)) {
    return httpAnswer(
        [&](QObject* context, HttpJob::Handler done) { http.get(url, maxBody, context, std::move(done)); });
}

inline Result<HttpAnswer> httpPost(const QString& url, const QByteArray& body, const HttpHeaders& headers,
                                   qint64 maxBody,
                                   const HttpClient& http = HttpClient(fiscora::test::sharedSeams().folder,
                                                                       fiscora::test::sharedSeams().gate)) {
    return httpAnswer([&](QObject* context, HttpJob::Handler done) {
        http.post(ServerAddress::fromSettings(fiscora::test::sharedSeams().folder), url, body, headers,
                  maxBody, context, std::move(done));
    });
}

// The Access reader's job waited for; a read that did not report is an invalid file.
inline AccessReader::Reading readAccess(const QString& path,
                                        const QStringList& rowsOf = {QStringLiteral("*")},
                                        const AccessReader& reader = builtReader()) {
    const std::optional<AccessReader::Reading> read =
        await<AccessReader::Reading>([&](QObject* context, AccessReader::Handler done) {
            reader.read(path, rowsOf, context, std::move(done));
        });
    AccessReader::Reading none;
    none.detail = QStringLiteral("no answer");
    return read ? *read : none;
}

// A GIA database's listing waited for; one that did not report is an invalid file.
inline GiaDatabaseReader::Listing listGias(const QString& path, const QString& ie,
                                           const AccessReader& reader = builtReader()) {
    const std::optional<GiaDatabaseReader::Listing> listing = await<GiaDatabaseReader::Listing>(
        [&](QObject* context, std::function<void(GiaDatabaseReader::Listing)> done) {
            GiaDatabaseReader::listGias(reader, path, ie, context, std::move(done));
        });
    return listing.value_or(
        GiaDatabaseReader::Listing{GiaDatabaseReader::Outcome::InvalidFile, {}, QStringLiteral("no answer")});
}

inline GiaDatabaseReader::Taxpayers readTaxpayers(const QString& path,
                                                  const AccessReader& reader = builtReader()) {
    const std::optional<GiaDatabaseReader::Taxpayers> taxpayers = await<GiaDatabaseReader::Taxpayers>(
        [&](QObject* context, std::function<void(GiaDatabaseReader::Taxpayers)> done) {
            GiaDatabaseReader::readTaxpayers(reader, path, context, std::move(done));
        });
    return taxpayers.value_or(GiaDatabaseReader::Taxpayers{
        GiaDatabaseReader::Outcome::InvalidFile, {}, QStringLiteral("no answer")});
}

// A GIA text file's conversion waited for; one that did not report failed.
inline GiaConversion::Outcome convertGia(const QString& textPath, const QString& packagePath,
                                         const QString& templatePath,
                                         const AccessReader& reader = builtReader()) {
    const std::optional<GiaConversion::Outcome> result =
        await<GiaConversion::Outcome>([&](QObject* context, GiaConversion::Handler done) {
            GiaConversion::convert(reader, textPath, packagePath, templatePath, context, std::move(done));
        });
    return result ? *result : GiaConversion::Outcome{false, QStringLiteral("no answer"), 0};
}

} // namespace fiscora::test
