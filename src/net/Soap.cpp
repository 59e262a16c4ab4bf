#include "net/Soap.h"

#include "core/ModalGate.h"
#include "core/ServerAddress.h"
#include "net/HttpClient.h"
#include "net/SafeXml.h"

#include <QDomDocument>
#include <QDomElement>
#include <QObject>

namespace fiscora {

namespace {

// Only the three characters that can break element content; quotes are legal there, and
// apostrophes are the callers' business (some double them on purpose).
QString escapeValue(const QString& value) {
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        if (c == QLatin1Char('&'))
            out += QLatin1String("&amp;");
        else if (c == QLatin1Char('<'))
            out += QLatin1String("&lt;");
        else if (c == QLatin1Char('>'))
            out += QLatin1String("&gt;");
        else
            out += c;
    }
    return out;
}

} // namespace

QString GenerateSoapBodyStart() {
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                          "<soap12:Envelope "
                          "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                          "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
                          "xmlns:soap12=\"http://www.w3.org/2003/05/soap-envelope\"> "
                          "<soap12:Body>");
}

QString GenerateSoapFunctionCallStart(const QString& strFunction) {
    return QLatin1Char('<') + strFunction + QStringLiteral(" xmlns=\"\">");
}

// Unescaped, a value such as "Silva & Filhos" makes the whole request invalid XML, and callers
// that ignore the answer would report success for a call the server refused.
QString GenerateSoapParameter(const QString& strParam, const QString& strValue) {
    return QLatin1Char('<') + strParam + QLatin1Char('>') + escapeValue(strValue) + QStringLiteral("</") +
           strParam + QLatin1Char('>');
}

QString GenerateSoapFunctionCallEnd(const QString& strFunction) {
    return QStringLiteral("</") + strFunction + QLatin1Char('>');
}

QString GenerateSoapBodyEnd() {
    return QStringLiteral("</soap12:Body></soap12:Envelope>");
}

QString SoapEnvelope(const QString& operation, const QList<SoapParameter>& parameters) {
    QString body = GenerateSoapBodyStart() + GenerateSoapFunctionCallStart(operation);
    for (const SoapParameter& parameter : parameters)
        body += GenerateSoapParameter(parameter.name, parameter.value);
    return body + GenerateSoapFunctionCallEnd(operation) + GenerateSoapBodyEnd();
}

namespace {

HttpHeaders soapHeaders(const QString& operation) {
    return {{QByteArrayLiteral("Content-Type"), QByteArrayLiteral("text/xml")},
            {QByteArrayLiteral("SOAPAction"), operation.toUtf8()}};
}

// The status is not examined: an error page goes back to the caller like any answer.
Result<QString> answerText(const Result<HttpAnswer>& response) {
    if (!response)
        return response.error();
    return QString::fromUtf8(response->body);
}

} // namespace

void callSoapOperation(const HttpClient& http, const QString& operation,
                       const QList<SoapParameter>& parameters, QObject* context, SoapHandler done) {
    // Read afresh on every call: the user may fix the settings file while the program runs.
    const ServerAddress server = ServerAddress::fromSettings(http.folder());
    const Result<QString> url = server.webService();
    if (!url) {
        // Reported later and when no box is up, as every outcome of a job.
        http.gate().deliverLater(context, [done = std::move(done), error = url.error()] { done(error); });
        return;
    }
    http.post(server, *url, SoapEnvelope(operation, parameters).toUtf8(), soapHeaders(operation),
              kMaxSoapAnswerBytes, context,
              [done = std::move(done)](Result<HttpAnswer> response) { done(answerText(response)); });
}

// Only an element written exactly as resultParam counts: "ns:return" does not match "return".
// The service writes its result unprefixed; a prefixed element is somebody else's (a fault
// detail, another vocabulary), and the empty text makes the callers treat the answer as
// unexpected, which is what it is.
QString GetResult(const QString& responseText, const QString& resultParam) {
    if (responseText.isEmpty())
        return {};
    // Without namespace processing tagName() is the name as written, prefix included.
    const Result<QDomDocument> document = SafeXml::parse(responseText);
    if (!document)
        return {};
    const QDomElement root = document->documentElement();
    for (QDomElement second = root.firstChildElement(); !second.isNull();
         second = second.nextSiblingElement()) {
        for (QDomElement third = second.firstChildElement(); !third.isNull();
             third = third.nextSiblingElement()) {
            for (QDomElement fourth = third.firstChildElement(); !fourth.isNull();
                 fourth = fourth.nextSiblingElement()) {
                if (fourth.tagName() == resultParam)
                    return fourth.text();
            }
        }
    }
    return {};
}

} // namespace fiscora
