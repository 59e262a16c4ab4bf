#pragma once

#include "app/CommandLine.h"

class QTextStream;

namespace fiscora {

// fiscora --transmitir: the batch of the "Transmissão em lote" window, unattended. The program
// folder is fixed already. One line per taxpayer on the output (IE, name, result, detail,
// tab-separated); 0 when everything was sent and the server lists it (a taxpayer whose GIAs the
// server lists already counts as done), 1 otherwise.
class TransmitCommand final {
public:
    static int run(const CommandRequest& request, QTextStream& out, QTextStream& err);
};

} // namespace fiscora
