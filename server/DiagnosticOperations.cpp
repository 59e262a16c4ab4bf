#include "Operations.h"
#include "SoapService.h"

namespace servidor {

// "Diagnostico.eco" answers the parameters it parsed, one "name=value" per line, so tests can
// see exactly what reached the server.
void registerDiagnosticOperations(SoapService& service, ServerStore&) {
    service.add(QStringLiteral("Diagnostico.eco"), [](const SoapCall& call) {
        QString out;
        for (const auto& [name, value] : call.parameters)
            out += name + QLatin1Char('=') + value + QLatin1Char('\n');
        return out;
    });
    // "Diagnostico.cabecalhos" answers the headers the request came with.
    service.add(QStringLiteral("Diagnostico.cabecalhos"), [](const SoapCall& call) -> QString {
        return QStringLiteral("Content-Type=") + call.contentType + QStringLiteral("\nSOAPAction=") +
               call.soapAction + QLatin1Char('\n');
    });
}

} // namespace servidor
