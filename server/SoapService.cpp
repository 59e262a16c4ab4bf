#include "SoapService.h"

#include <QDomDocument>
#include <QDomElement>

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

void SoapService::add(const QString& operation, Handler handler) {
    m_handlers[operation] = std::move(handler);
}

bool SoapService::parse(const QByteArray& body, SoapCall* call, QString* error) {
    QDomDocument document;
    QString message;
    int line = 0;
    int column = 0;
    if (!document.setContent(body, true, &message, &line, &column)) {
        *error = QStringLiteral("XML inválido (linha %1, coluna %2): %3").arg(line).arg(column).arg(message);
        return false;
    }
    const QDomElement envelope = document.documentElement();
    if (envelope.localName() != QStringLiteral("Envelope") || envelope.namespaceURI() != kSoapNs) {
        *error = QStringLiteral("O documento não é um envelope SOAP 1.2");
        return false;
    }
    const QDomElement bodyElement = envelope.firstChildElement();
    if (bodyElement.isNull() || bodyElement.localName() != QStringLiteral("Body")) {
        *error = QStringLiteral("Envelope sem Body");
        return false;
    }
    const QDomElement operation = bodyElement.firstChildElement();
    if (operation.isNull()) {
        *error = QStringLiteral("Body sem operação");
        return false;
    }
    call->operation = operation.tagName();
    call->parameters.clear();
    for (QDomElement p = operation.firstChildElement(); !p.isNull(); p = p.nextSiblingElement())
        call->parameters.append({p.tagName(), p.text()});
    return true;
}

QByteArray SoapService::handle(const QByteArray& body, int* status) const {
    SoapCall call;
    QString error;
    if (!parse(body, &call, &error)) {
        *status = 500;
        return fault(error);
    }
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
