#pragma once

#include <chrono>

namespace httplib {
class Server;
}

namespace servidor {

class ServerStore;
class SoapService;
class RequestLog;

// Each group of the server contract registers itself here; main() calls every one.
void registerDiagnosticOperations(SoapService& service, ServerStore& store);
// Each list (Transferencia.ver2) is held `listHold` before its answer (a slow server, for the
// benchmarks).
void registerTransferOperations(SoapService& service, ServerStore& store, std::chrono::milliseconds listHold);
void registerKeyOperations(SoapService& service, ServerStore& store);
// Routes on the settings port besides the web service (the uploads).
// Each upload is held `hold` before its answer (tests see uploads overlap); the most uploads the
// server has had at once is kept in the data folder's file "envios-simultaneos".
void registerUploadRoutes(httplib::Server& server, ServerStore& store, RequestLog& log,
                          std::chrono::milliseconds hold);
// Routes on port 80 besides the version file and the updater (the receipt page). The first
// `refusedReceipts` receipt pages are refused (503), as a busy server does.
void registerPortalRoutes(httplib::Server& server, ServerStore& store, RequestLog& log, int refusedReceipts);
// Loads a seed file into the store; false with a message on stderr when it cannot.
bool loadSeed(ServerStore& store, const char* path);

} // namespace servidor
