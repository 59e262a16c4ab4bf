#pragma once

#include "core/Result.h"

#include <QList>
#include <QString>

#include <functional>

class QObject;

namespace fiscora {

class HttpClient;

struct SoapParameter {
    QString name;
    QString value;
};

// The largest web-service answer read; a longer one is a failure. The service's largest
// answers (a taxpayer's transmission list) are a few hundred kilobytes.
constexpr qint64 kMaxSoapAnswerBytes = qint64(16) << 20;

// The envelope, piece by piece (one line, no line breaks).
QString GenerateSoapBodyStart();
QString GenerateSoapFunctionCallStart(const QString& strFunction);
QString GenerateSoapParameter(const QString& strParam, const QString& strValue);
QString GenerateSoapFunctionCallEnd(const QString& strFunction);
QString GenerateSoapBodyEnd();

// The whole request body of a call: the five builders joined, parameters in order.
QString SoapEnvelope(const QString& operation, const QList<SoapParameter>& parameters);

// Builds the envelope and posts it to the web service of the settings' host and port (read
// afresh), as a job of `context`: `done` runs once, later (net/HttpClient), with the whole answer
// text whatever the HTTP status (a fault comes with 500), or a transport failure (no connection,
// refused, time-out, an answer cut short or too long, empty host or port, port out of range).
using SoapHandler = std::function<void(Result<QString>)>;
void callSoapOperation(const HttpClient& http, const QString& operation,
                       const QList<SoapParameter>& parameters, QObject* context, SoapHandler done);

// The text of the element named exactly resultParam at the fourth level (/*/*/*/resultParam);
// the empty text when the answer is not XML or has no such element. Silent.
QString GetResult(const QString& responseText, const QString& resultParam);

} // namespace fiscora
