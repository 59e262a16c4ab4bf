#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include <functional>
#include <map>
#include <type_traits>

namespace servidor {

struct SoapCall {
    QString operation;
    QList<QPair<QString, QString>> parameters; // in document order, values exactly as sent
    QString soapAction;                        // the request's headers, for the diagnostics
    QString contentType;

    QString value(const QString& name) const;
};

// The web service: parses the SOAP 1.2 envelope and dispatches on the operation's element name.
// A handler returns the result text, which the answer carries in <return> at the fourth level.
class SoapService {
public:
    using Handler = std::function<QString(const SoapCall&)>;

    // Handlers must return QString itself: a lambda that returns "a + b" would hand back a string
    // builder pointing at its own dead temporaries.
    template <typename F> void add(const QString& operation, F handler) {
        static_assert(std::is_same_v<std::invoke_result_t<F&, const SoapCall&>, QString>,
                      "SOAP handlers must return QString (write -> QString on the lambda)");
        addHandler(operation, Handler(std::move(handler)));
    }

    // Parses the body and runs the handler. On a malformed request or an unknown operation the
    // answer is a SOAP fault and status is set to 500.
    QByteArray handle(const QByteArray& body, int* status, const QString& soapAction = {},
                      const QString& contentType = {}) const;

    static bool parse(const QByteArray& body, SoapCall* call, QString* error);
    static QByteArray answer(const QString& operation, const QString& result);
    static QByteArray fault(const QString& reason);

private:
    void addHandler(const QString& operation, Handler handler);

    std::map<QString, Handler> m_handlers;
};

} // namespace servidor
