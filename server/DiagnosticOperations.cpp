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
}

} // namespace servidor
