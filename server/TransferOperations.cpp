#include "Operations.h"

namespace servidor {

void registerTransferOperations(SoapService&, ServerStore&) {}

void registerPortalRoutes(httplib::Server&, ServerStore&, RequestLog&) {}

bool loadSeed(ServerStore&, const char*) {
    return true;
}

} // namespace servidor
