#pragma once

#include "app/CommandLine.h"

#include <functional>

class QTextStream;

namespace fiscora {

struct Services;

// fiscora --transmitir: the batch of the "Transmissão em lote" window, unattended. The program
// folder is fixed already. One line per upload on the output (IE, name, result, detail,
// tab-separated: the GIA source's taxpayers, then the PGDAS documents, then the companies not
// registered and the documents set apart); 0 when every GIA or document that could go is listed
// by the server (a taxpayer with nothing left to send counts as done), 1 otherwise. References
// the server lists go only with --reenviar: nobody is there to be asked.
// The uploads earlier runs left unconfirmed are told first on the error output (nobody sees the
// start-up box that tells of them).
//
// Runs from the event loop, which must outlive it with the services and the streams: a certificate
// given by its serial is looked up once the tokens have been read. `finished` gets the exit code.
class TransmitCommand final {
public:
    static void run(const Services& services, const CommandRequest& request, QTextStream& out,
                    QTextStream& err, const std::function<void(int)>& finished);
};

} // namespace fiscora
