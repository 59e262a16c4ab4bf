#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include <functional>
#include <map>

namespace servidor {

struct SoapCall {
    QString operation;
    QList<QPair<QString, QString>> parameters; // in document order

    QString value(const QString& name) const;
};

// The web service: parses the SOAP 1.2 envelope and dispatches on the operation's element name.
// A handler returns the result text, which the answer carries in <return> at the fourth level.
class SoapService {
public:
    using Handler = std::function<QString(const SoapCall&)>;

    void add(const QString& operation, Handler handler);

    // Parses the body and runs the handler. On a malformed request or an unknown operation the
    // answer is a SOAP fault and status is set to 500.
    QByteArray handle(const QByteArray& body, int* status) const;

    static bool parse(const QByteArray& body, SoapCall* call, QString* error);
    static QByteArray answer(const QString& operation, const QString& result);
    static QByteArray fault(const QString& reason);

private:
    std::map<QString, Handler> m_handlers;
};

} // namespace servidor
