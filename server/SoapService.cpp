#include "SoapService.h"

#include "net/SafeXml.h"

#include <QXmlStreamReader>

namespace servidor {

namespace {

const QString kSoapNs = QStringLiteral("http://www.w3.org/2003/05/soap-envelope");

QString escaped(const QString& text) {
    return text.toHtmlEscaped();
}

} // namespace

QString SoapCall::value(const QString& name) const {
    for (const auto& [key, val] : parameters) {
        if (key == name)
            return val;
    }
    return {};
}

void SoapService::addHandler(const QString& operation, Handler handler) {
    m_handlers[operation] = std::move(handler);
}

// A streaming parse keeps every value exactly as sent, blanks-only values included (a DOM parse
// would drop them).
bool SoapService::parse(const QByteArray& body, SoapCall* call, QString* error) {
    QXmlStreamReader xml(body);
    const auto failed = [&](const QString& message) {
        *error = xml.hasError() ? QStringLiteral("XML inválido (linha %1, coluna %2): %3")
                                      .arg(xml.lineNumber())
                                      .arg(xml.columnNumber())
                                      .arg(xml.errorString())
                                : message;
        return false;
    };
    call->operation.clear();
    call->parameters.clear();
    // Reading a parameter's text recurses once per nested element: a deep document is refused
    // before it is read that way.
    if (const fiscora::Status safe = fiscora::SafeXml::check(body); !safe) {
        *error = QStringLiteral("XML recusado: ") + safe.error().description;
        return false;
    }

    // A SOAP message carries no document type: refusing it keeps entity tricks out.
    while (!xml.atEnd() && xml.readNext() != QXmlStreamReader::StartElement) {
        if (xml.tokenType() == QXmlStreamReader::DTD)
            return failed(QStringLiteral("Declaração de tipo de documento não permitida"));
    }
    if (xml.tokenType() != QXmlStreamReader::StartElement)
        return failed(QStringLiteral("Documento vazio"));
    if (xml.name() != QStringLiteral("Envelope") || xml.namespaceUri() != kSoapNs)
        return failed(QStringLiteral("O documento não é um envelope SOAP 1.2"));
    if (!xml.readNextStartElement())
        return failed(QStringLiteral("Envelope sem Body"));
    if (xml.name() == QStringLiteral("Header")) {
        xml.skipCurrentElement();
        if (!xml.readNextStartElement())
            return failed(QStringLiteral("Envelope sem Body"));
    }
    if (xml.name() != QStringLiteral("Body") || xml.namespaceUri() != kSoapNs)
        return failed(QStringLiteral("Envelope sem Body"));
    if (!xml.readNextStartElement())
        return failed(QStringLiteral("Body sem operação"));
    call->operation = xml.name().toString();
    while (xml.readNextStartElement()) {
        const QString name = xml.name().toString();
        call->parameters.append({name, xml.readElementText(QXmlStreamReader::IncludeChildElements)});
    }
    // The rest must be well formed too.
    while (!xml.atEnd())
        xml.readNext();
    if (xml.hasError())
        return failed(QString());
    return true;
}

QByteArray SoapService::handle(const QByteArray& body, int* status, const QString& soapAction,
                               const QString& contentType) const {
    SoapCall call;
    QString error;
    if (!parse(body, &call, &error)) {
        *status = 500;
        return fault(error);
    }
    call.soapAction = soapAction;
    call.contentType = contentType;
    const auto handler = m_handlers.find(call.operation);
    if (handler == m_handlers.end()) {
        *status = 500;
        return fault(QStringLiteral("Operação desconhecida: ") + call.operation);
    }
    *status = 200;
    return answer(call.operation, handler->second(call));
}

QByteArray SoapService::answer(const QString& operation, const QString& result) {
    const QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                                        "<env:Envelope xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\">"
                                        "<env:Body><ns1:") +
                         escaped(operation) +
                         QStringLiteral("Response xmlns:ns1=\"urn:Transferencia\"><return>") +
                         escaped(result) + QStringLiteral("</return></ns1:") + escaped(operation) +
                         QStringLiteral("Response></env:Body></env:Envelope>");
    return text.toUtf8();
}

QByteArray SoapService::fault(const QString& reason) {
    const QString text =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                       "<env:Envelope xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\"><env:Body>"
                       "<env:Fault><env:Code><env:Value>env:Sender</env:Value></env:Code>"
                       "<env:Reason><env:Text xml:lang=\"pt\">") +
        escaped(reason) + QStringLiteral("</env:Text></env:Reason></env:Fault></env:Body></env:Envelope>");
    return text.toUtf8();
}

} // namespace servidor
