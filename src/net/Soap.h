#pragma once

#include <QList>
#include <QString>

namespace fiscora {

struct SoapParameter {
    QString name;
    QString value;
};

// The whole answer of one web-service call; ok is false on a transport failure (no connection,
// refused, time-out, empty host or port, port out of range), with error describing it.
struct SoapAnswer {
    bool ok = false;
    QString text;
    QString error;
};

// The envelope, piece by piece (one line, no line breaks).
QString GenerateSoapBodyStart();
QString GenerateSoapFunctionCallStart(const QString& strFunction);
QString GenerateSoapParameter(const QString& strParam, const QString& strValue);
QString GenerateSoapFunctionCallEnd(const QString& strFunction);
QString GenerateSoapBodyEnd();

// The whole request body of a call: the five builders joined, parameters in order.
QString SoapEnvelope(const QString& operation, const QList<SoapParameter>& parameters);

// Builds the envelope, posts it to the web service of the settings' host and port (read afresh),
// and returns the whole answer text whatever the HTTP status. Blocks the caller's window.
SoapAnswer CallSoapOperation(const QString& operation, const QList<SoapParameter>& parameters);

// The text of the element named exactly resultParam at the fourth level (/*/*/*/resultParam);
// the empty text when the answer is not XML or has no such element. Silent.
QString GetResult(const QString& responseText, const QString& resultParam);

} // namespace fiscora
